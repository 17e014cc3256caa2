#include "cli/json_text.h"

#include <cstdio>

namespace {

// The length of the well-formed UTF-8 character at `at`, or 0: no
// overlong forms, no surrogates, nothing past U+10FFFF.
size_t utf8_character(const uint8_t* at, size_t left) {
    uint8_t lead = at[0];
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || left < length) return 0;
    // The least code point of each length: a smaller one is overlong.
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    uint32_t point = lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((at[k] & 0xC0) != 0x80) return 0;
        point = point << 6 | (at[k] & 0x3Fu);
    }
    bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < least[length] || point > 0x10FFFF || surrogate ? 0 : length;
}

void escape_append(std::string* out, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out->append(escape);
}

}  // namespace

std::string json_quoted(const std::string& bytes) {
    std::string out = "\"";
    const uint8_t* at = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        size_t length = utf8_character(at, left);
        if (length == 0) {
            escape_append(&out, "\\udc%02x", at[0]);
            length = 1;
        } else if (at[0] == '"' || at[0] == '\\') {
            out += '\\';
            out += static_cast<char>(at[0]);
        } else if (at[0] == '\n') {
            out += "\\n";
        } else if (at[0] < 0x20) {
            escape_append(&out, "\\u%04x", at[0]);
        } else {
            out.append(reinterpret_cast<const char*>(at), length);
        }
        at += length;
        left -= length;
    }
    return out + "\"";
}

std::string json_ratio(uint64_t width, uint64_t height) {
    return "\"" + std::to_string(width) + ":" + std::to_string(height) + "\"";
}

void json_member(JsonObject* object, const char* key, const std::string& json) {
    if (object->text.size() > 1) object->text += ',';
    object->text += json_quoted(key) + ":" + json;
}

void json_string(JsonObject* object, const char* key, const std::string& bytes) {
    json_member(object, key, json_quoted(bytes));
}

void json_number(JsonObject* object, const char* key, int64_t value) {
    json_member(object, key, std::to_string(value));
}

void json_text_or_null(JsonObject* object, const char* key, const char* text) {
    json_member(object, key, text != nullptr ? json_quoted(text) : "null");
}

std::string json_close(const JsonObject& object) {
    return object.text + "}";
}
