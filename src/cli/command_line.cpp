#include "cli/command_line.h"

#include <cstring>

#include "console/console.h"
#include "console/messages.h"
#include "edit/editor.h"
#include "jobs/batch.h"

namespace {

// Only the second character counts, as it always did: -list is -l.
bool scan_option(const char* argument, CommandLine* line) {
    switch (argument[1]) {
    case 'l':
        line->options.mode_flags |= mode_list;
        console_text(msg_option_l);
        return true;
    case 'o':
        line->options.o_text = argument;
        console_text(msg_option_o);
        return true;
    case 'r':
        line->options.mode_flags |= mode_range_search;
        console_text(msg_option_r);
        return true;
    case 'u':
        line->options.mode_flags |= mode_undo;
        console_text(msg_option_u);
        return true;
    default:
        return false;
    }
}

bool is_help(const char* argument) {
#ifdef _WIN32
    if (std::strcmp(argument, "/?") == 0) return true;
#endif
    return argument[0] == '-' && (argument[1] == 'h' || std::strcmp(argument, "--help") == 0);
}

// An argument before the names: an option, a request for help, an option
// the tool does not have, or the first name.
bool leading_argument(const char* argument, CommandLine* line) {
    std::string path;
    bool exists = name_resolve(argument, &path);
    if (!exists && is_help(argument)) {
        line->help = true;
        return false;
    }
    // "-x.mpg" that exists is an option and a name, as it always was.
    bool option = argument[0] == '-' && scan_option(argument, line);
    if (!exists && argument[0] == '-' && !option && line->unknown_option == nullptr) {
        line->unknown_option = argument;
    }
    return exists || argument[0] != '-';
}

}  // namespace

int command_line_scan(int argc, char** argv, CommandLine* line) {
    *line = CommandLine{};
    line->options.set_target = -1;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (line->name_count == 0) {
            if (leading_argument(argument, line)) {
                line->names = argv + i;
                line->name_count = 1;
            }
        } else if (argument[0] == '-' && !name_resolve(argument, &path)) {
            if (line->late_option == nullptr) line->late_option = argument;
        } else {
            // Moved up over any late option, so that the names stay together.
            line->names[line->name_count++] = argv[i];
        }
    }
    return line->name_count > 0 ? 0 : 1;
}
