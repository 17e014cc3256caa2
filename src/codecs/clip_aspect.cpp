#include "codecs/clip_aspect.h"

#include "codecs/mpeg_aspects.h"

namespace {

constexpr uint8_t flag_bits = 0x0F;

}  // namespace

uint32_t clip_aspect_of(uint8_t byte) {
    uint32_t code = byte >> 4;
    return code == mpeg2_code_4x3 || code == mpeg2_code_16x9 ? code : 0u;
}

AspectSite site_clip_aspect_make(const uint8_t* byte, const int64_t* pos, const PayloadRange* range) {
    return site_base(site_clip_aspect, holder_stream, codec_clip_info, byte, pos, 1, range);
}

namespace {

bool clip_aspect_read(const AspectSite*, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    reading->aspect.code = clip_aspect_of(bytes[0]);
    reading->aspect_present = reading->aspect.code != 0;
    return true;
}

// Only 4:3 and 16:9 are codes a clip's video takes.
AspectEdit clip_aspect_edit(const AspectSite*, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                            uint32_t* count) {
    *count = 0;
    if (target.code != mpeg2_code_4x3 && target.code != mpeg2_code_16x9) return aspect_edit_no_code;
    uint8_t value = static_cast<uint8_t>(target.code << 4 | (bytes[0] & flag_bits));
    if (value == bytes[0]) return aspect_edit_same;
    changes[(*count)++] = {0, value};
    return aspect_edit_changed;
}

uint32_t clip_aspect_field(const AspectSite*, uint32_t* indices) {
    return site_field_first(1, indices);
}

}  // namespace

const PlaceOps clip_aspect_places = {clip_aspect_read, clip_aspect_edit, clip_aspect_field};
