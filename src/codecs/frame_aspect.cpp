#include "codecs/frame_aspect.h"

#include "codecs/payload.h"
#include "codecs/sar.h"

namespace {

constexpr uint32_t code_vprp = 0x70727076;  // "vprp", little-endian
constexpr uint32_t code_junk = 0x4B4E554A;  // "JUNK"
// The dwords after the head that a vprp must hold, and where the aspect
// and the frame's size lie.
constexpr uint32_t vprp_fields_bytes = 4 * 9;
constexpr uint32_t aspect_at = 8 + 4 * 5;
constexpr uint32_t frame_width_at = 8 + 4 * 6;
constexpr uint32_t frame_height_at = 8 + 4 * 7;

void le32_put(uint8_t* b, uint32_t value) {
    for (uint32_t k = 0; k < 4; ++k) b[k] = static_cast<uint8_t>(value >> (8 * k));
}

bool vprp_whole(const FrameAspectPlace* p) {
    return p->length >= 8 + vprp_fields_bytes && le32_at(p->bytes) == code_vprp &&
           le32_at(p->bytes + 4) >= vprp_fields_bytes;
}

// The frame the aspect is of: the vprp's, else the stream format's.
void frame_of(const FrameAspectPlace* p, uint64_t* width, uint64_t* height) {
    bool own = vprp_whole(p) && le32_at(p->bytes + frame_width_at) != 0 && le32_at(p->bytes + frame_height_at) != 0;
    *width = own ? le32_at(p->bytes + frame_width_at) : p->picture_width;
    *height = own ? le32_at(p->bytes + frame_height_at) : p->picture_height;
}

// The display aspect of the frame at the target, in 16 bits a term.
bool aspect_of(const FrameAspectPlace* p, SarRatio target, uint32_t* value) {
    uint64_t width = 0;
    uint64_t height = 0;
    frame_of(p, &width, &height);
    SarRatio aspect = sar_frame_aspect(width, height, target);
    if (aspect.width == 0) return false;
    if (aspect.width > 0xFFFF || aspect.height > 0xFFFF) return false;
    *value = aspect.width << 16 | aspect.height;
    return true;
}

// A vprp of one field, as the usual muxers write it, and the JUNK left of
// the room after it where there is any.
void vprp_put(const FrameAspectPlace* p, uint32_t aspect, uint32_t junk_left, uint8_t* out) {
    const uint32_t w = p->picture_width;
    const uint32_t h = p->picture_height;
    // Format and standard unknown, the refresh rate, the totals, the
    // aspect, the frame, one field: its compressed and valid sizes, no offsets.
    const uint32_t fields[] = {0, 0, p->refresh_rate, w, h, aspect, w, h, 1, h, w, h, w, 0, 0, 0, 0};
    le32_put(out, code_vprp);
    le32_put(out + 4, vprp_chunk_bytes - 8);
    for (uint32_t k = 0; k < sizeof fields / sizeof *fields; ++k) le32_put(out + 8 + 4 * k, fields[k]);
    if (junk_left == 0) return;
    le32_put(out + vprp_chunk_bytes, code_junk);
    le32_put(out + vprp_chunk_bytes + 4, junk_left - 8);
}

// The bytes of a JUNK chunk of the size, with its padding.
uint64_t junk_total(uint32_t size) {
    return 8 + uint64_t{size} + (size & 1);
}

AspectEdit room_edit(const FrameAspectPlace* p, uint32_t aspect, ByteChange* changes, uint32_t* count) {
    uint32_t size = le32_at(p->bytes + 4);
    uint64_t left = frame_aspect_room(size) ? junk_total(size) - vprp_chunk_bytes : 0;
    bool fits = frame_aspect_room(size) && p->length >= vprp_chunk_bytes + (left ? 8 : 0);
    if (!fits || p->picture_width == 0 || p->picture_height == 0) return aspect_edit_no_room;
    uint8_t out[frame_aspect_span] = {};
    vprp_put(p, aspect, static_cast<uint32_t>(left), out);
    uint32_t written = left == 0 ? vprp_chunk_bytes : frame_aspect_span;
    for (uint32_t k = 0; k < written; ++k) {
        if (out[k] != p->bytes[k]) changes[(*count)++] = {k, out[k]};
    }
    return aspect_edit_changed;
}

}  // namespace

