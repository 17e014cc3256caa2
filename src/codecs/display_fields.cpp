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

bool display_size_read(const uint8_t* bytes, uint32_t picture_w, uint32_t picture_h, SarRatio* sar) {
    uint64_t width = be32_at(bytes);
    uint64_t height = be32_at(bytes + 4);
    *sar = sar_reduced(width * picture_h, height * picture_w);
    return sar->width != 0;
}

AspectEdit display_size_edit(const uint8_t* bytes, uint32_t picture_w, uint32_t picture_h, SarRatio target,
                             ByteChange* changes, uint32_t* count) {
    *count = 0;
    uint64_t height = be32_at(bytes + 4);
    if (height == 0 || picture_w == 0 || picture_h == 0) return aspect_edit_unread;
    if (target.width == 0 || target.height == 0) return aspect_edit_no_code;
    // The exact width in 16.16, then the nearest whole pixel: a width the
    // tool wrote gives back its own pixels when redone at the aspect it shows.
    uint64_t exact = scaled_round(height * picture_w, target.width, uint64_t{picture_h} * target.height);
    uint64_t pixels = exact == UINT64_MAX ? 0 : (exact + fixed_one / 2) / fixed_one;
    if (pixels == 0 || pixels > 0xFFFF) return aspect_edit_no_code;
    uint32_t width = static_cast<uint32_t>(pixels * fixed_one);
    if (width == be32_at(bytes)) return aspect_edit_same;
    be32_changes(bytes, 0, width, changes, count);
    return aspect_edit_changed;
}

bool pixel_aspect_read(const uint8_t* bytes, SarRatio* sar) {
    *sar = sar_reduced(be32_at(bytes), be32_at(bytes + 4));
    return sar->width != 0;
}

AspectEdit pixel_aspect_edit(const uint8_t* bytes, SarRatio target, ByteChange* changes, uint32_t* count) {
    *count = 0;
    if (target.width == 0 || target.height == 0) return aspect_edit_no_code;
    SarRatio now = {0, 0};
    if (pixel_aspect_read(bytes, &now) && sar_same(now, target)) return aspect_edit_same;
    be32_changes(bytes, 0, target.width, changes, count);
    be32_changes(bytes, 4, target.height, changes, count);
    return aspect_edit_changed;
}
