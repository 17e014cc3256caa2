#include "codecs/pixel_aspect.h"

#include <cstring>

#include "codecs/payload.h"
#include "codecs/sar.h"

namespace {

// Box types as their four characters read big-endian.
constexpr uint32_t type_pasp = 0x70617370;
constexpr uint32_t type_free = 0x66726565;
constexpr uint32_t type_skip = 0x736B6970;

void be32_put(uint8_t* b, uint32_t value) {
    for (uint32_t k = 0; k < 4; ++k) b[k] = static_cast<uint8_t>(value >> (24 - 8 * k));
}

uint64_t be64_of(const uint8_t* b) {
    return uint64_t{be32_at(b)} << 32 | be32_at(b + 4);
}

// The head of the box the frame is of: its pasp's, or that of the room.
const uint8_t* head_of(const PairFrame* f) {
    return f->heads > 0 && f->length >= pixel_aspect_bytes + pair_head_bytes ? f->bytes + pixel_aspect_bytes
                                                                               : nullptr;
}

bool room_type(uint32_t type) {
    return type == type_free || type == type_skip;
}

// The boxes of the size fields after the heads that end where the room
// begins grow by what the pasp takes: they then hold it.
bool size_fields_grow(const PairFrame* f, uint8_t* edited) {
    int64_t room = f->pos[pixel_aspect_bytes];
    uint32_t at = pixel_aspect_bytes + f->heads * pair_head_bytes;
    for (uint32_t k = 0; k < f->size_fields; at += f->size_lengths[k++]) {
        if (at + f->size_lengths[k] > f->length) return false;
        uint8_t* field = edited + at;
        bool wide = f->size_lengths[k] == 8;
        uint64_t size = wide ? be64_of(field) : be32_at(field);
        int64_t start = f->pos[at] - (wide ? 8 : 0);
        if (size > static_cast<uint64_t>(INT64_MAX - start) || start + static_cast<int64_t>(size) != room) continue;
        size += pixel_aspect_box_bytes;
        if (!wide && size > UINT32_MAX) return false;
        if (wide) be32_put(field, static_cast<uint32_t>(size >> 32));
        be32_put(field + (wide ? 4 : 0), static_cast<uint32_t>(size));
    }
    return true;
}

// A pasp of the target where the room begins, and the room left after it
// with a head of its own, or none where the pasp takes it whole.
AspectEdit room_edit(const PairFrame* f, SarRatio target, ByteChange* changes, uint32_t* count) {
    const uint8_t* head = head_of(f);
    uint64_t total = be32_at(head);
    // A 64-bit size lies where the pair goes.
    if (total == 1) total = be64_of(f->bytes);
    bool whole = total == pixel_aspect_box_bytes;
    uint64_t left = total - pixel_aspect_box_bytes;
    bool shortened = total >= pixel_aspect_box_bytes + pair_head_bytes && left <= UINT32_MAX && f->heads == 2;
    if (!whole && !shortened) return aspect_edit_no_room;
    uint8_t edited[changes_most];
    if (f->length > sizeof edited) return aspect_edit_no_room;
    std::memcpy(edited, f->bytes, f->length);
    be32_put(edited, target.width);
    be32_put(edited + 4, target.height);
    be32_put(edited + pixel_aspect_bytes, pixel_aspect_box_bytes);
    be32_put(edited + pixel_aspect_bytes + 4, type_pasp);
    if (shortened) {
        uint8_t* rest = edited + pixel_aspect_bytes + pair_head_bytes;
        be32_put(rest, static_cast<uint32_t>(left));
        be32_put(rest + 4, be32_at(head + 4));
    }
    if (!size_fields_grow(f, edited)) return aspect_edit_no_room;
    for (uint32_t i = 0; i < f->length; ++i) {
        if (edited[i] != f->bytes[i]) changes[(*count)++] = {i, edited[i]};
    }
    return aspect_edit_changed;
}

}  // namespace

AspectSite site_pixel_aspect_make(VideoCodec codec, const PairFrame* frame, const int64_t* pos,
                                  const PayloadRange* range) {
    AspectSite site = site_base(site_pixel_aspect, holder_pixel_aspect, codec, frame->bytes, pos, frame->length,
                                range);
    constexpr uint32_t fields_most = sizeof site.size_lengths;
    uint32_t fields = frame->size_fields < fields_most ? frame->size_fields : fields_most;
    site.size_fields = static_cast<uint8_t>(fields);
    for (uint32_t k = 0; k < fields; ++k) site.size_lengths[k] = frame->size_lengths[k];
    site.pair_heads = static_cast<uint8_t>(frame->heads);
    return site;
}

namespace {

PairFrame frame_of(const AspectSite* site, const uint8_t* bytes) {
    return {bytes, site->pos, site->length, site->pair_heads, site->size_fields, site->size_lengths};
}

bool pasp_present(const PairFrame* f) {
    const uint8_t* head = head_of(f);
    return f->heads == 0 || (head != nullptr && be32_at(head + 4) == type_pasp);
}

// A pasp that is there records its pair; a frame without one, nothing.
bool pixel_aspect_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    PairFrame frame = frame_of(site, bytes);
    reading->aspect_present = pasp_present(&frame);
    if (!reading->aspect_present) return true;
    reading->aspect.sar = sar_reduced(be32_at(bytes), be32_at(bytes + 4));
    return reading->aspect.sar.width != 0;
}

// Without a pasp, its room takes one: aspect_edit_no_room where the room
// is 17 to 23 bytes (what would be left is no box), aspect_edit_no_place
// where there is neither.
AspectEdit pixel_aspect_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target,
                                  ByteChange* changes, uint32_t* count) {
    *count = 0;
    if (target.sar.width == 0 || target.sar.height == 0) return aspect_edit_no_code;
    PairFrame f = frame_of(site, bytes);
    const uint8_t* head = head_of(&f);
    if (!pasp_present(&f)) {
        return head != nullptr && room_type(be32_at(head + 4)) ? room_edit(&f, target.sar, changes, count)
                                                                : aspect_edit_no_place;
    }
    SiteReading now;
    if (pixel_aspect_site_read(site, bytes, &now) && sar_same(now.aspect.sar, target.sar)) return aspect_edit_same;
    uint8_t pair[pixel_aspect_bytes];
    be32_put(pair, target.sar.width);
    be32_put(pair + 4, target.sar.height);
    for (uint32_t i = 0; i < pixel_aspect_bytes; ++i) {
        if (pair[i] != bytes[i]) changes[(*count)++] = {i, pair[i]};
    }
    return aspect_edit_changed;
}

}  // namespace

const PlaceOps pixel_aspect_places = {pixel_aspect_site_read, pixel_aspect_site_edit, site_field_whole};
