#include "codecs/display_elements.h"

#include <cstring>

#include "codecs/ebml_vint.h"
#include "codecs/sar.h"

namespace {

// An element of the span: where it begins, its data, and its length in all.
struct SpanElement {
    bool found;
    uint32_t start;
    uint32_t data;
    uint32_t data_length;
    uint32_t total;
};

struct SpanLook {
    SpanElement width;
    SpanElement height;
    SpanElement unit;
    SpanElement room;  // the first Void
};

uint64_t uint_at(const uint8_t* bytes, uint32_t length) {
    uint64_t value = 0;
    for (uint32_t k = 0; k < length; ++k) value = value << 8 | bytes[k];
    return value;
}

// The elements one after the other from the span's start, up to the first
// Void or the first that runs past the span.
SpanLook span_look(const uint8_t* span, uint32_t length) {
    SpanLook look = {};
    for (uint32_t at = 0; at < length;) {
        uint32_t id_length = ebml_vint_length(span[at]);
        if (id_length == 0 || id_length > 4 || at + id_length >= length) break;
        uint32_t size_length = ebml_vint_length(span[at + id_length]);
        uint32_t data = at + id_length + size_length;
        if (size_length == 0 || data > length) break;
        uint64_t size = ebml_vint_value(span + at + id_length, size_length);
        uint32_t id = static_cast<uint32_t>(uint_at(span + at, id_length));
        SpanElement element = {true, at, data, static_cast<uint32_t>(size), data - at + static_cast<uint32_t>(size)};
        if (id == ebml_id_void) {
            look.room = element;
            break;
        }
        if (size > length - data) break;
        if (id == display_id_width) look.width = element;
        if (id == display_id_height) look.height = element;
        if (id == display_id_unit) look.unit = element;
        at = data + static_cast<uint32_t>(size);
    }
    return look;
}

const uint8_t* span_of(const DisplayFrame* f, uint32_t* length) {
    uint32_t fields = 0;
    for (uint32_t k = 0; k < f->size_fields; ++k) fields += f->size_lengths[k];
    *length = f->length > fields ? f->length - fields : 0;
    return f->bytes + fields;
}

uint8_t unit_of(const DisplayFrame* f, const uint8_t* span, const SpanLook& look) {
    if (!look.unit.found || look.unit.data_length > 8) return f->unit;
    return static_cast<uint8_t>(uint_at(span + look.unit.data, look.unit.data_length));
}

// The display size that shows the picture at the target: the aspect itself
// in unit 3, else the width at the height kept, in whole units, where that
// shows the target within 1%; where a height is too small for that (4x3
// pixels), the target's shape itself, at the multiple of it nearest the
// height kept that the bytes hold (`fits`): rounded, it would be another.
bool display_values(const DisplayFrame* f, uint8_t unit, uint64_t height, SarRatio target, uint64_t fits, uint64_t* w,
                    uint64_t* h) {
    SarRatio shape = sar_reduced(uint64_t{f->picture_width} * target.width, uint64_t{f->picture_height} * target.height);
    if (shape.width == 0) return false;
    *h = height;
    *w = scaled_round(height * f->picture_width, target.width, uint64_t{f->picture_height} * target.height);
    bool rounded = unit != display_unit_aspect && *w != 0 && *w != UINT64_MAX;
    if (rounded && shape_near(*w, *h, shape.width, shape.height)) return true;
    uint64_t times = unit == display_unit_aspect ? 1 : (height + shape.height / 2) / shape.height;
    if (times == 0) times = 1;
    while (times > 1 && (times * shape.width > fits || times * shape.height > fits)) --times;
    *w = times * shape.width;
    *h = times * shape.height;
    return true;
}

// The largest number `length` bytes hold.
uint64_t value_most(uint32_t length) {
    return length >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * length)) - 1;
}

bool value_put(uint8_t* bytes, uint32_t length, uint64_t value) {
    if (length < 8 && (value >> (8 * length)) != 0) return false;
    for (uint32_t k = length; k-- > 0; value >>= 8) bytes[k] = static_cast<uint8_t>(value);
    return true;
}

uint32_t value_length(uint64_t value) {
    uint32_t length = 1;
    while (length < 8 && (value >> (8 * length)) != 0) ++length;
    return length;
}

