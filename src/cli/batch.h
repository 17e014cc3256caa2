// Many files in one run: every name on the command line in turn, a folder's
// files, a DVD-Video folder's title sets. Each file gets the run it would
// get alone; the batch counts how they ended.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/platform.h"

struct Batch {
    bool named;  // each file's run is headed by its name
    uint32_t changed;
    uint32_t unchanged;  // nothing to do
    uint32_t failed;
    uint32_t skipped;  // in a folder, and no MPEG; or taken already
    int first_failure;  // its exit code
    std::vector<std::string> failures;  // their names as code page 932 text, and codes
    std::vector<OsFileId> taken;  // every file run so far, by its identity
};

// Prints the name line that heads a file's run in a batch.
void batch_file_name(const Batch* batch, const char* path);
// Counts the exit code of one file's run.
void batch_count(Batch* batch, const char* path, int code);
// Whether the file was taken already in this run, under this name or
// another (a folder and a file in it, another letter case on Windows): then
// it is said and counted as skipped. Otherwise it is noted as taken.
bool batch_taken_before(Batch* batch, const char* path);

// How a file of a batch came to it.
enum BatchRole {
    role_named,        // named on the command line
    role_folder_file,  // found in a folder: skipped when it is no MPEG, and
                       // when there is nothing to undo
};
// Runs one file of the batch and counts it: its exit code.
int batch_file(Batch* batch, const CommandLine* line, const char* path, BatchRole role);

// The whole run over the command line's names: the exit code.
int batch_run(CommandLine* line);

// folder + separator + entry.
std::string path_join(const std::string& folder, const std::string& entry);
