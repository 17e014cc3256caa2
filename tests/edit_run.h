// One run of the analysis and the editor in the test's own process, on a
// real file: what the tool's run of a file does between its opening and its
// report, without a word on the console. The tests and the fuzz targets
// judge what it leaves.
#pragma once
#include <cstdint>
#include <string>

#include "edit/editor.h"
#include "run/analysis.h"
#include "run/exit_codes.h"

// How a run ended: the result that stopped it, or one of these.
inline constexpr int32_t ended_marker_created = 100;  // a rewrite made the marker file
inline constexpr int32_t ended_done = 101;            // walked to the end: listed, rewritten, undone
inline constexpr int32_t ended_partly_undone = 102;   // an undo left listed positions as they were

inline int32_t notice_error_keep(void* context, const Notice* notice) {
    if (notice->kind == notice_error) *static_cast<int32_t*>(context) = notice_record<ErrorNotice>(notice).result;
    return 0;
}

inline int32_t ending_of(const EditOutcome& outcome) {
    if (outcome.run.result < 0) return outcome.run.result;
    if (outcome.run.ending == ending_restored_partly) return ended_partly_undone;
    return outcome.run.marker_created ? ended_marker_created : ended_done;
}

inline EditMode edit_mode_of(const ConvertJob& job) {
    return mode_needs(job.request.mode).walk;
}

// The analysis and the editor in the mode given, on a file the caller
// opened. A run the analysis stops ends with the result it gave.
inline EditOutcome edit_run_in(FileHandleRec* file, const ConvertJob& job, EditMode mode) {
    int32_t error = result_no_sequence_header;  // a file no format takes has no video header
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    EditOutcome outcome = {};
    if (file_analyse(file, &job, stream_not_mpeg, NoticeSink{notice_error_keep, &error}, &info, &video) >= 0) {
        outcome.run.result = static_cast<Result>(error);
        return outcome;
    }
    EditRequest request = {&job, mode, file, &video, NoticeSink{notice_error_keep, &error}};
    return aspect_rewrite(&request);
}

// The same on the job's file, opened as the tool opens it.
inline EditOutcome edit_open_run(const ConvertJob& job, EditMode mode) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    EditOutcome outcome = {};
    uint32_t access = mode == edit_list ? generic_read : generic_read | generic_write;
    if (file_open(&file, job.path.c_str(), access) != file_opened) {
        outcome.run.result = result_open_error;
        return outcome;
    }
    outcome = edit_run_in(&file, job, mode);
    file_close(&file);
    return outcome;
}

// The run of the job with the mode its request says, on a file the caller
// opened or on the job's file: how it ended.
inline int32_t edit_run_on(FileHandleRec* file, const ConvertJob& job) {
    return ending_of(edit_run_in(file, job, edit_mode_of(job)));
}
inline int32_t edit_run(const ConvertJob& job) {
    return ending_of(edit_open_run(job, edit_mode_of(job)));
}
