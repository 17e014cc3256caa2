#include "cli/command_line.h"

#include <cstring>

#include "console/console.h"
#include "console/messages.h"
#include "fileio/fileio.h"

namespace {

void scan_option(const char* argument, CommandLine* line) {
    if (argument[0] != '-') return;
    switch (argument[1]) {
    case 'l':
        line->job.mode_flags |= mode_list;
        console_text(msg_option_l);
        break;
    case 'o':
        std::strncpy(line->o_text, argument, text_capacity - 1);
        line->o_text[text_capacity - 1] = '\0';
        console_text(msg_option_o);
        break;
    case 'r':
        line->job.mode_flags |= mode_range_search;
        console_text(msg_option_r);
        break;
    case 'u':
        line->job.mode_flags |= mode_undo;
        console_text(msg_option_u);
        break;
    default:
        break;
    }
}

int signed_code(char c) {
    return static_cast<signed char>(c);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// A name that cannot fit the job's path is never taken, whatever exists.
// A video is named as the file system resolves the argument, so that its
// side files are named from the same name whichever way it was typed.
bool command_line_name_resolve(const char* name, char* path) {
    std::memset(path, 0, sizeof(ConvertJob::path));
    if (std::strlen(name) >= sizeof(ConvertJob::path)) return false;
    os_name_resolve(name, path, sizeof(ConvertJob::path));
    return file_exists(path) == 0;
}

int command_line_scan(int argc, char** argv, CommandLine* line) {
    std::memset(line, 0, sizeof *line);
    char path[sizeof(ConvertJob::path)];
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (line->name_count == 0) {
            // Before the first name every argument is looked at as an option
            // too, as it always was: "-x.mpg" that exists is both.
            scan_option(argument, line);
            if (command_line_name_resolve(argument, path) || argument[0] != '-') {
                line->names = argv + i;
                line->name_count = 1;
            }
        } else if (argument[0] == '-' && !command_line_name_resolve(argument, path)) {
            if (line->late_option == nullptr) line->late_option = argument;
        } else {
            // Moved up over any late option, so that the names stay together.
            line->names[line->name_count++] = argv[i];
        }
    }
    return line->name_count > 0 ? 0 : 1;
}

bool command_line_has_o(const CommandLine* line) {
    return line->o_text[0] != '\0';
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
