#include "codecs/header_par.h"

#include "codecs/payload.h"
#include "codecs/sar.h"

namespace {

// The widest a term of the pair can be.
constexpr uint32_t term_most = 0xFFFFFF;

// Where the pair lies among a site's bytes.
uint32_t pair_at(SiteHolder holder) {
    return holder == holder_theora_header ? 16 : 4;
}

bool header_par_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    uint32_t width = 0;
    uint32_t height = 0;
    SarRatio par = {0, 0};
    if (!header_par_read(site->holder, bytes, site->length, &width, &height, &par)) return false;
    reading->aspect_present = par.width != 0;
    reading->aspect.sar = par;
    return true;
}

// The target is a sample aspect of the first video's picture: the pair
// that shows this one at the same shape.
AspectEdit header_par_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target,
                                ByteChange* changes, uint32_t* count) {
    uint32_t width = 0;
    uint32_t height = 0;
    SarRatio now = {0, 0};
    if (!header_par_read(site->holder, bytes, site->length, &width, &height, &now)) return aspect_edit_unread;
    SarRatio pair = target.sar;
    bool other_picture = width != site->picture_width || height != site->picture_height;
    if (other_picture && width != 0 && height != 0) {
        pair = sar_reduced(uint64_t{target.sar.width} * site->picture_width * height,
                           uint64_t{target.sar.height} * site->picture_height * width);
    }
    if (pair.width == 0 || pair.height == 0 || pair.width > term_most || pair.height > term_most) {
        return aspect_edit_no_code;
    }
    if (sar_same(now, pair)) return aspect_edit_same;
    uint32_t at = pair_at(site->holder);
    const uint32_t terms[] = {pair.width, pair.height};
    for (uint32_t t = 0; t < 2; ++t) {
        for (uint32_t k = 0; k < 3; ++k) {
            uint8_t b = static_cast<uint8_t>(terms[t] >> (8 * (2 - k)));
            uint32_t index = at + 3 * t + k;
            if (bytes[index] != b) changes[(*count)++] = {index, b};
        }
    }
    return aspect_edit_changed;
}

uint32_t header_par_field(const AspectSite* site, uint32_t* indices) {
    uint32_t at = pair_at(site->holder);
    for (uint32_t k = 0; k < 6; ++k) indices[k] = at + k;
    return 6;
}

}  // namespace

bool header_par_read(SiteHolder holder, const uint8_t* b, uint32_t length, uint32_t* width, uint32_t* height,
                     SarRatio* par) {
    bool theora = holder == holder_theora_header;
    if (length < (theora ? theora_par_span : vp8_par_span)) return false;
    *width = theora ? be24_at(b) : uint32_t{b[0]} << 8 | b[1];
    *height = theora ? be24_at(b + 3) : uint32_t{b[2]} << 8 | b[3];
    uint32_t at = pair_at(holder);
    uint32_t n = be24_at(b + at);
    uint32_t d = be24_at(b + at + 3);
    *par = n != 0 && d != 0 ? sar_reduced(n, d) : SarRatio{0, 0};
    return true;
}

AspectSite site_header_par_make(SiteHolder holder, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                const PayloadRange* range, uint32_t first_width, uint32_t first_height) {
    return site_pictured(site_header_par, holder, codec_container, bytes, pos, length, range, first_width,
                         first_height);
}

const PlaceOps header_par_places = {header_par_site_read, header_par_site_edit, header_par_field};
