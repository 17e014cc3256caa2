// The report for scripts (--json): instead of the console's text, one JSON
// object on a line of standard output for each file, as UTF-8 on every
// system, and a last one for the whole run. It is a notice sink beside the
// console's: the notices of a file gather until the one that ends it.
#pragma once
#include <cstdint>
#include <string>

#include "notices/fact_notices.h"
#include "notices/file_notices.h"

// The version of the objects' keys: a key once given keeps its meaning; a
// release that changed one would count this up.
inline constexpr int32_t json_report_version = 1;

// What one file's notices said so far.
struct JsonFile {
    bool has_before;
    bool has_after;
    VideoFactsNotice before;
    VideoFactsNotice after;
    bool ended;  // a walk's outcome came
    RunOutcome outcome;
    std::string places;   // the places' objects so far, separated by commas
    const char* key;      // the first reason the file gave for a failure or for nothing done
    std::string message;  // the console's text of it, UTF-8
};

struct JsonReport {
    JsonFile file;
    uint32_t counts[4];  // by FileCount
};

// Readies standard output for the report.
void json_report_open(JsonReport* report);
NoticeSink json_report_sink(JsonReport* report);
// A refusal of the whole command line, before any file: its key and the
// console's text of it (code page 932).
void json_report_refusal(JsonReport* report, const char* key, const std::string& text);
// The last object: the counts, the exit code, and a reason given outside
// any file.
void json_report_close(JsonReport* report, int exit_code);

// The console's text as a message: UTF-8, without the line breaks around
// it, its lines joined by "\n".
std::string json_message_text(const std::string& console_text);
