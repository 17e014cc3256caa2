#include "run/video_run.h"

#include "codecs/mpeg_aspects.h"
#include "run/exit_codes.h"
#include "run/target.h"

namespace {

const RunRequest& request_of(const FileRun* run) {
    return run->job.request;
}

ModeNeeds needs_of(const FileRun* run) {
    return mode_needs(run->job.request.mode);
}

bool container_of(const VideoLayout* video) {
    return format_is_container(video->layout.kind);
}

// Whether every place is checked before the first write: a container's,
// whose places change together or not at all, and MPEG-4 video's VOLs, any
// of which may hold a form that cannot take the target.
bool checked_whole(const VideoLayout* video) {
    return container_of(video) || video->layout.codec == codec_mpeg4;
}

// What the video was before the tool first changed it, where the default
// target needs it: a marker file made for it says so.
AspectOriginal original_find(const FileRun* run, const VideoLayout* video) {
    AspectOriginal none = {};
    if (!needs_of(run).original || request_of(run).target.given) return none;
    return aspect_original(&run->job, &run->file, video);
}

// The aspects the places say, to be told apart by the shape they show.
SarRatio place_sar(const SequenceHeaderInfo* info, const PlaceAspect& place) {
    bool code = place.site == site_sequence_header || place.site == site_dv_control;
    return code ? mpeg_code_sar(info, place.aspect.code) : place.aspect.sar;
}

bool same_shape(const SpsInfo* picture, SarRatio a, SarRatio b) {
    uint32_t code = display_code_of(picture, a);
    return code == display_code_of(picture, b) && (code != 0 || sar_same(a, b));
}

// Says so where the places that record an aspect show different shapes:
// each kind of place with its aspect, and what the players show.
void places_tell(FileRun* run, const SequenceHeaderInfo* info, const PlaceAspects* places) {
    SpsInfo picture = picture_of(info);
    const PlaceAspect* first = nullptr;
    bool differ = false;
    for (uint32_t k = 0; k < places->count; ++k) {
        const PlaceAspect& place = places->kinds[k];
        // A place that records no aspect (aspect_ratio_idc 0) disagrees with none.
        if (!place.present || place_sar(info, place).width == 0) continue;
        if (first == nullptr) first = &place;
        differ = differ || !same_shape(&picture, place_sar(info, *first), place_sar(info, place));
    }
    if (!differ) return;
    notify(run->notices, PlacesDisagreeNotice{*places, video_shown_sar(info), picture.width, picture.height, info->mpeg_version});
}

// -c: each kind of the codec's own places that the run leaves, with the
// aspect that players which read it alone show.
void codec_places_tell(FileRun* run, const SequenceHeaderInfo* info, const PlaceAspects* places) {
    SpsInfo picture = picture_of(info);
    for (uint32_t k = 0; k < places->count; ++k) {
        PlaceAspect place = places->kinds[k];
        if (site_kind_of_container(place.site)) continue;
        place.aspect.sar = place_sar(info, place);
        notify(run->notices, CodecPlaceLeftNotice{place, picture.width, picture.height});
    }
}

// Says why there is nothing to do: that the file was converted from
// another shape already, where its marker file knows the original and no
// -o was given, else that it holds the target of -o or of its title set,
// else that no other shape was given.
int nothing_to_do(FileRun* run, bool original_known, Notice converted, Notice already) {
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

// The walk that finds whether a site needs the change: for a container
// (MP4, MOV, Matroska), which changes every place it records the aspect or
// none, the check of every place, which stops at one that cannot take the
// target in place and notes what each kind holds. Returns an exit code, or
// -1 to go on.
int change_search(FileRun* run, const VideoLayout* video, EditOutcome* search) {
    *search = file_edit(run, video, checked_whole(video) ? edit_check : edit_change_search);
    if (search->run.result != result_ok) {
        notify(run->notices, ErrorNotice{search->run.result});
        return exit_engine_error;
    }
    if (search->refusal.found) {
        notify(run->notices, search->refusal);
        return exit_place_refused;
    }
    return -1;
}

// Whether the walk is needed, where the notices of nothing to do would
// say why not. A stream is looked through when its first site holds the
// target already (an interrupted run, a file with parts of both shapes);
// a container's places always, since each may hold what the first does
// not, and they are told where they disagree. Returns an exit code, or -1
// to go on.
int need_check(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video, bool original_known,
               Notice converted, Notice already) {
    EditOutcome search = {};
    int stop = change_search(run, video, &search);
    if (stop >= 0) return stop;
    if (container_of(video)) places_tell(run, info, &search.places);
    if (container_of(video) && request_of(run).container_only) codec_places_tell(run, info, &search.places);
    return search.change_needed ? -1 : nothing_to_do(run, original_known, converted, already);
}

// No default target: the places are told where they disagree (a check
// with the current aspect as its target, which changes nothing and whose
// refusals do not matter here), then what the video shows and that -o must
// say what to make of it.
int no_default_stop(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video, SarRatio shown) {
    if (container_of(video)) {
        EditOutcome search = file_edit(run, video, edit_check);
        if (search.run.result == result_ok) places_tell(run, info, &search.places);
    }
    SpsInfo picture = picture_of(info);
    notify(run->notices, NoDefaultTargetNotice{picture.width, picture.height, shown});
    return exit_same_aspect;
}

// Whether a rewrite of H.264, HEVC or MPEG-4 video to the target can be
// made in place at all, and is needed (the form of every VOL is seen by the
// check of every place). Returns an exit code, or -1 to go on.
int sets_target_check(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video,
                      const AspectOriginal* original, TargetChoice choice) {
    const SpsInfo* sps = &info->sps;
    SarRatio target = run->job.target_sar;
    // A set without aspect information cannot get one in place; in a
    // container it is no place, and the container's places take the target.
    if (!sps->aspect_present && !container_of(video)) {
        bool vol = video->layout.codec == codec_mpeg4;
        notify(run->notices, vol ? notice_vol_no_aspect_field : notice_sets_no_aspect_field);
        return exit_no_aspect_field;
    }
    if (choice == target_none) return no_default_stop(run, info, video, sar_before(original, info->shown));
    SarRatio first = sps_sar(sps);
    bool same = first.width != 0 && sar_same(first, target);
    bool set_changes = sps->aspect_present && !request_of(run).container_only && codec_has_sets(info->layout.codec);
    if (set_changes && !same && sps->idc != sar_explicit && sar_table_code(target) == 0) {
        notify(run->notices, SetsNoTableCodeNotice{target});
        return exit_sps_left;
    }
    if (!same && !checked_whole(video)) return -1;
    SarConvertedNotice converted = {sps->width, sps->height, sar_before(original, info->shown), target};
    SarAlreadyNotice already = {sps->width, sps->height, target, info->layout.codec};
    return need_check(run, info, video, original->known, notice_of(converted), notice_of(already));
}

// H.264, HEVC and MPEG-4 video, and video whose container alone records
// the aspect the tool changes: the target is a sample aspect.
int sets_video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    const SpsInfo* sps = &info->sps;
    SarRatio current = info->shown;
    SarRatio target = current;
    ModeNeeds needs = needs_of(run);
    notify(run->notices, SarAspectNotice{sps->width, sps->height, current, false});
    bool sets = info->layout.codec != codec_container;
    if (needs.target && sets && !sps->aspect_present && container_of(video)) {
        notify(run->notices, notice_sets_square_players);
    }
    if (needs.target) {
        AspectOriginal original = original_find(run, video);
        TargetChoice choice = sps_target_choose(&request_of(run), sps, current, &original, run->notices, &target);
        if (choice == target_refused) return exit_bad_option;
        run->job.target_sar = target;
        bool checked = needs.target_checked;
        // Without a default a run names no target; a listing shows the current one.
        if (choice != target_none || !checked) {
            notify(run->notices, SarAspectNotice{sps->width, sps->height, target, true});
        }
        int stop = checked ? sets_target_check(run, info, video, &original, choice) : -1;
        if (stop >= 0) return stop;
    }
    SarSummary summary = {info->layout.codec, info->foreign, sps->width, sps->height, current, target,
                          info->duration_sec, run->file.size};
    notify(run->notices, SarSummaryNotice{summary, info->container});
    return file_edit_report(run, video);
}

// Where the mode checks the target of MPEG video: whether a player would
// show it and whether the video needs it. Returns an exit code, or -1 to
// go on.
int mpeg_target_check(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video,
                      const AspectOriginal* original, TargetChoice choice) {
    int32_t version = info->mpeg_version;
    uint32_t target = run->job.target_aspect;
    if (choice == target_none) return no_default_stop(run, info, video, mpeg_container_shown(info, original));
    uint64_t num = 0;
    uint64_t den = 0;
    if (display_hides_change(info, target, &num, &den)) {
        notify(run->notices, DisplayUnchangedNotice{info->video.display_width, info->video.display_height, num, den});
    }
    if (info->aspect_code != target && !container_of(video)) return -1;
    MpegConvertedNotice converted = {version, mpeg_code_before(info, original), target};
    MpegAlreadyNotice already = {version, target};
    return need_check(run, info, video, original->known, notice_of(converted), notice_of(already));
}

// MPEG video's summary line, or DV's, which has no frame rate or bit rate
// of its own: its shapes before and after.
void summary_tell(FileRun* run, const SequenceHeaderInfo* info) {
    if (info->layout.codec == codec_dv) {
        SarRatio shown = mpeg_code_sar(info, mpeg_code_shown(info));
        SarRatio target = needs_of(run).target ? run->job.target_sar : shown;
        SarSummary summary = {codec_dv, info->foreign, info->sps.width, info->sps.height, shown, target,
                              info->duration_sec, run->file.size};
        notify(run->notices, SarSummaryNotice{summary, info->container});
        return;
    }
    MpegSummary summary = {info->mpeg_version, info->horizontal_size, info->vertical_size, info->frame_rate_code,
                           info->bit_rate_value, info->duration_sec, run->file.size};
    notify(run->notices, MpegSummaryNotice{summary, info->container});
}

// MPEG-1 and MPEG-2 video, and DV: the target is a code of the aspect table.
int mpeg_video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    int32_t version = info->mpeg_version;
    ModeNeeds needs = needs_of(run);
    notify(run->notices, MpegAspectNotice{version, mpeg_code_shown(info), false});
    if (needs.target) {
        AspectOriginal original = original_find(run, video);
        uint32_t target = 0;
        TargetChoice choice = mpeg_target_choose(&request_of(run), info, &original, run->notices, &target);
        if (choice == target_refused) return exit_bad_option;
        run->job.target_aspect = target;
        run->job.target_sar = mpeg_code_sar(info, target);
        bool checked = needs.target_checked;
        if (choice != target_none || !checked) notify(run->notices, MpegAspectNotice{version, target, true});
        int stop = checked ? mpeg_target_check(run, info, video, &original, choice) : -1;
        if (stop >= 0) return stop;
    }
    summary_tell(run, info);
    // A listing, which writes nothing, shows the size the aspect applies to.
    if (!needs.writes && info->video.display == 1) {
        notify(run->notices, DisplaySizeNotice{info->video.display_width, info->video.display_height});
    }
    return file_edit_report(run, video);
}

}  // namespace

int video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    if (!codec_has_codes(info->layout.codec)) return sets_video_run(run, info, video);
    return mpeg_video_run(run, info, video);
}
