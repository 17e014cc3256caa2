// One file of a batch: its run, counted with the others', once however
// many names reach it.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "edit/request.h"
#include "notices/notice.h"
#include "platform/platform.h"
#include "run/file_run.h"

struct Batch {
    NoticeSink notices;
    bool named;  // each file's run is headed by its name
    uint32_t changed;
    uint32_t unchanged;  // nothing to do
    uint32_t failed;
    uint32_t skipped;  // in a folder, and no video the tool changes; or taken already
    int first_failure;  // its exit code
    std::vector<std::pair<std::string, int>> failures;  // their paths and codes
    std::vector<OsFileId> taken;  // every file run so far, by its identity
};

// Heads a file's run in a batch with its name.
void batch_file_name(const Batch* batch, const char* path);
// Counts the exit code of one file's run, and tells how it ended.
void batch_count(Batch* batch, const char* path, int code);
// Counts a file passed over, its exit code the one its job gives it, and
// tells so.
void batch_skip(Batch* batch, const char* path, int code);
// Tells how a file's run ended, counted by its exit code alone (a run of
// one file outside a batch): the code.
int file_ended(NoticeSink notices, const char* path, int code);
// Whether the file was taken already in this run, under this name or
// another (a folder and a file in it, another letter case on Windows): then
// it is said and counted as skipped. Otherwise it is noted as taken.
bool batch_taken_before(Batch* batch, const char* path);

// How a file of a batch came to it.
enum BatchRole {
    role_named,        // named on the command line
    role_folder_file,  // found in a folder: skipped when it holds no video
                       // the tool changes, and when there is nothing to undo
};
// Runs one file of the batch, on the held file where there is one, and
// counts it: its exit code.
int batch_file(Batch* batch, const RunRequest* request, const char* path, BatchRole role, HeldFile* held);

// folder + separator + entry.
std::string path_join(const std::string& folder, const std::string& entry);
