#include "run/file_run.h"

#include <vector>

#include "edit/editor.h"
#include "edit/side_files.h"
#include "run/analysis.h"
#include "run/file_edit.h"
#include "run/target.h"
#include "run/video_facts.h"

namespace {

// Enough of a file's head to tell a kind of file the run takes from
// anything else.
constexpr uint32_t kind_look = 0x10000;

const RunRequest& request_of(const FileRun* run) {
    return run->job.request;
}

ModeNeeds needs_of(const FileRun* run) {
    return mode_needs(run->job.request.mode);
}

// What the video was before the tool first changed it, where the default
// target needs it: a marker file made for it says so.
AspectOriginal original_find(const FileRun* run, const VideoLayout* video) {
    AspectOriginal none = {};
    if (!needs_of(run).original || request_of(run).target.given) return none;
    return aspect_original(&run->job, &run->file, video);
}

// Whether any site needs the change. A container (MP4, MOV, Matroska)
// changes every place it records the aspect, or none: the same walk finds
// whether each can take the target in place. Returns an exit code, or -1 to go on with
// *needed set.
int change_search(FileRun* run, const VideoLayout* video, bool* needed) {
    bool places = format_is_container(video->layout.kind);
    EditOutcome search = file_edit(run, video, places ? edit_check : edit_change_search);
    if (search.run.result != result_ok) {
        notify(run->notices, ErrorNotice{search.run.result});
        return exit_engine_error;
    }
    if (search.refusal.found) {
        notify(run->notices, search.refusal);
        return exit_place_refused;
    }
    run->places_checked = places;
    *needed = search.change_needed;
    return -1;
}

// A container's places, where the search for a change did not look at
// them all yet. Returns an exit code, or -1 to go on.
int places_check(FileRun* run, const VideoLayout* video) {
    bool needed = false;
    bool look = format_is_container(video->layout.kind) && !run->places_checked && needs_of(run).target_checked;
    return look ? change_search(run, video, &needed) : -1;
}

// The target equals the first site's: there is still something to do when
// another site holds another aspect (an interrupted run, a file with parts
// of both shapes). Otherwise the notice says why there is nothing: that the
// file was converted from another shape already, where its marker file
// knows the original and no -o was given, else that it holds the target of
// -o or of its title set, else that no other shape was given. Returns an
// exit code, or -1 to go on.
int same_target_check(FileRun* run, const VideoLayout* video, bool original_known, Notice converted,
                      Notice already) {
    bool needed = false;
    int stop = change_search(run, video, &needed);
    if (stop >= 0 || needed) return stop;
    const RunRequest& request = request_of(run);
    if (original_known && !request.target.given) {
        run->notices.send(run->notices.context, &converted);
    } else if (request.target.given || request.set_target >= 0) {
        run->notices.send(run->notices.context, &already);
    } else {
        notify(run->notices, notice_target_equals_source);
    }
    return exit_same_aspect;
}

// Whether a rewrite of H.264 or HEVC video to the target can be made in
// place at all, and is needed. Returns an exit code, or -1 to go on.
int sets_target_check(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video,
                      const AspectOriginal* original) {
    const SpsInfo* sps = &info->sps;
    SarRatio current = video_shown_sar(info);
    SarRatio target = run->job.target_sar;
    if (!sps->aspect_present) {
        notify(run->notices, notice_sets_no_aspect_field);
        return exit_no_aspect_field;
    }
    bool same = current.width != 0 && sar_same(current, target);
    if (same || target.width == 0) {
        SarConvertedNotice converted = {sps->width, sps->height, original->sar, target};
        SarAlreadyNotice already = {sps->width, sps->height, target};
        return same_target_check(run, video, original->known, notice_of(converted), notice_of(already));
    }
    if (sps->idc != sar_explicit && sar_table_code(target) == 0) {
        notify(run->notices, SetsNoTableCodeNotice{target});
        return exit_sps_left;
    }
    return -1;
}

// H.264 and HEVC video, whose target is a sample aspect.
int sets_video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    const SpsInfo* sps = &info->sps;
    SarRatio current = video_shown_sar(info);
    SarRatio target = current;
    notify(run->notices, SarAspectNotice{sps->width, sps->height, current, false});
    if (needs_of(run).target) {
        AspectOriginal original = original_find(run, video);
        if (sps_target_choose(&request_of(run), sps, current, &original, run->notices, &target) != 0) {
            return exit_bad_option;
        }
        run->job.target_sar = target;
        notify(run->notices, SarAspectNotice{sps->width, sps->height, target, true});
        int stop = needs_of(run).target_checked ? sets_target_check(run, info, video, &original) : -1;
        if (stop < 0) stop = places_check(run, video);
        if (stop >= 0) return stop;
    }
    SarSummary summary = {info->layout.codec, sps->width, sps->height, current, target, info->duration_sec,
                          run->file.size};
    notify(run->notices, SarSummaryNotice{summary, info->container});
    return file_edit_report(run, video);
}

