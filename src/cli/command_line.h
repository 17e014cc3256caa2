// The command line: options -l, -onn, -r and -u, then the files and
// folders to work on.
#pragma once
#include <cstdint>
#include <string>

#include "rewrite/engine.h"

struct CommandLine {
    ConvertJob job;
    // The latest argument starting "-o", kept whole; empty when none.
    std::string o_text;
    // The arguments from the first that names an existing file or folder, or
    // that is no option, on: names (of nothing, perhaps), in the order given.
    // They are gathered in argv, from the first one's place on.
    char** names;
    int name_count;
    // The first argument after a name that starts with '-' and names
    // nothing: an option too late to apply, or null.
    const char* late_option;
    // The first argument before the names that starts with '-', names
    // nothing and is no option of the tool (a typo such as -O3), or null.
    const char* unknown_option;
    bool help;  // -h or --help (/? on Windows)
    // The target a job settled for the file (a DVD title set's), which
    // stands where no -o is given; -1 when there is none.
    int32_t set_target;
};

// Empties the command line and prints a line for each option seen before
// the first name. Returns 0 when there is a name, 1 when none.
int command_line_scan(int argc, char** argv, CommandLine* line);
// The name, as the file system resolves it, into *path: true when it names
// an existing file or folder.
bool command_line_name_resolve(const char* name, std::string* path);
bool command_line_has_o(const CommandLine* line);
// The -o value: the third character's code minus '0', times ten plus the
// fourth's when there is one. Codes are signed and not checked to be digits,
// so "-o1x" gives 82 and a lone "-o" gives -48.
int32_t o_option_value(const char* o_text);
// Whether the characters that o_option_value counts are digits ("-o1." is
// no code at all, although its arithmetic gives 8).
bool o_option_digits(const char* o_text);
// Says that -o names no code the video takes: the range message, then what
// was given (its value, or the text when it is no number).
void o_option_refused_print(const char* range_message, const char* o_text);
