#include "edit/editor.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/dv_dif.h"
#include "console/messages.h"
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

bool in_container(const Editor* e) {
    return format_is_container(e->video->layout.kind);
}

// -c: the codec's own places stay as they are; only the container's take
// the target.
bool site_kept(const Editor* e, const AspectSite* site) {
    return e->job->request.container_only && in_container(e) && !site_of_container(site);
}

void progress_show(const Editor* e, const AspectSite* site, const char* list_line) {
    bool packets = e->video->layout.kind != stream_elementary;
    notify(e->notices, ProgressNotice{packets, site->pos[0], site->range->progress_pos, e->file->size,
                                      e->start_tick, list_line});
}

int32_t list_line_put(Editor* e, const AspectSite* site, const char* line) {
    progress_show(e, site, line);
    if (e->list_lost) return 0;
    return text_file_print(&e->list.text, fmt_line, line) == 0 ? 0 : result_list_write_error;
}

// AVI's vprp shows the aspect it holds and the sample aspect that gives
// the picture; without one, whether a JUNK gives room for it.
int32_t frame_aspect_list(Editor* e, const AspectSite* site, const SiteReading* reading) {
    char line[list_line_capacity] = {};
    const char* box = site_holder_name(site->holder, site->codec);
    long long pos = static_cast<long long>(site->pos[0]);
    uint32_t x = 0;
    uint32_t y = 0;
    SarRatio sar = reading->aspect.sar;
    if (site_frame_aspect_values(site, &x, &y)) {
        text_format(line, sizeof line, fmt_list_frame_aspect, pos, static_cast<unsigned long long>(pos), box, x, y,
                    sar.width, sar.height);
    } else {
        ByteChange changes[changes_most];
        uint32_t count = 0;
        bool room = site_edit(site, site->bytes, {0, {1, 1}}, changes, &count) == aspect_edit_changed;
        text_format(line, sizeof line, fmt_list_holder_text, pos, static_cast<unsigned long long>(pos), box,
                    room ? msg_list_vprp_room : msg_list_vprp_none);
    }
    return list_line_put(e, site, line);
}

// A container's display size shows itself and the sample aspect it gives
// the picture (one of 0x0 that it is no place); a pixel aspect its pair;
// Matroska's display elements their values, or only the square samples
// their absence gives.
int32_t box_site_list(Editor* e, const AspectSite* site, const SiteReading* reading) {
    char line[list_line_capacity] = {};
    const char* box = site_holder_name(site->holder, site->codec);
    SarRatio sar = reading->aspect.sar;
    long long pos = static_cast<long long>(site->pos[0]);
    uint64_t w = 0;
    uint64_t h = 0;
    bool elements = site->kind == site_display_elements && site_display_values(site, &w, &h);
    if (site->kind == site_frame_aspect) return frame_aspect_list(e, site, reading);
    if (site->kind == site_display_size && !reading->aspect_present) {
        text_format(line, sizeof line, fmt_list_no_place, pos, static_cast<unsigned long long>(pos), box,
                    msg_list_no_place);
    } else if (site->kind == site_frame_header && !reading->aspect_present) {
        text_format(line, sizeof line, fmt_list_holder_text, pos, static_cast<unsigned long long>(pos), box,
                    msg_list_no_aspect);
    } else if (elements) {
        text_format(line, sizeof line, fmt_list_display_size, pos, static_cast<unsigned long long>(pos), box,
                    static_cast<unsigned>(w), static_cast<unsigned>(h), sar.width, sar.height);
    } else if (site->kind != site_display_size) {
        text_format(line, sizeof line, fmt_list_pixel_aspect, pos, static_cast<unsigned long long>(pos), box,
                    sar.width, sar.height);
    } else {
        text_format(line, sizeof line, fmt_list_display_size, pos, static_cast<unsigned long long>(pos), box,
                    be32_at(site->bytes) >> 16, be32_at(site->bytes + 4) >> 16, sar.width, sar.height);
    }
    return list_line_put(e, site, line);
}

// Appends to the line what it can: the line is cut where it is full.
void line_append(char* line, size_t capacity, const char* format, ...) {
    size_t used = std::strlen(line);
    if (used + 1 >= capacity) return;
    va_list args;
    va_start(args, format);
    text_vformat(line + used, capacity - used, format, args);
    va_end(args);
}

// A DV pack shows its DISP bits, the shape they name and its frame, and
// the frame's picture where it is another video's; a copy of one in a
// container, the box that holds it.
int32_t dv_site_list(Editor* e, const AspectSite* site, const SiteReading* reading, bool other) {
    static const char* const shapes[] = {"other", "other", "4:3", "16:9"};
    char line[list_line_capacity] = {};
    long long pos = static_cast<long long>(site->pos[0]);
    text_format(line, sizeof line, fmt_list_dv_entry, pos, static_cast<unsigned long long>(pos),
                static_cast<unsigned>(site->bytes[1] & dv_disp_mask), shapes[reading->aspect.code & 3],
                static_cast<long long>(site->frame));
    if (other) line_append(line, sizeof line, fmt_list_other_size, reading->width, reading->height);
    const char* box = site_holder_name(site->holder, site->codec);
    if (box != nullptr) line_append(line, sizeof line, fmt_list_holder, box);
    return list_line_put(e, site, line);
}

