#include "codecs/h263_scan.h"

namespace {

// A header that names its format is handed over; any other (UFEP 0, or
// bytes cut off before its format) is passed by.
int32_t header_hand(H263Scanner* s, SiteHandler on_site, void* context) {
    s->collecting = false;
    H263Picture picture;
    if (!h263_picture_read(s->bytes, s->length, &picture)) return 0;
    AspectSite site = site_h263_picture_make(s->bytes, s->pos, s->length, s->range);
    return on_site(context, &site);
}

int32_t byte_take(H263Scanner* s, uint8_t b, int64_t pos, SiteHandler on_site, void* context) {
    if (s->collecting) {
        s->bytes[s->length] = b;
        s->pos[s->length++] = pos;
        return s->length == h263_bytes_most ? header_hand(s, on_site, context) : 0;
    }
    if (s->zeros == 2 && h263_start_is(b)) {
        s->collecting = true;
        s->length = 0;
        s->zeros = 0;
        return byte_take(s, b, pos, on_site, context);
    }
    s->zeros = b == 0 ? (s->zeros < 2 ? s->zeros + 1 : 2) : 0;
    return 0;
}

}  // namespace

void h263_scanner_init(H263Scanner* scanner) {
    *scanner = H263Scanner{};
}

int32_t h263_scan(H263Scanner* s, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                  uint32_t count, SiteHandler on_site, void* context) {
    for (uint32_t k = 0; k < count; ++k) {
        const PayloadRange& r = ranges[k];
        // A second copy of a packet: its headers were read in the first.
        if ((r.breaks & payload_repeat) != 0) continue;
        if ((r.breaks & payload_gap) != 0) h263_scanner_init(s);
        s->range = &r;
        int32_t result = 0;
        for (uint32_t i = r.first; i < r.end && result == 0; ++i) {
            result = byte_take(s, buffer[i], buffer_pos + i, on_site, context);
        }
        if (result == 0 && (r.breaks & payload_unit_end) != 0) {
            result = h263_scan_finish(s, on_site, context);
            h263_scanner_init(s);
        }
        if (result != 0) return result;
    }
    return 0;
}

int32_t h263_scan_finish(H263Scanner* s, SiteHandler on_site, void* context) {
    return s->collecting ? header_hand(s, on_site, context) : 0;
}

AspectSite site_h263_picture_make(const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range) {
    AspectSite site = site_base(site_h263_picture, holder_stream, codec_h263, bytes, pos, length, range);
    site.split = length > 0 && pos[length - 1] - pos[0] != length - 1;
    return site;
}

namespace {

bool h263_picture_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    H263Picture picture;
    if (!h263_picture_read(bytes, site->length, &picture)) return false;
    reading->aspect = {picture.par_code, h263_picture_sar(&picture)};
    reading->aspect_present = reading->aspect.sar.width != 0;
    reading->keyed = true;
    reading->width = picture.width;
    reading->height = picture.height;
    return true;
}

AspectEdit h263_picture_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                             uint32_t* count) {
    return h263_aspect_edit(bytes, site->length, target.sar, changes, count);
}

uint32_t h263_picture_field(const AspectSite* site, uint32_t* indices) {
    return h263_field_bytes(site->bytes, site->length, indices);
}

}  // namespace

const PlaceOps h263_picture_places = {h263_picture_site_read, h263_picture_edit, h263_picture_field};
