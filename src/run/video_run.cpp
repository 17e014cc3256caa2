#include "run/video_run.h"

#include "codecs/sar.h"
#include "codecs/shapes.h"
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

// Whether the file has places of its container's own, which -c changes: a
// stream has none, nor an FLV, nor an AVI without a vprp or room for one.
bool container_placed(const VideoLayout* video, const VideoFacts* f) {
    return container_of(video) && !f->placeless;
}

// Whether every place is checked before the first write: a container's,
// whose places change together or not at all, and a codec's whose own
// headers may hold a form that cannot take the target.
bool checked_whole(const VideoLayout* video) {
    return container_of(video) || video->row->checked_whole;
}

AspectName name_of(const VideoFacts* f) {
    return {f->row->naming, f->width, f->height};
}

// What the video was before the tool first changed it, where a rewrite
// needs it (its default target, and what a run that finishes one changes
// from): a marker file made for it says so, also for a recording that went
// on since, which the rewrite then takes as the same video.
AspectOriginal original_find(FileRun* run, const VideoLayout* video) {
    AspectOriginal none = {};
    if (!needs_of(run).original) return none;
    AspectOriginal original = aspect_original(&run->job, &run->file, video);
    run->job.marker_grown = original.grown;
    return original;
}

// The aspects the places say, to be told apart by the shape they show: the
// codec's own by its table, where it names its aspects by code.
SarRatio place_sar(const VideoFacts* f, const PlaceAspect& place) {
    bool coded = place.site == f->row->own && f->row->code_sar != nullptr;
    return coded ? facts_sar(f, place.aspect) : place.aspect.sar;
}

bool same_shape(const VideoFacts* f, SarRatio a, SarRatio b) {
    uint32_t shape = shape_of_sar(f->width, f->height, a);
    return shape == shape_of_sar(f->width, f->height, b) && (shape != 0 || sar_same(a, b));
}

// Says so where the places that record an aspect show different shapes:
// each kind of place with its aspect, and what the players show.
void places_tell(FileRun* run, const VideoFacts* f, const PlaceAspects* places) {
    const PlaceAspect* first = nullptr;
    bool differ = false;
    for (uint32_t k = 0; k < places->count; ++k) {
        const PlaceAspect& place = places->kinds[k];
        // A place that records no aspect (aspect_ratio_idc 0) disagrees with none.
        if (!place.present || place_sar(f, place).width == 0) continue;
        if (first == nullptr) first = &place;
        differ = differ || !same_shape(f, place_sar(f, *first), place_sar(f, place));
    }
    if (!differ) return;
    notify(run->notices, PlacesDisagreeNotice{*places, facts_shown(f).sar, name_of(f)});
}

// -c: each kind of the codec's own places that the run leaves, with the
// aspect that players which read it alone show.
void codec_places_tell(FileRun* run, const VideoFacts* f, const PlaceAspects* places) {
    for (uint32_t k = 0; k < places->count; ++k) {
        PlaceAspect place = places->kinds[k];
        if (site_kind_of_container(place.site)) continue;
        place.aspect.sar = place_sar(f, place);
        notify(run->notices, CodecPlaceLeftNotice{place, f->width, f->height});
    }
}