// The target of MPEG video, and, where the mode checks it, whether a
// player would show it and whether the video needs it. Returns an exit
// code, or -1 to go on.
int mpeg_target_settle(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    int32_t version = info->mpeg_version;
    AspectOriginal original = original_find(run, video);
    uint32_t target = 0;
    if (mpeg_target_choose(&request_of(run), info, &original, run->notices, &target) != 0) return exit_bad_option;
    run->job.target_aspect = target;
    run->job.target_sar = mpeg_code_sar(info, target);
    notify(run->notices, MpegAspectNotice{version, target, true});
    if (!needs_of(run).target_checked) return -1;
    uint64_t num = 0;
    uint64_t den = 0;
    if (display_hides_change(info, target, &num, &den)) {
        notify(run->notices, DisplayUnchangedNotice{info->video.display_width, info->video.display_height, num, den});
    }
    if (info->aspect_code == target) {
        MpegConvertedNotice converted = {version, static_cast<uint32_t>(original.first_byte >> 4), target};
        MpegAlreadyNotice already = {version, target};
        int stop = same_target_check(run, video, original.known, notice_of(converted), notice_of(already));
        if (stop >= 0) return stop;
    }
    return places_check(run, video);
}

// MPEG-1 and MPEG-2 video: the target is a code of the aspect table.
int mpeg_video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    int32_t version = info->mpeg_version;
    notify(run->notices, MpegAspectNotice{version, info->aspect_code, false});
    ModeNeeds needs = needs_of(run);
    if (needs.target) {
        int stop = mpeg_target_settle(run, info, video);
        if (stop >= 0) return stop;
    }
    MpegSummary summary = {version, info->horizontal_size, info->vertical_size, info->frame_rate_code,
                           info->bit_rate_value, info->duration_sec, run->file.size};
    notify(run->notices, MpegSummaryNotice{summary, info->container});
    // A listing, which writes nothing, shows the size the aspect applies to.
    if (!needs.writes && info->video.display == 1) {
        notify(run->notices, DisplaySizeNotice{info->video.display_width, info->video.display_height});
    }
    return file_edit_report(run, video);
}

// Analyses the open file, settles the target and runs the editor.
int analyse_and_edit(FileRun* run, uint32_t failed) {
    SequenceHeaderInfo info = {};
    VideoLayout video = {};
    int stop = file_run_analyse(run, stream_not_mpeg, failed, &info, &video);
    if (stop >= 0) return stop;
    if (info.layout.codec != codec_mpeg) return sets_video_run(run, &info, &video);
    return mpeg_video_run(run, &info, &video);
}

}  // namespace

int file_run_open(FileRun* run, uint32_t* failed) {
    const OpenRetryOps platform_ops = {file_open, file_lock, file_close, os_sleep_ms};
    const char* path = run->job.path.c_str();
    FileHandleRec* file = &run->file;
    int opened = open_with_retries(file, path, &platform_ops, failed);
    if (opened == open_refused && !needs_of(run).writes && file_open(file, path, generic_read) == file_opened) {
        run->read_only = true;
        if (file_lock(file) == 0) return -1;
        file_close(file);
        opened = open_held_by_run;
    }
    switch (opened) {
    case open_done: return -1;
    case open_held_by_run: notify(run->notices, OpenFailedNotice{true, *failed}); return exit_open_gave_up;
    case open_refused: notify(run->notices, StopNotice{stop_open_refused}); return exit_open_gave_up;
    case open_not_file: notify(run->notices, StopNotice{stop_not_regular_file}); return exit_no_file;
    case open_missing: notify(run->notices, notice_file_missing); return exit_no_file;
    default: break;
    }
    notify(run->notices, OpenFailedNotice{false, *failed});
    return exit_open_gave_up;
}

int file_run_analyse(FileRun* run, StreamKind kind, uint32_t failed, SequenceHeaderInfo* info, VideoLayout* video) {
    int stop = file_analyse(&run->file, &run->job, kind, run->notices, info, video);
    if (stop >= 0) return stop;
    notify(run->notices, video_facts_of(info, video, false));
    if (failed >= 1) notify(run->notices, OpenedLateNotice{failed});
    return -1;
}

int open_with_retries(FileHandleRec* file, const char* path, const OpenRetryOps* ops,
                      uint32_t* failed) {
    *failed = 0;
    bool opened = false;
    bool locked_out = false;
    for (;;) {
        ops->sleep(open_wait_ms);
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

bool file_run_look(FileRun* run, StreamKind kind, SequenceHeaderInfo* info, VideoLayout* video) {
    if (file_open(&run->file, run->job.path.c_str(), generic_read) != file_opened) return false;
    return file_analyse(&run->file, &run->job, kind, notice_sink_quiet(), info, video) < 0;
}

bool file_kind_known(const char* path) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open(&file, path, generic_read) != file_opened) return true;  // its run says why
    std::vector<uint8_t> head(kind_look);
    uint32_t got = file_read(&file, head.data(), kind_look);
    file_close(&file);
    return stream_layout_detect(head.data(), got).kind != stream_not_mpeg;
}

int file_run(const char* path, const RunRequest* request, NoticeSink notices) {
    FileRun run;
    file_run_init(&run, path, request, notices);
    uint32_t failed = 0;
    int stop = file_run_open(&run, &failed);
    if (stop >= 0) return stop;
    // The handle holds the run's lock until the run ends.
    int code = analyse_and_edit(&run, failed);
    file_run_close(&run);
    return code;
}
