#include "codecs/vol_scan.h"

#include "codecs/framing.h"

namespace {

constexpr uint32_t window_mask = 0xFFFFFF;
// No bytes fed: no start code is seen before three bytes of payload make one.
constexpr VolScanState state_empty = {window_mask, false, false, 0};

inline void window_push(VolScanState* state, uint8_t b) {
    state->window = ((state->window << 8) | b) & window_mask;
}

int32_t vol_hand(VolScanner* s, uint32_t length, SiteHandler on_site, void* context) {
    s->state.collecting = false;
    // Bytes partly from a second copy of a packet: the copy a decoder reads
    // is not the one the positions say.
    bool across = s->from_repeat && s->from_other;
    AspectSite site = site_video_object_layer_make(holder_stream, s->bytes, s->pos, length, s->range, across);
    return on_site(context, &site);
}

// Appends a byte to the VOL being collected: one that the next start code
// ends (without the zeros of its prefix), or that is kept far enough, is
// handed over.
int32_t vol_feed(VolScanner* s, uint8_t b, int64_t pos, SiteHandler on_site, void* context) {
    uint32_t n = s->state.length;
    s->bytes[n] = b;
    s->pos[n] = pos;
    s->from_repeat = s->from_repeat || s->repeat;
    s->from_other = s->from_other || !s->repeat;
    s->state.length = n + 1;
    window_push(&s->state, b);
    if (s->state.window == start_code_prefix) {
        s->state.code_next = true;
        return vol_hand(s, n + 1 >= 3 ? n - 2 : 0, on_site, context);
    }
    return s->state.length == vol_bytes_most ? vol_hand(s, vol_bytes_most, on_site, context) : 0;
}

void vol_start(VolScanner* s) {
    s->state.collecting = true;
    s->state.length = 0;
    s->from_repeat = false;
    s->from_other = false;
}

// The byte after a start code prefix: a VOL's code byte begins one.
int32_t code_take(VolScanner* s, uint8_t code, int64_t pos, SiteHandler on_site, void* context) {
    s->state.code_next = false;
    if (!vol_code_is(code)) {
        window_push(&s->state, code);
        return 0;
    }
    vol_start(s);
    return vol_feed(s, code, pos, on_site, context);
}

int32_t range_scan(VolScanner* s, const uint8_t* b, int64_t buffer_pos, uint32_t first, uint32_t end,
                   SiteHandler on_site, void* context) {
    int32_t result = 0;
    for (uint32_t i = first; i < end && result == 0; ++i) {
        if (s->state.collecting) {
            result = vol_feed(s, b[i], buffer_pos + i, on_site, context);
        } else if (s->state.code_next) {
            result = code_take(s, b[i], buffer_pos + i, on_site, context);
        } else {
            // Outside a VOL only the start codes matter.
            i = start_code_seek(&s->state.window, b, i, end);
            s->state.code_next = i < end;
        }
    }
    return result;
}

}  // namespace

void vol_scanner_init(VolScanner* scanner) {
    *scanner = VolScanner{};
    scanner->state = state_empty;
    scanner->before = state_empty;
}

int32_t vol_scan(VolScanner* s, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                 uint32_t count, SiteHandler on_site, void* context) {
    for (uint32_t k = 0; k < count; ++k) {
        const PayloadRange& r = ranges[k];
        s->repeat = (r.breaks & payload_repeat) != 0;
        if (s->repeat) {
            s->state = s->before;
        } else {
            if ((r.breaks & payload_gap) != 0) s->state = state_empty;
            s->before = s->state;
        }
        s->range = &r;
        int32_t result = range_scan(s, buffer, buffer_pos, r.first, r.end, on_site, context);
        if (result == 0 && (r.breaks & payload_unit_end) != 0) {
            result = vol_scan_finish(s, on_site, context);
            s->state = state_empty;
        }
        if (result != 0) return result;
    }
    return 0;
}

int32_t vol_scan_finish(VolScanner* s, SiteHandler on_site, void* context) {
    return s->state.collecting ? vol_hand(s, s->state.length, on_site, context) : 0;
}

AspectSite site_video_object_layer_make(SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                        uint32_t length, const PayloadRange* range, bool across_repeat) {
    AspectSite site = site_base(site_video_object_layer, holder, codec_mpeg4, bytes, pos, length, range);
    site.split = length > 0 && pos[length - 1] - pos[0] != length - 1;
    site.across_repeat = across_repeat;
    return site;
}

namespace {

bool video_object_layer_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    VolInfo info;
    if (!vol_read(bytes, site->length, &info)) return false;
    reading->aspect = {info.aspect_info, vol_sar(&info)};
    reading->aspect_present = reading->aspect.sar.width != 0;
    reading->keyed = true;
    reading->width = info.width;
    reading->height = info.height;
    return true;
}

AspectEdit video_object_layer_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target,
                                   ByteChange* changes, uint32_t* count) {
    return vol_aspect_edit(bytes, site->length, target.sar, changes, count);
}

uint32_t video_object_layer_field(const AspectSite* site, uint32_t* indices) {
    if (site->across_repeat) return 0;
    return vol_field_bytes(site->bytes, site->length, indices);
}

}  // namespace

const PlaceOps video_object_layer_places = {video_object_layer_read, video_object_layer_edit,
                                            video_object_layer_field};
