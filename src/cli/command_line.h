// The command line: options -l, -onn, -r, -u and --json, then the files
// and folders to work on, parsed once into the request of every file's run;
// or -h, --help, --version alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "edit/request.h"

struct CommandLine {
    RunRequest request;
    // The arguments from the first that names an existing file or folder, or
    // that is no option, or that follows "--", on: names (of nothing,
    // perhaps), in the order given; "--" itself is none.
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
    bool undo_conflict;  // -u with -l or -o
    bool json;     // --json: a report for scripts instead of the console's text
    bool version;  // --version
    // The line each option seen before the first name prints, in order.
    std::vector<const char*> echoes;
};

// Empties the command line and reads it. Returns 0 when there is a name,
// 1 when none.
int command_line_scan(int argc, char** argv, CommandLine* line);
// Prints the line of each option seen, as the console shows them after
// the banner.
void command_line_echo(const CommandLine* line);

// What an argument starting "-o" names: the third character's code minus
// '0', times ten plus the fourth's when there is one. Codes are signed and
// not checked to be digits, so "-o1x" gives 82 and a lone "-o" gives -48;
// "-o1." is no code at all, although its arithmetic gives 8.
TargetOption target_option_parse(const char* argument);
