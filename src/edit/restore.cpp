// The marker file of one walk, and the way back through it: taken up before
// the walk, begun at the first change, read back by an undo, which puts
// back only what the tool wrote.
#include <cstring>

#include "edit/editor_state.h"
#include "edit/marker_name.h"
#include "formats/dvd_ifo.h"
#include "formats/format.h"
#include "notices/walk_notices.h"

namespace {

bool dvd_ifo(const Editor* e) {
    return e->video->layout.kind == stream_dvd_ifo;
}

// A file a disc's folder names as its part (a DVD's IFO, a Blu-ray clip's
// information) shares its stem with a stream beside it (00001.clpi and
// 00001.m2ts): its marker is named after its whole name.
bool disc_part(const VideoLayout* video) {
    const Format* format = format_of(video->layout.kind);
    return format != nullptr && format->named_only;
}

// So is a disc image, whose files bear every name (x.iso beside x.mpg).
std::string marker_name_of(const ConvertJob* job, const VideoLayout* video) {
    return marker_path(job->path.c_str(), disc_part(video) || video->layout.kind == stream_dvd_image);
}

// A marker file's first line holds a sequence header's frame rate; one of
// another kind is judged by its name and size alone.
uint8_t reference_byte(const VideoLayout* video, const MarkerRec* marker) {
    return video->row->own == site_sequence_header ? video->first_byte : marker->head.first_byte;
}

// Says which video the marker file was made for, when not this one.
void marker_foreign_notify(const Editor* e, MarkerFit fit) {
    const MarkerOwner& owner = e->marker.head.owner;
    notify(e->notices, notice_break);
    if (fit == marker_other_rate) {
        notify(e->notices, notice_marker_other_rate);
    } else if (fit == marker_other_name) {
        notify(e->notices, MarkerOtherNameNotice{owner.size, owner.name});
    } else {
        notify(e->notices, MarkerOtherSizeNotice{owner.size});
    }
}

MarkerFit marker_fit_of(const Editor* e) {
    return marker_fit(&e->marker, e->file, e->job->path.c_str(), reference_byte(e->video, &e->marker));
}

// Whether the marker file is taken for the video: one made for it as it
// is, or for it before it grew (a recording that went on) where the run
// found every listed position holding what the marker's runs wrote. An
// undo, and the walk that looks whether they hold, take a file of another
// size too: each listed position is checked where it stands.
bool marker_taken(const Editor* e, MarkerFit fit) {
    if (fit == marker_fits) return true;
    if (e->mode == edit_restore || e->mode == edit_held) return fit == marker_other_size || fit == marker_grown;
    return fit == marker_grown && e->job->marker_grown;
}

// A marker file made for another video must neither grow with this one's
// positions nor be undone into it. One whose last lines a power cut tore
// is taken as far as its whole lines go.
int32_t marker_load_fitting(Editor* e) {
    int32_t result = marker_load(&e->marker, e->marker_name.c_str(), e->file);
    if (result != 0) return result;
    e->marker_open = true;
    MarkerFit fit = marker_fit_of(e);
    if (!marker_taken(e, fit)) {
        if (!disc_part(e->video)) marker_foreign_notify(e, fit);
        return result_marker_foreign;
    }
    e->marker.grown = fit == marker_grown;
    // A run that finishes one cut short puts back the time before it
    // began, and a check that finds nothing to do may; one that goes on
    // with a video that grew keeps the time the video has now.
    const MarkerOwner& owner = e->marker.head.owner;
    bool own_time = e->mode == edit_rewrite || e->mode == edit_check;
    e->outcome.time_known = own_time && !e->marker.grown && owner.time_known;
    e->outcome.written = owner.written;
    if (e->mode == edit_rewrite) {
        result = marker_mend(&e->marker, e->video->first_byte, e->video->shown, e->file, e->job->path.c_str());
        if (result != 0) e->outcome.time_known = false;
        return result;
    }
    uint8_t original = 0;
    // An IFO's marker file lists its attributes byte and no other.
    bool listed = !dvd_ifo(e) || marker_lookup(&e->marker, ifo_title_video_attributes, &original);
    return e->marker.head.first_known && listed ? 0 : result_marker_unreadable;
}

// Whether the site's original is the reference's video: a header of
// another video was never the tool's to change.
bool key_fits(const Editor* e, const SiteReading* before) {
    return !site_other_video(&e->video->reference, before);
}

// The site's bytes that a change from `original` to the target gives:
// false where it makes none.
bool site_edited(const AspectSite* site, const uint8_t* original, SiteAspect target, uint8_t* edited) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    if (site_edit(site, original, target, changes, &count) != aspect_edit_changed) return false;
    changes_apply(original, site->length, changes, count, edited);
    return true;
}

// How markers of earlier builds, which name no target, are judged: the
// site holds what the tool writes into `original`, its key the reference's
// and, redone from the original, the change to the aspect the site shows
// now gives its bytes.
bool written_by_tool(const Editor* e, const AspectSite* site, const uint8_t* original) {
    SiteReading before;
    SiteReading now;
    if (!site_read(site, original, &before) || !site_read(site, site->bytes, &now)) return false;
    uint8_t edited[sps_bytes_most];
    if (!key_fits(e, &before) || !site_edited(site, original, now.aspect, edited)) return false;
    return std::memcmp(edited, site->bytes, site->length) == 0;
}

