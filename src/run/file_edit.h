// One file's run as the editor sees it: its job, its one open handle, and
// the editor's walks over it, the last of which is reported.
#pragma once
#include <cstdint>

#include "edit/editor.h"
#include "edit/request.h"
#include "notices/notice.h"
#include "run/analysis.h"

struct FileRun {
    ConvertJob job;
    NoticeSink notices;
    FileHandleRec file;  // the run's one handle, which holds its lock
    bool read_only;      // a listing of a file that can never be written
};

void file_run_init(FileRun* run, const char* path, const RunRequest* request, NoticeSink notices);
// Closes the handle where it is still open: 0, or 1 when the close failed.
int file_run_close(FileRun* run);

// Opens the run's file read-only, without its lock, and analyses it as the
// kind names it, telling nothing: whether its video was found. The caller
// closes it (file_run_close).
bool file_run_look(FileRun* run, StreamKind kind, SequenceHeaderInfo* info, VideoLayout* video);

// One walk of the editor over the run's file.
EditOutcome file_edit(FileRun* run, const VideoLayout* video, EditMode mode);
// A run that finds the file done (the outcome of its search, check or
// listing knows the time its marker file recorded) puts that time back
// where the file has another, as a run killed after its last change and
// before it put the time back leaves it, and says so.
void time_put_back(FileRun* run, const EditOutcome* outcome);
// The walk the request asks for, between a capture and a restore of the
// last-write time, then the handle closed and the outcome reported: the
// exit code it gives.
int file_edit_report(FileRun* run, const VideoLayout* video);
