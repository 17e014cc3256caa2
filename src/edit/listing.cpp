// The editor's listing: one line for each place a walk takes, on the
// console and in the list file, and the list file opened for it.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "codecs/display_elements.h"
#include "codecs/dv_dif.h"
#include "codecs/dvd_attributes.h"
#include "codecs/frame_aspect.h"
#include "console/messages.h"
#include "edit/editor_state.h"
#include "edit/marker_name.h"

void progress_show(Editor* e, const AspectSite* site, const char* list_line) {
    // DV has a place every few hundred bytes: its progress moves a frame at
    // a time.
    if (site->kind == site_dv_control && list_line == nullptr) {
        if (site->frame < e->progress_frame) return;
        e->progress_frame = site->frame + 1;
    }
    bool packets = e->video->layout.kind != stream_elementary;
    notify(e->notices, ProgressNotice{packets, site->pos[0], site->range->progress_pos, e->file->size,
                                      e->start_tick, list_line});
}

namespace {

int32_t list_file_put(Editor* e, const char* line) {
    if (e->list_lost) return 0;
    return text_file_print(&e->list.text, fmt_line, line) == 0 ? 0 : result_list_write_error;
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

// A place inside a disc image is named by the file that holds it there.
int32_t list_line_put(Editor* e, const AspectSite* site, const char* line) {
    char named[list_line_capacity] = {};
    if (e->walk.part != nullptr) {
        line_append(named, sizeof named, "%s", line);
        line_append(named, sizeof named, fmt_list_holder, e->walk.part);
        line = named;
    }
    pack_run_tell(e);
    progress_show(e, site, line);
    return list_file_put(e, line);
}

const char* const dv_shapes[] = {"other", "other", "4:3", "16:9"};

// The pack joins the open run where it agrees with it and lies in the
// same frame or the next; otherwise the run is told and it opens one.
void pack_run_take(Editor* e, const AspectSite* site, const SiteReading* reading, bool other, const char* line) {
    PackRun& run = e->pack_run;
    uint8_t disp = site->bytes[1] & dv_disp_mask;
    bool next = site->frame == run.last_frame || site->frame == run.last_frame + 1;
    bool agrees = run.disp == disp && run.other == other && run.holder == site->holder &&
                  (!other || (run.width == reading->width && run.height == reading->height));
    if (run.packs == 0 || !next || !agrees) {
        pack_run_tell(e);
        run = PackRun{0,     site->frame,    site->frame,     disp, static_cast<uint8_t>(reading->aspect.code & 3),
                      other, site->holder, reading->width, reading->height, {}};
        std::snprintf(run.first_line, sizeof run.first_line, "%s", line);
    }
    ++run.packs;
    run.last_frame = site->frame;
}

// A container's field that is not there: whether a change would write one
// into room.
bool room_found(const AspectSite* site) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    return site_edit(site, site->bytes, {0, {1, 1}}, changes, &count) == aspect_edit_changed;
}

// AVI's vprp shows the aspect it holds and the sample aspect that gives
// the picture; without one, whether a JUNK gives room for it.
int32_t frame_aspect_list(Editor* e, const AspectSite* site, const SiteReading* reading) {
    char line[list_line_capacity] = {};
    const char* box = site_holder_name(site->holder);
    long long pos = static_cast<long long>(site->pos[0]);
    uint32_t x = 0;
    uint32_t y = 0;
    SarRatio sar = reading->aspect.sar;
    if (site_frame_aspect_values(site, &x, &y)) {
        text_format(line, sizeof line, fmt_list_frame_aspect, pos, static_cast<unsigned long long>(pos), box, x, y,
                    sar.width, sar.height);
    } else {
        text_format(line, sizeof line, fmt_list_holder_text, pos, static_cast<unsigned long long>(pos), box,
                    room_found(site) ? msg_list_vprp_room : msg_list_no_room);
    }
    return list_line_put(e, site, line);
}

// A container's display size shows itself and the sample aspect it gives
// the picture (one of 0x0 that it is no place); a pixel aspect its pair,
// or without one whether room takes it;
// Matroska's display elements their values, or only the square samples
// their absence gives.
int32_t box_site_list(Editor* e, const AspectSite* site, const SiteReading* reading) {
    char line[list_line_capacity] = {};
    const char* box = site_holder_name(site->holder);
    SarRatio sar = reading->aspect.sar;
    long long pos = static_cast<long long>(site->pos[0]);
    uint64_t w = 0;
    uint64_t h = 0;
    bool elements = site->kind == site_display_elements && site_display_values(site, &w, &h);
    if (site->kind == site_frame_aspect) return frame_aspect_list(e, site, reading);
    if (site->kind == site_display_size && !reading->aspect_present) {
        text_format(line, sizeof line, fmt_list_no_place, pos, static_cast<unsigned long long>(pos), box,
                    msg_list_no_place);
    } else if ((site->kind == site_pixel_aspect || site->kind == site_asf_aspect) && !reading->aspect_present) {
        const char* room = site->kind == site_pixel_aspect ? msg_list_pasp_room : msg_list_asf_room;
        text_format(line, sizeof line, fmt_list_holder_text, pos, static_cast<unsigned long long>(pos), box,
                    room_found(site) ? room : msg_list_no_room);
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

// A DV pack shows its DISP bits, the shape they name and its frame, and
// the frame's picture where it is another video's; a copy of one in a
// container, the box that holds it.
int32_t dv_site_list(Editor* e, const AspectSite* site, const SiteReading* reading, bool other) {
    char line[list_line_capacity] = {};
    long long pos = static_cast<long long>(site->pos[0]);
    text_format(line, sizeof line, fmt_list_dv_entry, pos, static_cast<unsigned long long>(pos),
                static_cast<unsigned>(site->bytes[1] & dv_disp_mask), dv_shapes[reading->aspect.code & 3],
                static_cast<long long>(site->frame));
    if (other) line_append(line, sizeof line, fmt_list_other_size, reading->width, reading->height);
    const char* box = site_holder_name(site->holder);
    if (box != nullptr) line_append(line, sizeof line, fmt_list_holder, box);
    pack_run_take(e, site, reading, other, line);
    progress_show(e, site, nullptr);
    return list_file_put(e, line);
}

}  // namespace

void pack_run_tell(Editor* e) {
    PackRun& run = e->pack_run;
    if (run.packs == 0) return;
    PackRunNotice told = {run.first_frame, run.last_frame, run.packs, dv_shapes[run.shape], run.other,
                          run.width, run.height, site_holder_name(run.holder),
                          run.packs == 1 ? run.first_line : nullptr};
    notify(e->notices, told);
    run.packs = 0;
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
    if (site->kind == site_dvd_attributes) {
        static const char* const shapes[] = {"?", "?", "4:3", "16:9"};
        text_format(line, sizeof line, fmt_list_dvd_attributes, static_cast<long long>(site->pos[0]),
                    static_cast<unsigned long long>(site->pos[0]), site->bytes[0], shapes[reading->aspect.code & 3]);
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
    const char* box = site_holder_name(site->holder);
    if (box != nullptr) line_append(line, sizeof line, fmt_list_holder, box);
    if (!reading->aspect_present && in_container(e)) line_append(line, sizeof line, fmt_list_holder, msg_list_no_aspect);
    return list_line_put(e, site, line);
}

int32_t list_open(Editor* e) {
    std::string name = list_path(e->job->path.c_str());
    ListCreate made = list_file_create(&e->list, name.c_str(), e->file);
    if (made == list_is_video) return result_side_file_error;
    // A read-only disc, or a file of the user's under the name: the listing
    // still goes to the console.
    e->list_lost = made != list_created;
    e->list_not_ours = made == list_not_ours;
    if (!e->list_lost && list_write_header(&e->list, e->job->path.c_str()) != 0) return result_list_write_error;
    return 0;
}
