#include <string>

#include "cli/closing_wait.h"
#include "cli/command_line.h"
#include "cli/json_report.h"
#include "cli/report.h"
#include "console/console.h"
#include "console/messages.h"
#include "jobs/batch.h"
#include "run/exit_codes.h"

#ifdef __MINGW32__
// MinGW's start-up code would expand * and ? in the arguments; the command
// line must reach the program as typed, as with the Microsoft runtime.
int _dowildcard = 0;
#endif

namespace {

const char* const usage_lines[] = {
    msg_usage_1,  msg_usage_2,  msg_usage_3,  msg_usage_u,  msg_usage_c,  msg_usage_json, msg_usage_version, msg_usage_help,
    msg_usage_4,  msg_usage_5,  msg_usage_6,  msg_usage_sar, msg_usage_dv, msg_usage_7,   msg_usage_8,       msg_usage_9,
    msg_usage_10, msg_usage_11, msg_usage_12, msg_usage_13, msg_usage_others,
};

void print_usage() {
    for (const char* line : usage_lines) console_text(line);
}

void print_banner() {
    console_text(msg_banner_rule);
    console_line(msg_banner_title);
}

// Refuses what the command line cannot do before anything is done: the
// exit code, or -1 to go on; *key names the refusal for a report. The
// report for scripts has no use for the usage.
int command_line_refuse(const CommandLine* line, bool named, const char** key) {
    if (line->unknown_option != nullptr) {
        *key = "unknown_option";
        if (!line->json) print_usage();
        console_print_name(msg_unknown_option, line->unknown_option);
        return exit_bad_option;
    }
    if (line->help) {
        print_usage();
        return exit_ok;
    }
    if (!named) {
        *key = "no_file";
        console_text(msg_no_file);
        return exit_no_file;
    }
    if (line->late_option != nullptr) {
        *key = "option_after_name";
        console_print_name(msg_option_after_name, line->late_option);
        return exit_bad_option;
    }
    if (line->undo_conflict) {
        *key = "undo_conflict";
        console_text(msg_undo_conflict);
        return exit_bad_option;
    }
    return -1;
}

// The run with a report for scripts in place of the console's text.
int json_run(const CommandLine* line, bool named) {
    JsonReport report;
    json_report_open(&report);
    const char* key = nullptr;
    std::string refusal;
    console_capture(&refusal);
    int code = command_line_refuse(line, named, &key);
    console_capture(nullptr);
    if (code >= 0) {
        json_report_refusal(&report, key, refusal);
    } else {
        code = batch_run(&line->request, line->names, line->name_count, json_report_sink(&report));
    }
    json_report_close(&report, code);
    return code;
}

int run_main(int argc, char** argv, bool* json) {
    if (argc <= 1) {
        print_banner();
        print_usage();
        console_text(msg_usage_14);
        return exit_usage;
    }
    CommandLine line;
    bool named = command_line_scan(argc, argv, &line) == 0;
    if (line.version) {
        console_print(fmt_version, MORVALEN_VERSION);
        return exit_ok;
    }
    *json = line.json && !line.help;
    if (*json) return json_run(&line, named);
    print_banner();
    command_line_echo(&line);
    const char* key = nullptr;
    int refused = command_line_refuse(&line, named, &key);
    if (refused >= 0) return refused;
    return batch_run(&line.request, line.names, line.name_count, report_sink());
}

int run(int argc, char** argv) {
    bool json = false;
    int code = run_main(argc, argv, &json);
    console_flush();
    ClosingOps platform = closing_ops_platform();
    closing_wait(&platform, json);
    return code;
}

}  // namespace

#ifdef _WIN32
// The wide command line, so that names the ANSI code page cannot hold
// reach the program whole; inside it they are UTF-8.
int wmain(int argc, wchar_t** argv) {
    os_standard_streams_secure();
    return run(argc, os_arguments_utf8(argc, argv));
}
#else
int main(int argc, char** argv) {
    // Before any file is opened: none may take the place of a closed
    // standard output and receive the console text.
    os_standard_streams_secure();
    return run(argc, argv);
}
#endif
