// The command line: options -l, -onn, -r and -u before the first argument
// that names an existing file.
#pragma once
#include <cstdint>

#include "rewrite/engine.h"

inline constexpr unsigned text_capacity = 512;

struct CommandLine {
    ConvertJob job;
    // The latest argument starting "-o", kept whole; empty when none.
    char o_text[text_capacity];
};

// Zero-fills the command line, prints a line for each option seen and stops
// at the first argument that names an existing file. Returns 0 when one
// did, 1 when none did.
int command_line_scan(int argc, char** argv, CommandLine* line);
bool command_line_has_o(const CommandLine* line);
// The -o value: the third character's code minus '0', times ten plus the
// fourth's when there is one. Codes are signed and not checked to be digits,
// so "-o1x" gives 82 and a lone "-o" gives -48.
int32_t o_option_value(const char* o_text);
// Whether the characters that o_option_value counts are digits ("-o1." is
// no code at all, although its arithmetic gives 8).
bool o_option_digits(const char* o_text);