// One unsigned integer element, ID and a one-byte size first.
uint32_t uint_element_put(uint8_t* out, uint32_t id, uint64_t value) {
    uint32_t length = value_length(value);
    out[0] = static_cast<uint8_t>(id >> 8);
    out[1] = static_cast<uint8_t>(id);
    out[2] = static_cast<uint8_t>(0x80 | length);
    value_put(out + 3, length, value);
    return 3 + length;
}

// The size fields around the span grow by k.
bool size_fields_grow(const DisplayFrame* f, uint8_t* bytes, uint32_t k) {
    uint8_t* field = bytes;
    for (uint32_t i = 0; i < f->size_fields; field += f->size_lengths[i++]) {
        uint32_t length = f->size_lengths[i];
        if (ebml_vint_length(field[0]) != length) return false;
        uint64_t size = ebml_vint_value(field, length);
        if (size == ebml_vint_room(length) + 1) continue;  // unknown: it grows by itself
        if (!ebml_vint_put(size + k, length, field)) return false;
    }
    return true;
}

// The elements written where the span begins, the bytes before the Void
// moved after them, and the Void shortened by as much, with a head of its
// own where bytes of it remain: how many bytes they take, 0 when they do
// not fit.
uint32_t elements_insert(const SpanLook& look, uint8_t* span, uint32_t span_length, uint64_t w, uint64_t h) {
    uint8_t added[2 * (3 + 8)];
    uint32_t k = uint_element_put(added, display_id_width, w);
    k += uint_element_put(added + k, display_id_height, h);
    if (look.room.total < k || look.room.total - k == 1) return 0;
    uint32_t remain = look.room.total - k;
    uint32_t old_size_length = look.room.data - look.room.start - 1;
    uint32_t size_length = remain - 1 < old_size_length ? remain - 1 : old_size_length;
    uint32_t head = remain == 0 ? 0 : 1 + size_length;
    if (look.room.start + k + head > span_length) return 0;
    std::memmove(span + k, span, look.room.start);
    std::memcpy(span, added, k);
    if (head > 0) {
        span[look.room.start + k] = static_cast<uint8_t>(ebml_id_void);
        if (!ebml_vint_put(remain - head, size_length, span + look.room.start + k + 1)) return 0;
    }
    return k;
}

// The width and height the elements hold, and their unit: false without them.
bool elements_read(const DisplayFrame* f, uint64_t* width, uint64_t* height, uint8_t* unit) {
    uint32_t length = 0;
    const uint8_t* span = span_of(f, &length);
    SpanLook look = span_look(span, length);
    if (!look.width.found || !look.height.found || look.width.data_length > 8 || look.height.data_length > 8) return false;
    *width = uint_at(span + look.width.data, look.width.data_length);
    *height = uint_at(span + look.height.data, look.height.data_length);
    *unit = unit_of(f, span, look);
    return true;
}

// A width in whole units as near to the exact one at the height it has as
// whole units come: less than one away. The display aspect itself is exact.
bool width_near_enough(const DisplayFrame* f, SarRatio target) {
    uint64_t w = 0;
    uint64_t h = 0;
    uint8_t unit = 0;
    if (!elements_read(f, &w, &h, &unit) || unit == display_unit_aspect || h > 0xFFFFFFFFu) return false;
    uint64_t shown_w = uint64_t{f->picture_width} * target.width;
    uint64_t shown_h = uint64_t{f->picture_height} * target.height;
    return scaled_within_one(w, h * f->picture_width, target.width, shown_h) && shape_near(w, h, shown_w, shown_h);
}

}  // namespace

bool display_elements_values(const DisplayFrame* f, uint64_t* width, uint64_t* height) {
    uint8_t unit = 0;
    return elements_read(f, width, height, &unit);
}

SarRatio display_elements_sar(uint64_t width, uint64_t height, uint8_t unit, uint32_t picture_w,
                              uint32_t picture_h) {
    if (unit == display_unit_aspect) return sar_reduced(width * picture_h, height * picture_w);
    return sar_of_width(width, height, picture_w, picture_h);
}

