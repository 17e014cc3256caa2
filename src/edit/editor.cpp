#include "edit/editor.h"

#include <cstring>
#include <memory>
#include <new>

#include "edit/editor_state.h"
#include "notices/walk_notices.h"

namespace {

// By request mode: convert, list, undo. An undo puts back what the marker
// file records, whatever -o says; a listing writes nothing, and shows the
// target without asking what the video was before.
constexpr ModeNeeds needs_of_mode[] = {
    // walk        target original checked marker writes
    {edit_rewrite, true,  true,    true,   false, true},
    {edit_list,    true,  false,   false,  false, false},
    {edit_restore, false, false,   false,  true,  true},
};

Editor* editor_of(void* context) {
    return static_cast<Editor*>(context);
}

// -c: the codec's own places stay as they are; only the container's take
// the target.
bool site_kept(const Editor* e, const AspectSite* site) {
    return e->job->request.container_only && in_container(e) && !site_of_container(site);
}

// What the target makes of the site. In a container, a parameter set
// without aspect information is no place: the container's places take
// the target, and players that read the set alone show square samples.
AspectEdit site_edit_to_target(const Editor* e, const AspectSite* site, ByteChange* changes, uint32_t* count) {
    AspectEdit edit = site_edit(site, site->bytes, e->target, changes, count);
    return edit == aspect_edit_no_field && in_container(e) ? aspect_edit_no_place : edit;
}

bool site_changes(const Editor* e, const AspectSite* site) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    return !site->across_repeat && site_edit_to_target(e, site, changes, &count) == aspect_edit_changed;
}

// A listing notes whether the site still needs the last target its marker
// file records: where none does, the marker's runs are done, and the time
// it records goes back.
void site_done_note(Editor* e, const AspectSite* site) {
    if (!e->done_check || e->pending || site->across_repeat || site_kept(e, site)) return;
    ByteChange changes[changes_most];
    uint32_t count = 0;
    e->pending = site_edit(site, site->bytes, e->marker.head.targets.back(), changes, &count) == aspect_edit_changed;
}

// The site's bytes for the checksums they lie under: each as the tool
// first found it, as it is, and as the changes leave it.
void site_checksum_note(Editor* e, const AspectSite* site, const ByteChange* changes, uint32_t count) {
    uint32_t indices[changes_most];
    uint32_t fields = site_field(site, indices);
    for (uint32_t k = 0; k < fields; ++k) {
        uint32_t at = indices[k];
        uint8_t now = site->bytes[at];
        uint8_t original = now;
        uint8_t after = now;
        if (e->marker_open) marker_lookup(&e->marker, site->pos[at], &original);
        for (uint32_t c = 0; c < count; ++c) {
            if (changes[c].index == at) after = changes[c].value;
        }
        checksum_note(e, site->pos[at], original, now, after);
    }
}

int32_t site_refuse(Editor* e, const AspectSite* site, AspectEdit why) {
    e->outcome.refusal = {true, site->kind, site->holder, site->pos[0], why};
    return result_found;
}

// Notes whether a site needs the change, and stops at the first site that
// cannot take it in place.
int32_t site_check(Editor* e, const AspectSite* site) {
    if (site->across_repeat) return site_refuse(e, site, aspect_edit_escaping);
    ByteChange changes[changes_most];
    uint32_t count = 0;
    AspectEdit edit = site_edit_to_target(e, site, changes, &count);
    if (e->checksum_count > 0) site_checksum_note(e, site, changes, edit == aspect_edit_changed ? count : 0);
    if (edit == aspect_edit_changed) e->outcome.change_needed = true;
    bool takes = edit == aspect_edit_changed || edit == aspect_edit_same || edit == aspect_edit_no_place;
    return takes ? 0 : site_refuse(e, site, edit);
}

// The first place of each kind a check meets, with what it holds.
void place_note(Editor* e, const AspectSite* site, const SiteReading* reading) {
    PlaceAspects& places = e->outcome.places;
    for (uint32_t k = 0; k < places.count; ++k) {
        if (places.kinds[k].site == site->kind && places.kinds[k].holder == site->holder) return;
    }
    if (places.count == place_kinds_most) return;
    places.kinds[places.count++] = {site->kind, site->holder, reading->aspect_present, reading->aspect};
}

