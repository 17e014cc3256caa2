#include "cli/command_line.h"

#include <cstring>
#include <vector>

#include "console/console.h"
#include "console/messages.h"
#include "jobs/batch.h"

namespace {

// The options as seen, before they are settled into the request.
struct OptionsSeen {
    bool list;
    bool undo;
    bool resync;
    bool container_only;
    bool json;
    const char* target;  // the latest -o, or null
    std::vector<const char*> echoes;  // the line each prints, in the order seen
};

int signed_code(char c) {
    return static_cast<signed char>(c);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Each option letter with the flag it sets and the line it prints.
struct OptionLetter {
    char letter;
    bool OptionsSeen::*flag;  // null for -o, which keeps its text
    const char* echo;
};
const OptionLetter option_letters[] = {
    {'l', &OptionsSeen::list, msg_option_l},   {'o', nullptr, msg_option_o},
    {'r', &OptionsSeen::resync, msg_option_r}, {'u', &OptionsSeen::undo, msg_option_u},
    {'c', &OptionsSeen::container_only, msg_option_c},
};

// Only the second character counts, as it always did: -list is -l.
bool scan_option(const char* argument, OptionsSeen* seen) {
    for (const OptionLetter& option : option_letters) {
        if (argument[1] != option.letter) continue;
        if (option.flag != nullptr) {
            seen->*option.flag = true;
        } else {
            seen->target = argument;
        }
        seen->echoes.push_back(option.echo);
        return true;
    }
    return false;
}

bool is_help(const char* argument) {
#ifdef _WIN32
    if (std::strcmp(argument, "/?") == 0) return true;
#endif
    return argument[0] == '-' && (argument[1] == 'h' || std::strcmp(argument, "--help") == 0);
}

// The options spelt out whole: --json and --version.
bool long_option(const char* argument, CommandLine* line, OptionsSeen* seen) {
    if (std::strcmp(argument, "--json") == 0) {
        seen->json = true;
        return true;
    }
    if (std::strcmp(argument, "--version") == 0) {
        line->version = true;
        return true;
    }
    return false;
}

// An argument before the names: an option, a request for help, an option
// the tool does not have, or the first name.
bool leading_argument(const char* argument, CommandLine* line, OptionsSeen* seen) {
    std::string path;
    bool exists = name_resolve(argument, &path);
    if (!exists && is_help(argument)) {
        line->help = true;
        return false;
    }
    if (!exists && long_option(argument, line, seen)) return false;
    // "-x.mpg" that exists is an option and a name, as it always was.
    bool option = argument[0] == '-' && scan_option(argument, seen);
    if (!exists && argument[0] == '-' && !option && line->unknown_option == nullptr) {
        line->unknown_option = argument;
    }
    return exists || argument[0] != '-';
}

// The argument at i joins the names, which stay together from the first
// one's place in argv on.
void name_add(char** argv, int i, CommandLine* line) {
    if (line->name_count == 0) line->names = argv + i;
    line->names[line->name_count++] = argv[i];
}

// The request the options make; -u with -l or -o is refused before anything
// is done.
void request_settle(const OptionsSeen* seen, CommandLine* line) {
    RunRequest& request = line->request;
    request.mode = seen->undo ? mode_undo : seen->list ? mode_list : mode_convert;
    if (seen->target != nullptr) request.target = target_option_parse(seen->target);
    request.resync = seen->resync;
    request.container_only = seen->container_only;
    request.set_target = -1;
    request.detailed = seen->json;
    line->json = seen->json;
    line->echoes = seen->echoes;
    line->undo_conflict = seen->undo && (seen->list || request.target.given);
}

}  // namespace

TargetOption target_option_parse(const char* argument) {
    // Characters past the end of the text count as its end.
    char third = argument[2];
    char fourth = third == '\0' ? '\0' : argument[3];
    TargetOption option = {true, signed_code(third) - '0', false, argument};
    if (fourth != '\0') option.code = option.code * 10 + (signed_code(fourth) - '0');
    option.digits = is_digit(third) && (fourth == '\0' || is_digit(fourth));
    return option;
}

void command_line_echo(const CommandLine* line) {
    for (const char* echo : line->echoes) console_text(echo);
}

int command_line_scan(int argc, char** argv, CommandLine* line) {
    *line = CommandLine{};
    OptionsSeen seen = {};
    std::string path;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        // "--" ends the options: every argument after it is a name, one
        // that starts with '-' too.
        if (!options_ended && std::strcmp(argument, "--") == 0) {
            options_ended = true;
        } else if (options_ended) {
            name_add(argv, i, line);
        } else if (line->name_count == 0) {
            if (leading_argument(argument, line, &seen)) name_add(argv, i, line);
        } else if (argument[0] == '-' && !name_resolve(argument, &path)) {
            if (line->late_option == nullptr) line->late_option = argument;
        } else {
            // Moved up over any late option, so that the names stay together.
            name_add(argv, i, line);
        }
    }
    request_settle(&seen, line);
    return line->name_count > 0 ? 0 : 1;
}
