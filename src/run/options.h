// What the command line asks of every file's run, and what -o means.
#pragma once
#include <cstdint>
#include <string>

struct RunOptions {
    uint8_t mode_flags;  // mode_list, mode_range_search, mode_undo
    // The latest argument starting "-o", kept whole; empty when none.
    std::string o_text;
    // The target a job settled for the file (a DVD title set's), which
    // stands where no -o is given; -1 when there is none.
    int32_t set_target;
};

inline bool options_has_o(const RunOptions* options) {
    return !options->o_text.empty();
}

// The -o value: the third character's code minus '0', times ten plus the
// fourth's when there is one. Codes are signed and not checked to be digits,
// so "-o1x" gives 82 and a lone "-o" gives -48.
int32_t o_option_value(const char* o_text);
// Whether the characters that o_option_value counts are digits ("-o1." is
// no code at all, although its arithmetic gives 8).
bool o_option_digits(const char* o_text);