// Whether each listed byte of the site holds what it held first or what a
// run of the marker's wrote there: the byte a change from the original to
// one of its targets gives it. A place cut inside its write holds some of
// each; a place that holds a byte of another run's is no longer the
// marker's to put back.
bool holds_runs_bytes(const Editor* e, const AspectSite* site, const uint8_t* original, const uint32_t* indices,
                      const bool* listed, uint32_t count) {
    SiteReading before;
    if (!site_read(site, original, &before) || !key_fits(e, &before)) return false;
    bool taken[changes_most];
    for (uint32_t k = 0; k < count; ++k) taken[k] = !listed[k] || site->bytes[indices[k]] == original[indices[k]];
    uint8_t edited[sps_bytes_most];
    for (const SiteAspect& target : e->marker.head.targets) {
        if (!site_edited(site, original, target, edited)) continue;
        for (uint32_t k = 0; k < count; ++k) taken[k] = taken[k] || site->bytes[indices[k]] == edited[indices[k]];
    }
    for (uint32_t k = 0; k < count; ++k) {
        if (!taken[k]) return false;
    }
    return true;
}

// A listing and a search read a marker file made for the video as it is
// for the time it records alone, and pass over any other: they neither
// record nor refuse. A search gives the time to a run that finds nothing
// to do; a listing, only where every site holds the last target the
// marker records.
int32_t marker_look(Editor* e) {
    if (marker_load(&e->marker, e->marker_name.c_str(), e->file) != 0) return 0;
    const MarkerHead& head = e->marker.head;
    if (!head.first_known || !head.owner.time_known || marker_fit_of(e) != marker_fits) return 0;
    e->outcome.time_known = e->mode == edit_change_search;
    e->outcome.written = head.owner.written;
    e->done_check = e->mode == edit_list && !head.targets.empty();
    return 0;
}

// Whether every position the marker file lists holds what its runs wrote
// (or what it held first): a walk of the video that puts nothing back.
bool marker_held(const ConvertJob* job, FileHandleRec* file, const VideoLayout* video) {
    EditRequest request = {job, edit_held, file, video, notice_sink_quiet()};
    return aspect_rewrite(&request).held;
}

}  // namespace

int32_t marker_take_up(Editor* e) {
    e->marker_name = marker_name_of(e->job, e->video);
    bool found = file_exists(e->marker_name.c_str()) == 0;
    if (!found) return e->mode == edit_restore ? result_marker_missing : 0;
    return e->mode == edit_list || e->mode == edit_change_search ? marker_look(e) : marker_load_fitting(e);
}

int32_t marker_ready(Editor* e) {
    if (!e->marker_open) {
        e->marker_open = true;
        int32_t result =
            marker_create(&e->marker, e->marker_name.c_str(), e->video->first_byte, e->video->shown, e->file,
                           e->job->path.c_str());
        if (result != 0) return result;
    }
    return marker_target_note(&e->marker, e->target, e->file);
}

// The listed bytes of the site go back, in one write, only where the
// whole place holds what the marker's runs made of them; a site that holds
// anything else keeps it, and is reported.
int32_t site_restore(Editor* e, const AspectSite* site) {
    uint32_t indices[changes_most];
    uint32_t count = site_field(site, indices);
    uint8_t original[sps_bytes_most];
    std::memcpy(original, site->bytes, site->length);
    bool listed[changes_most] = {};
    for (uint32_t k = 0; k < count; ++k) {
        // Bytes before again_from were put back with the first copy.
        int64_t pos = site->pos[indices[k]];
        listed[k] = pos >= site->again_from && marker_listed(&e->marker, pos, &original[indices[k]]);
    }
    if (std::memcmp(original, site->bytes, site->length) == 0) {
        place_tell(e, site, site->bytes, left_none);
        return 0;
    }
    bool ours = holds_runs_bytes(e, site, original, indices, listed, count) ||
                (e->marker.head.untargeted && written_by_tool(e, site, original));
    place_tell(e, site, ours ? original : site->bytes, ours ? left_none : left_altered);
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t at = indices[k];
        if (!listed[k]) continue;
        checksum_note(e, site->pos[at], original[at], site->bytes[at], ours ? original[at] : site->bytes[at]);
        if (!ours) marker_altered(&e->marker, site->pos[at]);
    }
    if (!ours) return 0;
    site_place(e, site, original);
    return place_put(e);
}

AspectOriginal aspect_original(const ConvertJob* job, FileHandleRec* file, const VideoLayout* video) {
    AspectOriginal original = {};
    std::string name = marker_name_of(job, video);
    MarkerRec marker;
    marker_init(&marker);
    bool loaded = file_exists(name.c_str()) == 0 && marker_load(&marker, name.c_str(), file) == 0 &&
                  marker.head.first_known;
    MarkerFit fit = marker_other_name;
    if (loaded) fit = marker_fit(&marker, file, job->path.c_str(), reference_byte(video, &marker));
    // A recording that went on since is the same video where what the
    // marker's runs wrote is all still there.
    original.grown = fit == marker_grown && marker_held(job, file, video);
    if (fit == marker_fits || original.grown) {
        original.known = true;
        original.shown = marker.head.shown;
        // The first header as it was: its bytes as the file holds them,
        // with those the marker file lists put back.
        std::vector<uint8_t> bytes = video->first_bytes;
        for (size_t k = 0; k < bytes.size(); ++k) marker_lookup(&marker, video->first_pos[k], &bytes[k]);
        SiteReading first;
        if (!bytes.empty() && site_read(&video->first_site, bytes.data(), &first)) original.first = first.aspect;
    }
    marker_release(&marker);
    return original;
}
