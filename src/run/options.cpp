#include "run/options.h"

namespace {

int signed_code(char c) {
    return static_cast<signed char>(c);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int32_t o_option_value(const char* o_text) {
    // Characters past the end of the text count as its end.
    char third = o_text[2];
    char fourth = third == '\0' ? '\0' : o_text[3];
    int32_t value = signed_code(third) - '0';
    if (fourth != '\0') value = value * 10 + (signed_code(fourth) - '0');
    return value;
}

bool o_option_digits(const char* o_text) {
    char third = o_text[2];
    return is_digit(third) && (o_text[3] == '\0' || is_digit(o_text[3]));
}
