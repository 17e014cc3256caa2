#include "run/file_run.h"

#include "edit/editor.h"
#include "edit/side_files.h"
#include "run/analysis.h"
#include "run/file_edit.h"
#include "run/video_facts.h"
#include "run/video_run.h"

namespace {

// Catches whether an analysis found no video the tool changes: no kind of
// file it takes, nothing in it (empty or all zero bytes), or video of
// another codec only.
int32_t foreign_catch(void* context, const Notice* notice) {
    bool* foreign = static_cast<bool*>(context);
    if (notice->kind == notice_foreign_video) *foreign = true;
    if (notice->kind != notice_stop) return 0;
    switch (notice_record<StopNotice>(notice).reason) {
    case stop_empty_file:
    case stop_all_zero_file:
    case stop_not_mpeg:
    case stop_no_video: *foreign = true; return 0;
    default: return 0;
    }
}

// Analyses the open file, settles the target and runs the editor.
int analyse_and_edit(FileRun* run, uint32_t failed) {
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    int stop = file_run_analyse(run, stream_not_mpeg, failed, &info, &video);
    return stop >= 0 ? stop : video_run(run, &info, &video);
}

}  // namespace

int file_hold(HeldFile* held, const char* path, OpenPace pace) {
    const OpenRetryOps platform_ops = {file_open, file_lock, file_close, os_sleep_ms};
    held->file = {os_invalid_handle, 0, 0};
    return open_with_retries(&held->file, path, &platform_ops, pace, &held->failed);
}

int open_result_tell(NoticeSink notices, int opened, uint32_t failed) {
    switch (opened) {
    case open_done: return -1;
    case open_held_by_run: notify(notices, OpenFailedNotice{true, failed}); return exit_open_gave_up;
    case open_refused: notify(notices, StopNotice{stop_open_refused}); return exit_open_gave_up;
    case open_not_file: notify(notices, StopNotice{stop_not_regular_file}); return exit_no_file;
    case open_missing: notify(notices, notice_file_missing); return exit_no_file;
    default: break;
    }
    notify(notices, OpenFailedNotice{false, failed});
    return exit_open_gave_up;
}

int file_run_open(FileRun* run, HeldFile* held, uint32_t* failed) {
    if (held != nullptr) {
        run->file = held->file;
        held->file.handle = os_invalid_handle;
        *failed = held->failed;
        return -1;
    }
    HeldFile opening;
    const char* path = run->job.path.c_str();
    int opened = file_hold(&opening, path, run->job.request.pace);
    run->file = opening.file;
    *failed = opening.failed;
    FileHandleRec* file = &run->file;
    if (opened == open_refused && !mode_needs(run->job.request.mode).writes && file_open(file, path, generic_read) == file_opened) {
        run->read_only = true;
        if (file_lock(file) == 0) return -1;
        file_close(file);
        opened = open_held_by_run;
    }
    return open_result_tell(run->notices, opened, *failed);
}

int file_run_analyse(FileRun* run, StreamKind kind, uint32_t failed, SequenceHeaderInfo* info, VideoLayout* video) {
    int stop = file_analyse(&run->file, &run->job, kind, run->notices, info, video);
    if (stop >= 0) return stop;
    notify(run->notices, video_facts_of(info, video, false));
    if (failed >= 1) notify(run->notices, notice_opened_late);
    return -1;
}

int open_with_retries(FileHandleRec* file, const char* path, const OpenRetryOps* ops, OpenPace pace,
                      uint32_t* failed) {
    *failed = 0;
    bool opened = false;
    bool locked_out = false;
    for (;;) {
        if (pace == open_paced || *failed > 0) ops->sleep(open_wait_ms);
        if (opened || *failed > open_retry_bound) break;
        int result = ops->open(file, path, generic_read | generic_write);
        // Waiting would not help these.
        if (result == file_open_refused) return open_refused;
        if (result == file_open_not_file) return open_not_file;
        if (result == file_open_missing) return open_missing;
        locked_out = result == file_opened && ops->lock(file) != 0;
        if (locked_out) ops->close(file);
        if (result == file_opened && !locked_out) {
            opened = true;
        } else {
            ++*failed;
        }
    }
    if (opened) return open_done;
    return locked_out ? open_held_by_run : open_gave_up;
}

bool file_video_known(const char* path, const RunRequest* request) {
    bool foreign = false;
    FileRun run;
    file_run_init(&run, path, request, NoticeSink{foreign_catch, &foreign});
    if (file_open(&run.file, path, generic_read) != file_opened) return true;  // its run says why
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    file_analyse(&run.file, &run.job, stream_not_mpeg, run.notices, &info, &video);
    file_run_close(&run);
    return !foreign;
}

int file_run(const char* path, const RunRequest* request, NoticeSink notices, HeldFile* held) {
    FileRun run;
    file_run_init(&run, path, request, notices);
    uint32_t failed = 0;
    int stop = file_run_open(&run, held, &failed);
    if (stop >= 0) return stop;
    // The handle holds the run's lock until the run ends.
    int code = analyse_and_edit(&run, failed);
    file_run_close(&run);
    return code;
}
