#include "codecs/nal_scan.h"

#include "codecs/framing.h"

namespace {

constexpr uint32_t window_mask = 0xFFFFFF;
// No bytes fed: no start code is seen before three bytes of payload make one.
constexpr uint32_t window_empty = window_mask;

void unit_start(SpsScanner* s, uint8_t header, int64_t pos) {
    s->state.collecting = true;
    s->restarted = true;
    s->unit.copy = set_copy_once(false);
    s->unit.bytes[0] = header;
    s->unit.pos[0] = pos;
    s->state.length = 1;
}

// The NAL unit ended where its last three bytes made 00 00 0x (x below 3):
// those, and the zero bytes before them, are not part of it.
int32_t unit_end(SpsScanner* s, uint32_t ending, SiteHandler on_site, void* context) {
    s->state.collecting = false;
    uint32_t n = s->state.length - ending;
    if (n > sps_bytes_most) n = sps_bytes_most;
    while (n > 0 && s->unit.bytes[n - 1] == 0) --n;
    SpsUnit& u = s->unit;
    u.length = n;
    s->handed = true;
    AspectSite site = site_parameter_set_make(s->codec, holder_stream, u.bytes, u.pos, n, s->range, u.copy);
    return on_site(context, &site);
}

// Appends a byte to the set being collected; a set that ends with it is
// handed over.
int32_t unit_feed(SpsScanner* s, uint8_t b, int64_t pos, SiteHandler on_site, void* context) {
    uint32_t n = s->state.length;
    if (n < sps_bytes_most) {
        s->unit.bytes[n] = b;
        s->unit.pos[n] = pos;
    } else {
        s->unit.copy.cut = true;
    }
    // Past the kept bytes only the three-byte window tells the end.
    s->state.length = n + 1;
    s->state.window = ((s->state.window << 8) | b) & window_mask;
    if (n >= 2 && nal_end_is(s->state.window)) {
        bool next_unit = s->state.window == start_code_prefix;
        int32_t result = unit_end(s, 3, on_site, context);
        s->state.header_next = next_unit;
        return result;
    }
    return 0;
}

int32_t range_scan(SpsScanner* s, const uint8_t* b, int64_t buffer_pos, uint32_t first,
                   uint32_t end, SiteHandler on_site, void* context) {
    for (uint32_t i = first; i < end; ++i) {
        if (s->state.collecting) {
            int32_t result = unit_feed(s, b[i], buffer_pos + i, on_site, context);
            if (result != 0) return result;
            continue;
        }
        if (!s->state.header_next) {
            // Outside a set only the start codes matter.
            uint32_t code = start_code_seek(&s->state.window, b, i, end);
            s->state.header_next = code < end;
            i = code;
            continue;
        }
        s->state.header_next = false;
        s->state.window = ((s->state.window << 8) | b[i]) & window_mask;
        // A NAL header byte, after a start code: a parameter set is collected.
        if (nal_opens_sps(s->codec, b[i])) unit_start(s, b[i], buffer_pos + i);
    }
    return 0;
}

}  // namespace

void sps_scanner_init(SpsScanner* scanner, VideoCodec codec) {
    scanner->codec = codec;
    scanner->state = {window_empty, false, false, 0};
    scanner->before = scanner->state;
    scanner->restarted = false;
    scanner->handed = false;
    scanner->in_repeat = false;
    scanner->unit.length = 0;
    scanner->unit.copy = set_copy_once(false);
    scanner->range = nullptr;
}

int32_t sps_scan(SpsScanner* s, const uint8_t* buffer, int64_t buffer_pos,
                 const PayloadRange* ranges, uint32_t count, SiteHandler on_site, void* context) {
    for (uint32_t k = 0; k < count; ++k) {
        const PayloadRange& r = ranges[k];
        bool repeat = (r.breaks & payload_repeat) != 0;
        // A set that goes on out of a second copy has its start there.
        if (s->in_repeat && !repeat && s->state.collecting) s->unit.copy.across_repeat = true;
        if (repeat) {
            // The second copy is read from the state before the first, as
            // the first was, unless the first began a set over the bytes of
            // the one the second goes on with.
            s->state = s->restarted ? SpsScanState{window_empty, false, false, 0} : s->before;
            if (s->state.collecting && s->handed) {
                s->unit.copy.again_from = r.unit_pos;
            } else if (s->state.collecting) {
                s->unit.copy.across_repeat = true;
            }
        } else {
            if ((r.breaks & payload_gap) != 0) s->state = {window_empty, false, false, 0};
            s->before = s->state;
        }
        s->in_repeat = repeat;
        s->restarted = false;
        s->handed = false;
        s->range = &r;
        int32_t result = range_scan(s, buffer, buffer_pos, r.first, r.end, on_site, context);
        if (result == 0 && (r.breaks & payload_unit_end) != 0) result = sps_scan_finish(s, on_site, context);
        if (result != 0) return result;
    }
    return 0;
}

int32_t sps_scan_finish(SpsScanner* s, SiteHandler on_site, void* context) {
    if (!s->state.collecting) return 0;
    return unit_end(s, 0, on_site, context);
}

AspectSite site_parameter_set_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                   uint32_t length, const PayloadRange* range, SetCopy copy) {
    SiteKind kind = codec == codec_vc1 ? site_vc1_sequence : site_parameter_set;
    AspectSite site = site_base(kind, holder, codec, bytes, pos, length, range);
    site.split = length > 0 && pos[length - 1] - pos[0] != length - 1;
    site.cut = copy.cut;
    site.across_repeat = copy.across_repeat;
    site.again_from = copy.again_from;
    return site;
}

namespace {

bool parameter_set_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    SpsInfo info;
    if (!sps_read(site->codec, bytes, site->length, &info)) return false;
    reading->aspect_present = info.aspect_present;
    reading->aspect = {info.idc, sps_sar(&info)};
    reading->keyed = true;
    reading->id = info.sps_id;
    reading->width = info.width;
    reading->height = info.height;
    return true;
}

AspectEdit parameter_set_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                              uint32_t* count) {
    *count = 0;
    // Bytes past those kept could change their escaping unseen.
    if (site->cut) return aspect_edit_escaping;
    return sps_aspect_edit(site->codec, bytes, site->length, target.sar, changes, count);
}

uint32_t parameter_set_field(const AspectSite* site, uint32_t* indices) {
    if (site->cut || site->across_repeat) return 0;
    return sps_field_bytes(site->codec, site->bytes, site->length, indices);
}

}  // namespace

const PlaceOps parameter_set_places = {parameter_set_read, parameter_set_edit, parameter_set_field};
