#include "run/dvd_run.h"

#include "codecs/dvd_attributes.h"
#include "edit/marker.h"
#include "edit/marker_name.h"
#include "formats/dvd_ifo.h"
#include "notices/job_notices.h"
#include "run/analysis.h"
#include "run/exit_codes.h"
#include "run/file_edit.h"
#include "run/file_run.h"

namespace {

// The IFO or BUP opened for a look, and its attributes byte.
bool ifo_open_look(FileHandleRec* file, const char* path, uint8_t* attributes) {
    *file = {os_invalid_handle, 0, 0};
    if (file_open(file, path, generic_read) != file_opened) return false;
    uint8_t head[ifo_head_length] = {};
    StreamLayout layout = stream_layout_named(stream_dvd_ifo, head, file_read_at(file, 0, head, sizeof head));
    *attributes = head[ifo_title_video_attributes];
    if (layout.kind == stream_dvd_ifo) return true;
    file_close(file);
    return false;
}

}  // namespace

int disc_part_run(const char* path, StreamKind kind, const RunRequest* request, uint32_t target, NoticeSink notices,
                  HeldFile* held) {
    FileRun run;
    file_run_init(&run, path, request, notices);
    run.job.target_aspect = target;
    ModeNeeds needs = mode_needs(request->mode);
    if (needs.marker && file_exists(marker_path(path, true).c_str()) != 0) {
        notify(notices, notice_file_no_marker);
        return exit_same_aspect;
    }
    // Locked, and waited for, as a video is: another run, or another
    // program, never writes it at the same time.
    uint32_t failed = 0;
    int stop = file_run_open(&run, held, &failed);
    if (stop >= 0) return stop;
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    int code = file_run_analyse(&run, kind, failed, &info, &video);
    EditOutcome search = {};
    if (code < 0 && needs.target_checked) search = file_edit(&run, &video, edit_change_search);
    if (code < 0 && needs.target_checked && !search.change_needed) {
        notify(notices, IfoAlreadyNotice{target, kind == stream_clip_info});
        time_put_back(&run, &search);
        code = exit_same_aspect;
    }
    if (code < 0) code = file_edit_report(&run, &video);
    file_run_close(&run);
    return code;
}

VideoLook video_look(const char* path, const RunRequest* request) {
    VideoLook look = {};
    FileRun run;
    file_run_init(&run, path, request, notice_sink_quiet());
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    look.found = file_run_look(&run, stream_not_mpeg, &info, &video) && video_probe_found(&info.video);
    look.mpeg2 = look.found && info.video.extension == 1;
    look.code = look.found ? info.video.header[7] >> 4 : 0;
    AspectOriginal original = look.found ? aspect_original(&run.job, &run.file, &video) : AspectOriginal{};
    look.original_code = original.known ? original.first.code : 0;
    file_run_close(&run);
    return look;
}

bool ifo_look(const char* path, uint32_t* code) {
    FileHandleRec file;
    uint8_t attributes = 0;
    if (!ifo_open_look(&file, path, &attributes)) return false;
    file_close(&file);
    *code = dvd_video_of(attributes).aspect;
    return true;
}

uint32_t ifo_original_code(const char* path) {
    std::string name = marker_path(path, true);
    FileHandleRec file;
    uint8_t attributes = 0;
    if (file_exists(name.c_str()) != 0 || !ifo_open_look(&file, path, &attributes)) return 0;
    MarkerRec marker;
    marker_init(&marker);
    bool fits = marker_load(&marker, name.c_str(), &file) == 0 && marker.head.first_known &&
                marker_fit(&marker, &file, path, marker.head.first_byte) == marker_fits;
    uint32_t code = fits ? dvd_video_of(marker.head.first_byte).aspect : 0;
    marker_release(&marker);
    file_close(&file);
    return code;
}