// Where a codec's own place refuses the target, what -c would do instead:
// a check of the container's places alone, told where they take the
// target and some of them need it.
void container_only_hint(FileRun* run, const VideoLayout* video) {
    if (request_of(run).container_only || !container_of(video)) return;
    FileRun look = *run;
    look.job.request.container_only = true;
    look.notices = notice_sink_quiet();
    EditOutcome check = file_edit(&look, video, edit_check);
    if (check.run.result != result_ok || check.refusal.found || !check.change_needed) return;
    notify(run->notices, ContainerOnlyHintNotice{check.places, video->row->header});
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
// (MP4, MOV, Matroska, AVI), which changes every place it records the
// aspect or none, and a codec whose every place is checked, the check of
// every place, which stops at one that cannot take the target in place and
// notes what each kind holds. Returns an exit code, or -1 to go on.
int change_search(FileRun* run, const VideoLayout* video, EditOutcome* search) {
    *search = file_edit(run, video, checked_whole(video) ? edit_check : edit_change_search);
    if (search->run.result != result_ok) {
        notify(run->notices, ErrorNotice{search->run.result, search->run.position});
        return exit_engine_error;
    }
    if (search->refusal.found) {
        notify(run->notices, search->refusal);
        if (!site_kind_of_container(search->refusal.site)) container_only_hint(run, video);
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
int need_check(FileRun* run, const VideoFacts* f, const VideoLayout* video, bool original_known, Notice converted,
               Notice already) {
    EditOutcome search = {};
    int stop = change_search(run, video, &search);
    if (stop >= 0) return stop;
    if (container_of(video)) places_tell(run, f, &search.places);
    if (container_of(video) && request_of(run).container_only) codec_places_tell(run, f, &search.places);
    if (search.change_needed) return -1;
    stop = nothing_to_do(run, original_known, converted, already);
    time_put_back(run, &search);
    return stop;
}

// No default target: the places are told where they disagree (a check
// with the current aspect as its target, which changes nothing and whose
// refusals do not matter here), then what the video shows and that -o must
// say what to make of it.
int no_default_stop(FileRun* run, const VideoFacts* f, const VideoLayout* video, SarRatio shown) {
    if (container_of(video)) {
        EditOutcome search = file_edit(run, video, edit_check);
        if (search.run.result == result_ok) places_tell(run, f, &search.places);
    }
    notify(run->notices, NoDefaultTargetNotice{f->width, f->height, shown});
    return exit_same_aspect;
}

// What the target makes of the first of the codec's headers.
AspectEdit first_edit(const VideoLayout* video, SiteAspect target) {
    if (video->first_bytes.empty()) return aspect_edit_unread;
    AspectSite site = video->first_site;
    site.bytes = video->first_bytes.data();
    site.pos = video->first_pos.data();
    ByteChange changes[changes_most];
    uint32_t count = 0;
    return site_edit(&site, site.bytes, target, changes, &count);
}

// Whether the first of the codec's headers cannot take the target in the
// form it has (a parameter set's table code, for a sample aspect outside
// the table), where the codec's places are not all checked anyway.
bool first_refuses(const VideoLayout* video, SiteAspect target) {
    return !video->row->checked_whole && first_edit(video, target) == aspect_edit_no_code;
}

// A first header that records no aspect, in a container, where the
// container's places take the target: whether the run leaves it (it has
// no field for one, or -c keeps it) or writes the target there (a VOL's
// undefined code is a field still). A header that cannot take the target
// is told by the check's refusal instead.
void silent_first_tell(FileRun* run, const VideoFacts* f, const VideoLayout* video, SiteAspect target) {
    if (f->row->find != first_by_scan || f->first.aspect_present || !container_placed(video, f)) return;
    AspectEdit edit = first_edit(video, target);
    bool field = edit != aspect_edit_no_field;
    bool takes = edit == aspect_edit_changed || edit == aspect_edit_same;
    bool kept = !field || request_of(run).container_only;
    if (kept || takes) notify(run->notices, FirstSilentNotice{f->row->header, field, !kept});
}

// Whether a rewrite to the target can be made in place at all, and is
// needed (the form of every VOL is seen by the check of every place).
// Returns an exit code, or -1 to go on.
int target_check(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video,
                 const AspectOriginal* original, TargetChoice choice) {
    const VideoFacts* f = &info->facts;
    SiteAspect target = {run->job.target_aspect, run->job.target_sar};
    // A header without aspect information cannot get one in place; in a
    // container it is no place, and the container's places take the target,
    // where it has any.
    if (f->row->find == first_by_scan && !f->first.aspect_present && !container_placed(video, f)) {
        notify(run->notices, NoAspectFieldNotice{f->row->header});
        return exit_no_aspect_field;
    }
    if (choice == target_none) return no_default_stop(run, f, video, shown_before(f, original).sar);
    uint64_t num = 0;
    uint64_t den = 0;
    if (display_hides_change(info, target.code, &num, &den)) {
        notify(run->notices, DisplayUnchangedNotice{info->video.display_width, info->video.display_height, num, den});
    }
    bool same = f->first.aspect_present && aspect_holds(f, f->first.aspect, target);
    if (!same && !request_of(run).container_only && first_refuses(video, target)) {
        notify(run->notices, SetsNoTableCodeNotice{target.sar});
        container_only_hint(run, video);
        return exit_sps_left;
    }
    if (!same && !checked_whole(video)) return -1;
    ConvertedNotice converted = {name_of(f), shown_before(f, original), target};
    AlreadyNotice already = {name_of(f), target, f->row->header};
    return need_check(run, f, video, original->known, notice_of(converted), notice_of(already));
}

// The summary line: MPEG video's own, or the codec's name with the aspects
// before and after.
void summary_tell(FileRun* run, const SequenceHeaderInfo* info, SarRatio current, SarRatio target) {
    const VideoFacts* f = &info->facts;
    if (f->row->summary == summary_mpeg) {
        MpegSummary summary = {info->mpeg_version, info->horizontal_size, info->vertical_size,
                               info->frame_rate_code, info->bit_rate_value, info->duration_sec, run->file.size};
        notify(run->notices, MpegSummaryNotice{summary, info->container});
        return;
    }
    SarSummary summary = {f->row->summary, facts_codec_name(f), f->width, f->height, current, target,
                          info->duration_sec, run->file.size};
    notify(run->notices, SarSummaryNotice{summary, info->container});
}

// A DVD-Video image knows 4:3 and 16:9 only, as its IFOs record them: any
// other -o would leave them saying another shape than the VOBs.
bool image_code_refused(const FileRun* run, const VideoLayout* video) {
    const TargetOption& option = request_of(run).target;
    bool dvd_code = option.digits && (option.code == 2 || option.code == 3);
    return video->layout.kind == stream_dvd_image && option.given && !dvd_code && needs_of(run).target;
}

}  // namespace

int video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video) {
    const VideoFacts* f = &info->facts;
    ModeNeeds needs = needs_of(run);
    if (image_code_refused(run, video)) {
        notify(run->notices, StopNotice{stop_dvd_code_only});
        return exit_bad_option;
    }
    SiteAspect target = facts_shown(f);
    AspectOriginal original = original_find(run, video);
    CodeRefusedNotice refused = {};
    TargetChoice choice = needs.target ? target_choose(&request_of(run), f, &original, &refused, &target) : target_none;
    SiteAspect current = choice == target_chosen ? changed_from(f, &original, target) : facts_shown(f);
    // -c changes the container's places alone: a file without any is refused.
    bool unplaced = request_of(run).container_only && needs.target_checked && !container_placed(video, f);
    if (f->placeless && !f->fieldless && !unplaced) notify(run->notices, notice_container_placeless);
    notify(run->notices, AspectNotice{name_of(f), current, false});
    if (unplaced) {
        notify(run->notices, notice_no_container_place);
        return exit_place_refused;
    }
    // Players that read a pasp and the video's own places alone show what
    // the video records; where it records nothing, square samples.
    if (needs.target && f->pixel_aspect_missing && !f->first.aspect_present) {
        notify(run->notices, notice_pixel_aspect_missing);
    }
    if (needs.target) {
        if (choice == target_refused) {
            notify(run->notices, refused);
            return exit_bad_option;
        }
        run->job.target_aspect = target.code;
        run->job.target_sar = target.sar;
        bool checked = needs.target_checked;
        // Without a default a run names no target; a listing shows the current one.
        if (choice != target_none || !checked) notify(run->notices, AspectNotice{name_of(f), target, true});
        if (choice != target_none) silent_first_tell(run, f, video, target);
        int stop = checked ? target_check(run, info, video, &original, choice) : -1;
        if (stop >= 0) return stop;
    }
    summary_tell(run, info, current.sar, target.sar);
    // A listing, which writes nothing, shows the size the aspect applies to.
    if (!needs.writes && info->video.display == 1) {
        notify(run->notices, DisplaySizeNotice{info->video.display_width, info->video.display_height});
    }
    return file_edit_report(run, video);
}
