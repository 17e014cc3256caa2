// The run of one file, from its opening to its exit code: opened once and
// locked, analysed, its target settled, walked by the editor, its
// last-write time kept. What it has to say goes to the notices, and its
// outcome too; the exit code follows from the outcome.
#pragma once
#include <cstdint>
#include <string>

#include "edit/request.h"
#include "fileio/fileio.h"
#include "notices/notice.h"
#include "run/analysis.h"
#include "run/exit_codes.h"
#include "run/file_edit.h"

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
// waiting at the pace given; another run of the tool that holds the lock is
// waited for like any other holder. *failed gets the failed attempts.
int open_with_retries(FileHandleRec* file, const char* path, const OpenRetryOps* ops, OpenPace pace,
                      uint32_t* failed);

// A file opened for reading and writing and locked ahead of its run, as
// every file of a DVD title set is before any of them is written: its run
// takes the handle over instead of opening the file.
struct HeldFile {
    FileHandleRec file;
    uint32_t failed;  // the attempts that failed before it opened
};
// Opens and locks the file for a run that writes, with the retries of
// open_with_retries, saying nothing: open_done with *held ready, or what
// the opening came to (open_result_tell says it).
int file_hold(HeldFile* held, const char* path, OpenPace pace);
// Says why an opening failed, as a run says it: the exit code, or -1 for
// open_done.
int open_result_tell(NoticeSink notices, int opened, uint32_t failed);

// Whether a run of the file would find video the tool changes in it, by the
// same analysis, which says nothing here; a file that cannot be opened, or
// whose analysis fails for another reason, counts as known, so that its run
// says why.
bool file_video_known(const char* path, const RunRequest* request);

// Opens the run's file once, locked, as the job needs it (a listing, which
// writes nothing, also reads a file that can never be written), with the
// retries of open_with_retries, or takes over the held file where there is
// one: -1 to go on, with *failed the attempts that failed, or the exit
// code, said.
int file_run_open(FileRun* run, HeldFile* held, uint32_t* failed);
// Analyses the open file as the kind the job names it (stream_not_mpeg: as
// its head opens), then says how many openings failed first: -1 to go on,
// or the exit code, said.
int file_run_analyse(FileRun* run, StreamKind kind, uint32_t failed, SequenceHeaderInfo* info, VideoLayout* video);

// One video file's run, on the held file where there is one: its exit code.
int file_run(const char* path, const RunRequest* request, NoticeSink notices, HeldFile* held);
