#include "codecs/frame_headers.h"

#include "codecs/bit_reader.h"
#include "codecs/sar.h"
#include "codecs/shapes.h"

namespace {

uint32_t be16(const uint8_t* b) {
    return (uint32_t{b[0]} << 8) | b[1];
}

// A display aspect of the coded picture as its sample aspect.
SarRatio shape_sar(uint64_t shape_w, uint64_t shape_h, uint64_t width, uint64_t height) {
    if (width == 0 || height == 0) return {0, 0};
    return sar_reduced(shape_w * height, shape_h * width);
}

// ProRes: the frame's size and "icpf", then the frame header, whose
// picture size and aspect code lie at fixed places.
constexpr uint32_t prores_width_at = 16;
constexpr uint32_t prores_aspect_at = 21;

// 0 unknown, 1 square samples, 2 4:3, 3 16:9; the rest are reserved.
SarRatio prores_sar(const uint8_t* b, uint32_t length) {
    if (length <= prores_aspect_at || b[4] != 'i' || b[5] != 'c' || b[6] != 'p' || b[7] != 'f') return {0, 0};
    uint32_t width = be16(b + prores_width_at);
    uint32_t height = be16(b + prores_width_at + 2);
    switch (b[prores_aspect_at] >> 4) {
    case 1: return {1, 1};
    case 2: return shape_sar(4, 3, width, height);
    case 3: return shape_sar(16, 9, width, height);
    default: return {0, 0};
    }
}

// JPEG markers up to the picture: far enough for the APP segments a
// camera or an encoder puts before it.
constexpr uint32_t jpeg_reach = 512;
constexpr uint8_t jpeg_app0 = 0xE0;
constexpr uint8_t jpeg_start_of_scan = 0xDA;

// The JFIF segment's densities, which decoders take as the sample aspect
// whatever their unit; equal ones are square samples.
SarRatio jfif_sar(const uint8_t* b, uint32_t length) {
    if (length < 4 || b[0] != 0xFF || b[1] != 0xD8) return {0, 0};
    for (uint32_t at = 2; at + 4 <= length && b[at] == 0xFF;) {
        uint8_t marker = b[at + 1];
        uint32_t size = be16(b + at + 2);
        if (marker == jpeg_start_of_scan || size < 2) break;
        const uint8_t* s = b + at + 4;
        bool jfif = marker == jpeg_app0 && size >= 16 && at + 2 + size <= length && s[0] == 'J' && s[1] == 'F' &&
                    s[2] == 'I' && s[3] == 'F' && s[4] == 0;
        if (jfif) {
            SarRatio sar = sar_reduced(be16(s + 8), be16(s + 10));
            return sar.width == sar.height ? SarRatio{0, 0} : sar;
        }
        at += 2 + size;
    }
    return {0, 0};
}

constexpr uint32_t vp9_reach = 16;

// A key frame's uncompressed header, up to its render size.
SarRatio vp9_sar(const uint8_t* b, uint32_t length) {
    BitReader r = {b, length, 0, false};
    if (bits_read(&r, 2) != 2) return {0, 0};
    uint32_t profile = bits_read(&r, 1);
    profile |= bits_read(&r, 1) << 1;
    if (profile == 3) bits_skip(&r, 1);
    if (bits_read(&r, 1) != 0 || bits_read(&r, 1) != 0) return {0, 0};  // a shown earlier frame, or no key frame
    bits_skip(&r, 2);  // show_frame, error_resilient_mode
    if (bits_read(&r, 24) != 0x498342) return {0, 0};
    if (profile >= 2) bits_skip(&r, 1);
    bool rgb = bits_read(&r, 3) == 7;
    if (!rgb) bits_skip(&r, 1);
    if (profile == 1 || profile == 3) bits_skip(&r, rgb ? 1 : 3);
    uint32_t width = bits_read(&r, 16) + 1;
    uint32_t height = bits_read(&r, 16) + 1;
    if (bits_read(&r, 1) == 0) return {0, 0};
    uint32_t render_w = bits_read(&r, 16) + 1;
    uint32_t render_h = bits_read(&r, 16) + 1;
    if (r.overrun) return {0, 0};
    SarRatio sar = shape_sar(render_w, render_h, width, height);
    return sar.width == sar.height ? SarRatio{0, 0} : sar;
}

}  // namespace

uint32_t frame_header_bytes(ForeignCodec codec) {
    switch (codec) {
    case foreign_prores: return prores_aspect_at + 1;
    case foreign_motion_jpeg: return jpeg_reach;
    case foreign_vp9: return vp9_reach;
    default: return 0;
    }
}

SarRatio frame_header_sar(ForeignCodec codec, const uint8_t* bytes, uint32_t length) {
    switch (codec) {
    case foreign_prores: return prores_sar(bytes, length);
    case foreign_motion_jpeg: return jfif_sar(bytes, length);
    case foreign_vp9: return vp9_sar(bytes, length);
    default: return {0, 0};
    }
}

bool frame_header_shown(ForeignCodec codec) {
    return codec == foreign_motion_jpeg;
}

AspectSite site_frame_header_make(ForeignCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height) {
    AspectSite site = site_pictured(site_frame_header, holder_frame, codec_container, bytes, pos, length, range,
                                    picture_width, picture_height);
    site.frame_codec = codec;
    return site;
}

namespace {

bool frame_header_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    reading->aspect.sar = frame_header_sar(site->frame_codec, bytes, site->length);
    reading->aspect_present = reading->aspect.sar.width != 0;
    return true;
}

// Only read: it holds the target already, or it stands in the way. A
// header records its aspect in its own terms (a JFIF density of whole
// numbers: 64:45 where the target is the standard 16:11 at 720x576), so
// it holds the target where it gives the picture the target's shape, as
// a place of a display aspect (AVI's vprp) is judged.
AspectEdit frame_header_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange*,
                             uint32_t* count) {
    *count = 0;
    SarRatio sar = frame_header_sar(site->frame_codec, bytes, site->length);
    if (sar.width == 0) return aspect_edit_no_place;
    uint32_t shape = shape_of_sar(site->picture_width, site->picture_height, sar);
    bool same_shape = shape != 0 && shape == shape_of_sar(site->picture_width, site->picture_height, target.sar);
    return same_shape || sar_same(sar, target.sar) ? aspect_edit_same : aspect_edit_fixed;
}

uint32_t frame_header_field(const AspectSite*, uint32_t*) {
    return 0;
}

}  // namespace

const PlaceOps frame_header_places = {frame_header_read, frame_header_edit, frame_header_field};