bool display_elements_read(const DisplayFrame* f, SarRatio* sar) {
    uint64_t w = 0;
    uint64_t h = 0;
    uint8_t unit = 0;
    if (elements_read(f, &w, &h, &unit)) {
        *sar = display_elements_sar(w, h, unit, f->picture_width, f->picture_height);
        return sar->width != 0;
    }
    uint32_t length = 0;
    const uint8_t* span = span_of(f, &length);
    SpanLook look = span_look(span, length);
    *sar = {1, 1};  // without them, square samples
    return !look.width.found && !look.height.found;
}

AspectEdit display_elements_edit(const DisplayFrame* f, SarRatio target, ByteChange* changes, uint32_t* count) {
    *count = 0;
    SarRatio now = {0, 0};
    if (!display_elements_read(f, &now)) return aspect_edit_unread;
    if (target.width == 0 || target.height == 0) return aspect_edit_no_code;
    if (sar_same(now, target) || width_near_enough(f, target)) return aspect_edit_same;
    uint8_t edited[changes_most];
    if (f->length > sizeof edited) return aspect_edit_no_room;
    std::memcpy(edited, f->bytes, f->length);
    uint32_t span_length = 0;
    uint8_t* span = edited + (span_of(f, &span_length) - f->bytes);
    SpanLook look = span_look(span, span_length);
    uint8_t unit = unit_of(f, span, look);
    bool present = look.width.found;
    uint64_t height = present ? uint_at(span + look.height.data, look.height.data_length) : f->picture_height;
    uint64_t w = 0;
    uint64_t h = 0;
    uint32_t held = present && look.height.data_length < look.width.data_length ? look.height.data_length
                    : present                                                    ? look.width.data_length
                                                                                 : 8;
    if (!display_values(f, unit, height, target, value_most(held), &w, &h)) return aspect_edit_no_code;
    if (present) {
        bool fits = value_put(span + look.width.data, look.width.data_length, w) &&
                    value_put(span + look.height.data, look.height.data_length, h);
        if (!fits) return aspect_edit_no_code;
    } else {
        bool grows = f->size_fields > 0;
        if (!look.room.found || (grows && f->growth_checksummed)) return aspect_edit_no_room;
        uint32_t k = elements_insert(look, span, span_length, w, h);
        if (k == 0 || !size_fields_grow(f, edited, k)) return aspect_edit_no_room;
    }
    for (uint32_t i = 0; i < f->length; ++i) {
        if (edited[i] != f->bytes[i]) changes[(*count)++] = {i, edited[i]};
    }
    return *count == 0 ? aspect_edit_same : aspect_edit_changed;
}

AspectSite site_display_elements_make(VideoCodec codec, const DisplayFrame* frame, const int64_t* pos,
                                      const PayloadRange* range) {
    AspectSite site = site_pictured(site_display_elements, holder_video_element, codec, frame->bytes, pos,
                                    frame->length, range, frame->picture_width, frame->picture_height);
    constexpr uint32_t fields_most = sizeof site.size_lengths;
    uint32_t fields = frame->size_fields < fields_most ? frame->size_fields : fields_most;
    site.size_fields = static_cast<uint8_t>(fields);
    for (uint32_t k = 0; k < fields; ++k) site.size_lengths[k] = frame->size_lengths[k];
    site.growth_checksummed = frame->growth_checksummed;
    site.display_unit = frame->unit;
    return site;
}

namespace {

DisplayFrame frame_of(const AspectSite* site, const uint8_t* bytes) {
    return {bytes, site->length, site->size_fields, site->size_lengths, site->picture_width, site->picture_height,
            site->display_unit, site->growth_checksummed};
}

}  // namespace

bool site_display_values(const AspectSite* site, uint64_t* width, uint64_t* height) {
    DisplayFrame frame = frame_of(site, site->bytes);
    return display_elements_values(&frame, width, height);
}

namespace {

bool display_elements_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    DisplayFrame frame = frame_of(site, bytes);
    reading->aspect_present = true;
    return display_elements_read(&frame, &reading->aspect.sar);
}

AspectEdit display_elements_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target,
                                      ByteChange* changes, uint32_t* count) {
    DisplayFrame frame = frame_of(site, bytes);
    return display_elements_edit(&frame, target.sar, changes, count);
}

}  // namespace

const PlaceOps display_elements_places = {display_elements_site_read, display_elements_site_edit,
                                          site_field_whole};
