#include "codecs/mxf_aspect.h"

#include "codecs/payload.h"
#include "codecs/sar.h"

namespace {

bool mxf_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    if (site->length != mxf_aspect_bytes) return true;
    uint32_t num = be32_at(bytes);
    uint32_t den = be32_at(bytes + 4);
    if (num == 0 || den == 0 || site->picture_width == 0 || site->picture_height == 0) return true;
    reading->aspect.sar = sar_reduced(uint64_t{num} * site->picture_height, uint64_t{den} * site->picture_width);
    reading->aspect_present = reading->aspect.sar.width != 0;
    return true;
}

AspectEdit mxf_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                         uint32_t* count) {
    *count = 0;
    if (site->length != mxf_aspect_bytes) return aspect_edit_no_room;
    SarRatio aspect = sar_frame_aspect(site->picture_width, site->picture_height, target.sar);
    if (aspect.width == 0) return aspect_edit_no_code;
    const uint32_t values[] = {aspect.width, aspect.height};
    for (uint32_t k = 0; k < mxf_aspect_bytes; ++k) {
        uint8_t b = static_cast<uint8_t>(values[k / 4] >> (8 * (3 - k % 4)));
        if (bytes[k] != b) changes[(*count)++] = {k, b};
    }
    return *count == 0 ? aspect_edit_same : aspect_edit_changed;
}

}  // namespace

AspectSite site_mxf_aspect_make(VideoCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                const PayloadRange* range, uint32_t picture_width, uint32_t picture_height) {
    return site_pictured(site_mxf_aspect, holder_mxf_descriptor, codec, bytes, pos, length, range, picture_width,
                         picture_height);
}

const PlaceOps mxf_aspect_places = {mxf_site_read, mxf_site_edit, site_field_whole};
