// Many files in one run: every name on the command line in turn, a folder's
// files, a DVD-Video folder's title sets. Each file gets the run it would
// get alone; the batch counts how they ended.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"

struct Batch {
    bool named;  // each file's run is headed by its name
    uint32_t changed;
    uint32_t unchanged;  // nothing to do
    uint32_t failed;
    uint32_t skipped;  // in a folder, and no MPEG
    int first_failure;  // its exit code
    std::vector<std::string> failures;  // their names as code page 932 text, and codes
};

// Prints the name line that heads a file's run in a batch.
void batch_file_name(const Batch* batch, const char* path);
// Counts the exit code of one file's run.
void batch_count(Batch* batch, const char* path, int code);

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

// folder + separator + entry into path (the job's path's size): false when
// it does not fit.
bool path_join(const char* folder, const char* entry, char* path);
