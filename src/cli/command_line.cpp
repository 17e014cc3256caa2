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

// A name that cannot fit the job's path is never taken, whatever exists.
// The video is named as the file system resolves the argument, so that its
// side files are named from the same name whichever way it was typed.
bool names_existing_file(const char* argument, char* path) {
    if (std::strlen(argument) >= sizeof(ConvertJob::path)) return false;
    os_name_resolve(argument, path, sizeof(ConvertJob::path));
    return file_exists(path) == 0;
}

int signed_code(char c) {
    return static_cast<signed char>(c);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int command_line_scan(int argc, char** argv, CommandLine* line) {
    std::memset(line, 0, sizeof *line);
    for (int i = 1; i < argc; ++i) {
        scan_option(argv[i], line);
        if (names_existing_file(argv[i], line->job.path)) return 0;
    }
    std::memset(line->job.path, 0, sizeof line->job.path);
    return 1;
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
