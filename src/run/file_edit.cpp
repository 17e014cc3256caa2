#include "run/file_edit.h"

#include "formats/format.h"
#include "run/exit_codes.h"
#include "run/video_facts.h"

void file_run_init(FileRun* run, const char* path, const RunRequest* request, NoticeSink notices) {
    run->job = ConvertJob{path, 0, {0, 0}, *request, false};
    run->notices = notices;
    run->file = {os_invalid_handle, 0, 0};
    run->read_only = false;
}

int file_run_close(FileRun* run) {
    if (run->file.handle == os_invalid_handle) return 0;
    int closed = file_close(&run->file);
    run->file.handle = os_invalid_handle;
    return closed;
}

bool file_run_look(FileRun* run, StreamKind kind, SequenceHeaderInfo* info, VideoLayout* video) {
    if (file_open(&run->file, run->job.path.c_str(), generic_read) != file_opened) return false;
    return file_analyse(&run->file, &run->job, kind, notice_sink_quiet(), info, video) < 0;
}

namespace {

// Looks at the run's file again, read-only and telling nothing else, once
// its walk is over, and tells what the video shows now.
void video_facts_after(const FileRun* run, StreamKind kind) {
    FileRun look;
    file_run_init(&look, run->job.path.c_str(), &run->job.request, notice_sink_quiet());
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    if (file_run_look(&look, kind, &info, &video)) notify(run->notices, video_facts_of(&info, &video, true));
    file_run_close(&look);
}

bool time_same(const OsFileTime& a, const OsFileTime& b) {
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}

}  // namespace

EditOutcome file_edit(FileRun* run, const VideoLayout* video, EditMode mode) {
    EditRequest request = {&run->job, mode, &run->file, video, run->notices};
    return aspect_rewrite(&request);
}

void time_put_back(FileRun* run, const EditOutcome* outcome) {
    OsFileTime now = {0, 0};
    if (run->read_only || !outcome->time_known || !os_last_write_get(run->file.handle, &now)) return;
    if (time_same(now, outcome->written)) return;
    if (os_last_write_set(run->file.handle, &outcome->written)) notify(run->notices, notice_time_restored);
}

// The time is taken and put back on the run's own handle, so that it is
// the file the editor wrote into. A run that finishes or undoes one cut
// short puts back the time the marker file recorded before the first
// change; a listing that finds the file done puts it back where the file
// has another, and says so. A network share reports a failed write-back
// only at the close.
int file_edit_report(FileRun* run, const VideoLayout* video) {
    OsFileTime written = {0, 0};
    bool known = !run->read_only && os_last_write_get(run->file.handle, &written);
    ModeNeeds needs = mode_needs(run->job.request.mode);
    EditOutcome outcome = file_edit(run, video, needs.walk);
    if (!needs.writes) time_put_back(run, &outcome);
    if (outcome.time_known) written = outcome.written;
    if (!run->read_only && (known || outcome.time_known)) os_last_write_set(run->file.handle, &written);
    if (file_run_close(run) != 0 && needs.writes && outcome.run.result >= 0) outcome.run.result = result_close_error;
    notify(run->notices, outcome.run);
    // A report that asks hears what the video shows once written.
    if (run->job.request.detailed && needs.writes) {
        video_facts_after(run, format_of(video->layout.kind)->named_only ? video->layout.kind : stream_not_mpeg);
    }
    return outcome_exit_code(&outcome.run);
}