// Why a site was left as it was, for a report that asks.
PlaceLeft left_of(AspectEdit edit) {
    switch (edit) {
    case aspect_edit_no_field: return left_no_field;
    case aspect_edit_no_code: return left_no_code;
    case aspect_edit_escaping: return left_escaping;
    case aspect_edit_unread: return left_unread;
    case aspect_edit_no_room: return left_no_room;
    case aspect_edit_no_place: return left_no_place;
    default: return left_none;
    }
}

// The changed bytes go through the marker file's record and the journal
// as one place; a site that cannot take the target in place is counted.
int32_t site_rewrite(Editor* e, const AspectSite* site) {
    if (site->across_repeat) {
        ++e->tally.across_repeat;
        place_tell(e, site, site->bytes, left_across_repeat);
        return 0;
    }
    ByteChange changes[changes_most];
    uint32_t count = 0;
    AspectEdit edit = site_edit_to_target(e, site, changes, &count);
    if (e->checksum_count > 0) site_checksum_note(e, site, changes, edit == aspect_edit_changed ? count : 0);
    if (edit != aspect_edit_changed) {
        tally_count(&e->tally, edit);
        place_tell(e, site, site->bytes, left_of(edit));
        return 0;
    }
    int32_t result = marker_ready(e);
    if (result != 0) return result;
    uint8_t after[sps_bytes_most];
    changes_apply(site->bytes, site->length, changes, count, after);
    site_place(e, site, after);
    PlaceEdit& p = e->place;
    uint8_t original = 0;
    for (uint32_t k = 0; k < p.count; ++k) {
        if (p.found[k] != p.value[k]) p.listed[k] = marker_listed(&e->marker, p.pos[k], &original);
    }
    result = place_add(&e->changes, &p, &e->fed);
    if (result == 0) place_tell(e, site, after, left_none);
    return result;
}

// The handler of every site: the one switch over what the run does with it.
// A header of another video than the reference's is listed with its own
// key, counted by a rewrite, and otherwise passed over.
int32_t site_take(void* context, const AspectSite* site) {
    Editor* e = editor_of(context);
    // Nothing is decided on bytes seen through a view of the file until
    // they are known to be the file's (it may have been cut shorter).
    int32_t fault = reader_view_check(&e->walk.reader);
    if (fault != 0) return fault;
    SiteReading reading;
    // A place that does not read is passed over, but a check refuses it:
    // it could not take the target with the others.
    if (!site_read(site, site->bytes, &reading)) return e->mode == edit_check ? site_refuse(e, site, aspect_edit_unread) : 0;
    bool other = site_other_video(&e->video->reference, &reading);
    int32_t result = 0;
    switch (e->mode) {
    case edit_list:
        result = site_list(e, site, &reading, other);
        if (!other) site_done_note(e, site);
        if (result == 0) place_tell(e, site, site->bytes, left_none);
        return result;
    case edit_change_search:
        return !other && site_changes(e, site) ? result_found : 0;
    case edit_check:
        if (other) return 0;
        place_note(e, site, &reading);
        result = checksums_close(e, site->pos[0]);
        return result != 0 || site_kept(e, site) ? result : site_check(e, site);
    case edit_rewrite:
        if (other && site->again_from < 0) {
            tally_other(&e->tally, site, &reading);
            place_tell(e, site, site->bytes, left_other_video);
        }
        if (other) return 0;
        progress_show(e, site, nullptr);
        if (site_kept(e, site)) {
            place_tell(e, site, site->bytes, left_container_only);
            return 0;
        }
        result = checksums_close(e, site->pos[0]);
        return result != 0 ? result : site_rewrite(e, site);
    case edit_restore:
    case edit_held:
        if (other) return 0;
        if (e->mode == edit_restore) progress_show(e, site, nullptr);
        result = checksums_close(e, site->pos[0]);
        return result != 0 ? result : site_restore(e, site);
    }
    return 0;
}

