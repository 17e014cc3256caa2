#include "codecs/dvd_attributes.h"

#include "codecs/mpeg_aspects.h"

namespace {

constexpr uint8_t aspect_bits = 0x0C;
constexpr uint8_t display_bits = 0x03;  // automatic pan-scan, letterbox disallowed
constexpr uint8_t coding_bits = 0xC0;

}  // namespace

DvdVideo dvd_video_of(uint8_t attributes) {
    uint8_t aspect = attributes & aspect_bits;
    return {attributes, (attributes & coding_bits) == 0x40,
            aspect == 0 ? mpeg2_code_4x3 : aspect == aspect_bits ? mpeg2_code_16x9 : 0u};
}

uint8_t dvd_attributes_for(uint8_t attributes, uint32_t target) {
    uint8_t kept = attributes & static_cast<uint8_t>(~(aspect_bits | display_bits));
    return target == mpeg2_code_16x9 ? kept | aspect_bits : kept | display_bits;
}

AspectEdit dvd_attributes_edit(uint8_t attributes, uint32_t target, uint8_t* value) {
    if (target != mpeg2_code_4x3 && target != mpeg2_code_16x9) return aspect_edit_no_code;
    *value = dvd_attributes_for(attributes, target);
    return *value == attributes ? aspect_edit_same : aspect_edit_changed;
}

AspectSite site_dvd_attributes_make(const uint8_t* byte, const int64_t* pos, const PayloadRange* range) {
    return site_base(site_dvd_attributes, holder_stream, codec_dvd_attributes, byte, pos, 1, range);
}

namespace {

bool dvd_attributes_read(const AspectSite*, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    reading->aspect.code = dvd_video_of(bytes[0]).aspect;
    reading->aspect_present = reading->aspect.code != 0;
    return true;
}

AspectEdit dvd_attributes_site_edit(const AspectSite*, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                                    uint32_t* count) {
    *count = 0;
    uint8_t value = 0;
    AspectEdit edit = dvd_attributes_edit(bytes[0], target.code, &value);
    if (edit == aspect_edit_changed) changes[(*count)++] = {0, value};
    return edit;
}

uint32_t dvd_attributes_field(const AspectSite*, uint32_t* indices) {
    return site_field_first(1, indices);
}

}  // namespace

const PlaceOps dvd_attributes_places = {dvd_attributes_read, dvd_attributes_site_edit, dvd_attributes_field};