bool frame_aspect_room(uint32_t junk_size) {
    uint64_t total = junk_total(junk_size);
    return total == vprp_chunk_bytes || total >= vprp_chunk_bytes + 8;
}

bool frame_aspect_values(const FrameAspectPlace* p, uint32_t* x, uint32_t* y) {
    if (!vprp_whole(p)) return false;
    uint32_t aspect = le32_at(p->bytes + aspect_at);
    *x = aspect >> 16;
    *y = aspect & 0xFFFF;
    return true;
}

bool frame_aspect_read(const FrameAspectPlace* p, SarRatio* sar) {
    *sar = {0, 0};
    uint32_t x = 0;
    uint32_t y = 0;
    if (!frame_aspect_values(p, &x, &y)) return p->length < 4 || le32_at(p->bytes) != code_vprp;
    uint64_t width = 0;
    uint64_t height = 0;
    frame_of(p, &width, &height);
    if (x != 0 && y != 0) *sar = sar_reduced(uint64_t{x} * height, uint64_t{y} * width);
    return x == 0 || y == 0 || sar->width != 0;
}

AspectEdit frame_aspect_edit(const FrameAspectPlace* p, SarRatio target, ByteChange* changes, uint32_t* count) {
    *count = 0;
    SarRatio now = {0, 0};
    if (!frame_aspect_read(p, &now)) return aspect_edit_unread;
    if (target.width == 0 || target.height == 0) return aspect_edit_no_code;
    uint32_t aspect = 0;
    if (!aspect_of(p, target, &aspect)) return aspect_edit_no_code;
    if (vprp_whole(p)) {
        if (sar_same(now, target) || le32_at(p->bytes + aspect_at) == aspect) return aspect_edit_same;
        for (uint32_t k = 0; k < 4; ++k) {
            uint8_t b = static_cast<uint8_t>(aspect >> (8 * k));
            if (p->bytes[aspect_at + k] != b) changes[(*count)++] = {aspect_at + k, b};
        }
        return aspect_edit_changed;
    }
    bool room = p->length >= 8 && le32_at(p->bytes) == code_junk;
    if (room) return room_edit(p, aspect, changes, count);
    return p->own_places ? aspect_edit_no_place : aspect_edit_no_room;
}

AspectSite site_frame_aspect_make(VideoCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height,
                                  uint32_t refresh_rate) {
    AspectSite site = site_pictured(site_frame_aspect, holder_avi_vprp, codec, bytes, pos, length, range,
                                    picture_width, picture_height);
    site.refresh_rate = refresh_rate;
    return site;
}

namespace {

// Without room, a video that records its aspect itself goes by its own.
FrameAspectPlace place_of(const AspectSite* site, const uint8_t* bytes) {
    return {bytes, site->length, site->picture_width, site->picture_height, site->refresh_rate,
            site->codec != codec_container};
}

bool frame_aspect_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    FrameAspectPlace place = place_of(site, bytes);
    bool read = frame_aspect_read(&place, &reading->aspect.sar);
    reading->aspect_present = reading->aspect.sar.width != 0;
    return read;
}

AspectEdit frame_aspect_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target,
                                  ByteChange* changes, uint32_t* count) {
    FrameAspectPlace place = place_of(site, bytes);
    return frame_aspect_edit(&place, target.sar, changes, count);
}

}  // namespace

bool site_frame_aspect_values(const AspectSite* site, uint32_t* x, uint32_t* y) {
    FrameAspectPlace place = place_of(site, site->bytes);
    return frame_aspect_values(&place, x, y);
}

const PlaceOps frame_aspect_places = {frame_aspect_site_read, frame_aspect_site_edit, site_field_whole};
