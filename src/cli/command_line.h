// The command line: options -l, -onn, -r and -u, then the files and
// folders to work on.
#pragma once
#include <cstdint>
#include <string>

#include "run/options.h"

struct CommandLine {
    RunOptions options;
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
};

// Empties the command line and prints a line for each option seen before
// the first name. Returns 0 when there is a name, 1 when none.
int command_line_scan(int argc, char** argv, CommandLine* line);
