#include "codecs/display_fields.h"

#include "codecs/payload.h"
#include "codecs/sar.h"

namespace {

constexpr uint64_t fixed_one = 0x10000;

// The changes that make bytes[0, 4) hold the number, one for each byte
// that differs.
void be32_changes(const uint8_t* bytes, uint32_t first, uint32_t value, ByteChange* changes, uint32_t* count) {
    for (uint32_t k = 0; k < 4; ++k) {
        uint8_t b = static_cast<uint8_t>(value >> (24 - 8 * k));
        if (bytes[first + k] != b) changes[(*count)++] = {first + k, b};
    }
}

}  // namespace

bool display_size_sar(uint64_t width, uint64_t height, uint32_t picture_w, uint32_t picture_h, SarRatio* sar) {
    *sar = {0, 0};
    if (width == 0 && height == 0) return true;
    *sar = sar_of_width(width, height, picture_w, picture_h);
    return sar->width != 0;
}

bool display_size_read(const uint8_t* bytes, uint32_t picture_w, uint32_t picture_h, SarRatio* sar) {
    return display_size_sar(be32_at(bytes), be32_at(bytes + 4), picture_w, picture_h, sar);
}

AspectEdit display_size_edit(const uint8_t* bytes, uint32_t picture_w, uint32_t picture_h, SarRatio target,
                             ByteChange* changes, uint32_t* count) {
    *count = 0;
    uint64_t width = be32_at(bytes);
    uint64_t height = be32_at(bytes + 4);
    if (width == 0 && height == 0) return aspect_edit_no_place;
    if (height == 0 || picture_w == 0 || picture_h == 0) return aspect_edit_unread;
    if (target.width == 0 || target.height == 0) return aspect_edit_no_code;
    // The exact width in 16.16, which keeps its fraction.
    uint64_t scaled = height * picture_w;
    uint64_t across = uint64_t{picture_h} * target.height;
    uint64_t exact = scaled_round(scaled, target.width, across);
    uint64_t pixels = exact == UINT64_MAX ? 0 : (exact + fixed_one / 2) / fixed_one;
    if (pixels == 0 || pixels > 0xFFFF) return aspect_edit_no_code;
    if (scaled_within_one(width, scaled, target.width, across)) return aspect_edit_same;
    be32_changes(bytes, 0, static_cast<uint32_t>(exact), changes, count);
    return aspect_edit_changed;
}

AspectSite site_display_size_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height) {
    return site_pictured(site_display_size, holder, codec, bytes, pos, display_size_bytes, range, picture_width,
                         picture_height);
}

namespace {

bool display_size_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    bool read = display_size_read(bytes, site->picture_width, site->picture_height, &reading->aspect.sar);
    reading->aspect_present = reading->aspect.sar.width != 0;  // 0x0 records none
    return read;
}

AspectEdit display_size_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target,
                                  ByteChange* changes, uint32_t* count) {
    return display_size_edit(bytes, site->picture_width, site->picture_height, target.sar, changes, count);
}

uint32_t display_size_field(const AspectSite*, uint32_t* indices) {
    return site_field_first(display_width_bytes, indices);
}

}  // namespace

const PlaceOps display_size_places = {display_size_site_read, display_size_site_edit, display_size_field};
