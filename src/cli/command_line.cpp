#include "cli/command_line.h"

#include <cstring>

#include "console/console.h"
#include "console/messages.h"
#include "fileio/fileio.h"

namespace {

// Only the second character counts, as it always did: -list is -l.
bool scan_option(const char* argument, CommandLine* line) {
    switch (argument[1]) {
    case 'l':
        line->job.mode_flags |= mode_list;
        console_text(msg_option_l);
        return true;
    case 'o':
        line->o_text = argument;
        console_text(msg_option_o);
        return true;
    case 'r':
        line->job.mode_flags |= mode_range_search;
        console_text(msg_option_r);
        return true;
    case 'u':
        line->job.mode_flags |= mode_undo;
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

int signed_code(char c) {
    return static_cast<signed char>(c);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// An argument before the names: an option, a request for help, an option
// the tool does not have, or the first name.
bool leading_argument(const char* argument, CommandLine* line) {
    std::string path;
    bool exists = command_line_name_resolve(argument, &path);
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

// A video is named as the file system resolves the argument, so that its
// side files are named from the same name whichever way it was typed.
bool command_line_name_resolve(const char* name, std::string* path) {
    *path = os_name_resolve(name);
    return file_exists(path->c_str()) == 0;
}

int command_line_scan(int argc, char** argv, CommandLine* line) {
    *line = CommandLine{};
    line->set_target = -1;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (line->name_count == 0) {
            if (leading_argument(argument, line)) {
                line->names = argv + i;
                line->name_count = 1;
            }
        } else if (argument[0] == '-' && !command_line_name_resolve(argument, &path)) {
            if (line->late_option == nullptr) line->late_option = argument;
        } else {
            // Moved up over any late option, so that the names stay together.
            line->names[line->name_count++] = argv[i];
        }
    }
    return line->name_count > 0 ? 0 : 1;
}

bool command_line_has_o(const CommandLine* line) {
    return !line->o_text.empty();
}

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

void o_option_refused_print(const char* range_message, const char* o_text) {
    console_text(range_message);
    if (o_option_digits(o_text)) {
        console_print(msg_aspect_given, o_option_value(o_text));
    } else {
        console_print(msg_aspect_given_text, os_name_cp932(o_text).c_str());
    }
}