// A sequence header shows its bytes 4 to 7, and "*" where the bytes before
// its byte 7 lay in the chunk or packet before; a parameter set its sample
// aspect, "*" where its bytes lie across packets, its own id and size
// where they are not the reference's, and the box that holds it where that
// is a container's.
int32_t site_list(Editor* e, const AspectSite* site, const SiteReading* reading, bool other) {
    char line[list_line_capacity] = {};
    if (site_of_container(site) || site->kind == site_frame_header) return box_site_list(e, site, reading);
    if (site->kind == site_dv_control) return dv_site_list(e, site, reading, other);
    if (site->kind == site_sequence_header) {
        format_list_line(line, static_cast<uint64_t>(site->pos[0]), site->list_record);
        return list_line_put(e, site, line);
    }
    // A set read again through a second copy is listed once.
    if (site->again_from >= 0) return 0;
    SarRatio sar = reading->aspect.sar;
    text_format(line, sizeof line, fmt_list_sps_entry, static_cast<long long>(site->pos[0]),
                static_cast<unsigned long long>(site->pos[0]), sar.width, sar.height, site->split ? "*" : "-");
    if (other && site->kind == site_parameter_set) {
        line_append(line, sizeof line, fmt_list_sps_other, reading->id, reading->width, reading->height);
    } else if (other) {
        line_append(line, sizeof line, fmt_list_other_size, reading->width, reading->height);
    }
    const char* box = site_holder_name(site->holder, site->codec);
    if (box != nullptr) line_append(line, sizeof line, fmt_list_holder, box);
    if (!reading->aspect_present && in_container(e)) line_append(line, sizeof line, fmt_list_holder, msg_list_no_aspect);
    return list_line_put(e, site, line);
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
    e->outcome.refusal = {true, site->kind, site->holder, site->codec, site->pos[0], why};
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
    places.kinds[places.count++] = {site->kind, site->holder, site->codec, reading->aspect_present, reading->aspect};
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
    result = place_add(&e->changes, &p);
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
        if (other) return 0;
        progress_show(e, site, nullptr);
        result = checksums_close(e, site->pos[0]);
        return result != 0 ? result : site_restore(e, site);
    }
    return 0;
}

int32_t payload_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                     uint32_t count) {
    Editor* e = editor_of(context);
    return site_scan(&e->scanner, buffer, buffer_pos, ranges, count, site_take, e);
}

int32_t list_open(Editor* e) {
    std::string name = side_path(e->job->path.c_str(), list_extension);
    ListCreate made = list_file_create(&e->list, name.c_str(), e->file);
    if (made == list_is_video) return result_side_file_error;
    // A read-only disc, or a file of the user's under the name: the listing
    // still goes to the console.
    e->list_lost = made != list_created;
    e->list_not_ours = made == list_not_ours;
    if (!e->list_lost && list_write_header(&e->list, e->job->path.c_str()) != 0) return result_list_write_error;
    return 0;
}

int32_t side_files_open(Editor* e) {
    if (e->mode == edit_list) return list_open(e);
    // A check reads the record too: a checksum to finish needs what it held.
    if (e->mode == edit_rewrite || e->mode == edit_restore || e->mode == edit_check) return marker_take_up(e);
    return 0;
}

int32_t editor_walk(Editor* e) {
    site_scanner_init(&e->scanner, e->video->layout.codec, e->video->header);
    walk_init(&e->walk, e->file, e->block.bytes, e->video->layout, e->video->video_pid, job_resyncs(e->job),
              WalkSink{payload_feed, e, site_take, checksum_open});
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
    PlaceNotice place = {site->kind, site->holder, site->codec, site->pos[0], {}, {}, left};
    site_read(site, site->bytes, &place.before);
    site_read(site, after, &place.after);
    notify(e->notices, place);
}

int32_t place_put(Editor* e) {
    e->video_written = true;
    return place_write(e->file, &e->place);
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
    VideoCodec codec = e->video->layout.codec;
    // A container's fields and DV's packs change whole bytes too.
    e->marker.whole_bytes = codec_records_sar(codec) || codec == codec_dv || format_is_container(e->video->layout.kind);
    e->list.text = text_file_closed;
    if (e->mode == edit_rewrite) e->committer = os_worker_start();
    change_batches_init(&e->changes, &e->marker, e->file, e->committer);
    editor_finish(e.get(), editor_run(e.get()));
    if (e->committer != nullptr) os_worker_stop(e->committer);
    return e->outcome;
}