int32_t payload_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                     uint32_t count) {
    Editor* e = editor_of(context);
    // The buffer's bytes may join a place to the write before it while the
    // scan finds sites in it; a view's pages may be the file's no more.
    uint32_t end = count > 0 ? ranges[count - 1].end : 0;
    e->fed = e->walk.reader.viewing ? ReadWindow{} : ReadWindow{buffer, buffer_pos, end};
    int32_t result = site_scan(&e->scanner, buffer, buffer_pos, ranges, count, site_take, e);
    e->fed = ReadWindow{};
    return result;
}

int32_t side_files_open(Editor* e) {
    int32_t result = e->mode == edit_list ? list_open(e) : 0;
    // A check reads the record too: a checksum to finish needs what it held.
    return result == 0 ? marker_take_up(e) : result;
}

int32_t editor_walk(Editor* e) {
    site_scanner_init(&e->scanner, e->video->layout.codec, e->video->header);
    // Whether the marker's positions hold is looked at as an undo would.
    bool resync = job_resyncs(e->job) || e->mode == edit_held;
    walk_init(&e->walk, e->file, e->block.bytes, e->video->layout, e->video->video_pid, resync,
              WalkSink{payload_feed, e, site_take, checksum_open, site_scan_search(&e->scanner)});
    e->start_tick = os_tick_ms();
    e->walked = true;
    int32_t result = walk_run(&e->walk);
    if (result == 0) result = site_scan_finish(&e->scanner, site_take, e);
    if (result == 0) result = checksums_close(e, INT64_MAX);
    return result;
}

int32_t editor_run(Editor* e) {
    if (!file_buffer_make(&e->block, reader_buffer_size)) return result_data_buffer_error;
    int32_t result = side_files_open(e);
    return result != 0 ? result : editor_walk(e);
}

}  // namespace

ModeNeeds mode_needs(RequestMode mode) {
    return needs_of_mode[mode];
}

bool job_resyncs(const ConvertJob* job) {
    return job->request.resync || job->request.mode == mode_undo;
}

void site_place(Editor* e, const AspectSite* site, const uint8_t* value) {
    uint32_t from = 0;
    while (from < site->length && site->pos[from] < site->again_from) ++from;
    place_fill(&e->place, site->pos + from, site->bytes + from, value + from, site->length - from);
}

void place_tell(const Editor* e, const AspectSite* site, const uint8_t* after, PlaceLeft left) {
    // A set read again through a second copy was told with the first.
    if (!e->job->request.detailed || site->again_from >= 0) return;
    PlaceNotice place = {site->kind, site->holder, site->pos[0], {}, {}, left, e->walk.part};
    site_read(site, site->bytes, &place.before);
    site_read(site, after, &place.after);
    notify(e->notices, place);
}

int32_t place_put(Editor* e) {
    if (e->mode == edit_held) return 0;
    return place_add(&e->changes, &e->place, &e->fed);
}

EditOutcome aspect_rewrite(const EditRequest* request) {
    EditOutcome failed = {};
    failed.run = {ending_failed, result_data_buffer_error, false, false};
    std::unique_ptr<Editor> e(new (std::nothrow) Editor{});
    if (!e) return failed;
    e->job = request->job;
    e->mode = request->mode;
    e->file = request->file;
    e->video = request->video;
    e->notices = request->notices;
    // A sequence header takes four bits of the code; a DVD's byte its 2 or 3.
    e->target = {request->job->target_aspect, request->job->target_sar};
    marker_init(&e->marker);
    // A container's fields change whole bytes, whatever the codec's own do.
    e->marker.whole_bytes = e->video->row->whole_bytes || format_is_container(e->video->layout.kind);
    e->list.text = text_file_closed;
    bool writes = e->mode == edit_rewrite || e->mode == edit_restore;
    if (writes) e->committer = os_worker_start();
    change_batches_init(&e->changes, e->mode == edit_restore ? nullptr : &e->marker, e->file, e->committer);
    editor_finish(e.get(), editor_run(e.get()));
    if (e->committer != nullptr) os_worker_stop(e->committer);
    return e->outcome;
}
