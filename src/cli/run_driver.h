// The run from the command line to the exit code.
#pragma once
#include <cstdint>

#include "fileio/fileio.h"
#include "rewrite/engine.h"

enum ExitCode {
    exit_ok = 0,
    exit_usage = 1,  // also: the file could not be read for the analysis
    exit_no_file = 2,
    exit_bad_option = 3,  // an -o value outside 0-15, or -u with -l or -o
    exit_same_aspect = 4,
    exit_not_mpeg = 5,  // also: a transport stream without MPEG-1/MPEG-2 video
    exit_engine_error = 6,
    exit_open_gave_up = 7,  // also: a file that can never be opened for writing
    exit_restore_partial = 8,
    exit_no_marker = 9,  // -u without a marker file the tool can read
    exit_no_aspect_field = 10,  // H.264/HEVC video whose parameter set has no aspect to change
    exit_sps_left = 11,  // H.264/HEVC parameter sets that cannot take the target in place
};

// What the opening loop needs of the platform; tests replace them.
struct OpenRetryOps {
    int (*open)(FileHandleRec* file, const char* name, uint32_t access);
    int (*lock)(FileHandleRec* file);
    int (*close)(FileHandleRec* file);
    void (*sleep)(uint32_t milliseconds);
};

inline constexpr uint32_t open_wait_ms = 50;
inline constexpr uint32_t open_retry_bound = 1000;

// What the opening loop came to.
enum OpenResult {
    open_done = 0,
    open_gave_up = 1,      // after 1001 failed attempts
    open_refused = 2,      // at once: the file can never be opened for writing
    open_not_file = 3,     // at once: the name is no regular file (a FIFO, a device)
    open_held_by_run = 4,  // after 1001 attempts, the last refused by another run's lock
    open_missing = 5,      // at once: nothing bears the name any more
};

// Opens the file for reading and writing and takes the run's lock on it,
// waiting 50 ms before each attempt and once more after the successful one;
// another run of the tool that holds the lock is waited for like any other
// holder. *failed gets the failed attempts.
int open_with_retries(FileHandleRec* file, const char* path, const OpenRetryOps* ops,
                      uint32_t* failed);

struct CommandLine;

// One file's run, from its opening to its exit code: the job's path.
int file_run(CommandLine* line);

// The closing lines of an engine result, and the exit code it gives.
void report_error(int32_t result);
void report_result(int32_t result, const ConvertJob* job);
int exit_code_of(int32_t result, const ConvertJob* job);

int run_main(int argc, char** argv);
