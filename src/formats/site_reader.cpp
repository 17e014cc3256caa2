#include "formats/site_reader.h"

#include "codecs/dv_dif.h"
#include "codecs/dv_scan.h"
#include "codecs/frame_headers.h"
#include "codecs/framing.h"
#include "codecs/mpeg4_vol.h"
#include "codecs/nal_records.h"
#include "codecs/nal_scan.h"
#include "codecs/vol_scan.h"
#include "fileio/result.h"

void site_reader_init(SiteReader* reader, Walk* walk, VideoCodec codec, Result broken) {
    reader->walk = walk;
    reader->codec = codec;
    reader->broken = broken;
    reader->length = 0;
}

int32_t site_reader_gather(SiteReader* r, uint32_t from, int64_t pos, uint32_t length) {
    if (length > sps_bytes_most - from) return reader_broken(&r->walk->reader, pos, r->broken);
    for (uint32_t done = 0; done < length;) {
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        uint32_t want = length - done < reader_fetch_most ? length - done : reader_fetch_most;
        int32_t result = reader_fetch_sparse(&r->walk->reader, pos + done, want, &bytes, &got);
        if (result != 0) return result;
        if (got != want) return reader_broken(&r->walk->reader, pos, r->broken);
        for (uint32_t k = 0; k < got; ++k) {
            r->bytes[from + done + k] = bytes[k];
            r->pos[from + done + k] = pos + done + k;
        }
        done += got;
    }
    r->length = from + length;
    return 0;
}

const PayloadRange* site_reader_range(SiteReader* r, int64_t unit_pos) {
    r->range = {0, r->length, 0, unit_pos, unit_pos};
    return &r->range;
}

int32_t site_reader_hand(SiteReader* r, const AspectSite* site) {
    const WalkSink& sink = r->walk->sink;
    return sink.site == nullptr ? 0 : sink.site(sink.context, site);
}

int32_t parameter_set_hand(SiteReader* r, int64_t pos, uint32_t length, SiteHolder holder, int64_t unit_pos) {
    uint32_t kept = length < sps_bytes_most ? length : sps_bytes_most;
    int32_t result = site_reader_gather(r, 0, pos, kept);
    if (result != 0) return result;
    AspectSite site = site_parameter_set_make(r->codec, holder, r->bytes, r->pos, kept, site_reader_range(r, unit_pos),
                                              set_copy_once(length > kept));
    return site_reader_hand(r, &site);
}

int32_t frame_header_hand(SiteReader* r, ForeignCodec codec, uint32_t width, uint32_t height, int64_t pos,
                          uint32_t size) {
    uint32_t want = frame_header_bytes(codec);
    uint32_t length = size < want ? size : want;
    if (length == 0) return 0;
    int32_t result = site_reader_gather(r, 0, pos, length);
    if (result != 0) return result;
    AspectSite site = site_frame_header_make(codec, r->bytes, r->pos, length, site_reader_range(r, pos), width, height);
    return site_reader_hand(r, &site);
}

namespace {

// What of an MPEG video sample's head is looked at.
constexpr uint32_t mpeg_head_bytes = 256;

// The sets after start codes in the bytes, as a record with no length
// fields: each unit ends before the zeros of the next start code.
void start_code_sets_read(VideoCodec codec, const uint8_t* b, uint32_t length, ConfigRecord* record) {
    *record = ConfigRecord{};
    for (uint32_t at = start_code_next(b, 0, length); at < length; at = start_code_next(b, at, length)) {
        uint32_t unit = nal_unit_length(b, at, length);
        if (sps_nal_is(codec, b + at, unit) && record->set_count < record_sets_most) {
            record->sets[record->set_count++] = {at, unit};
        }
    }
}

// The record, read into the gathered bytes: false when it does not read.
bool config_read(SiteReader* r, int64_t pos, uint32_t length, ConfigRecord* record, int32_t* result) {
    uint32_t kept = length < sps_bytes_most ? length : sps_bytes_most;
    *result = site_reader_gather(r, 0, pos, kept);
    uint32_t code_at = 0;
    // VC-1's configuration is its units after start codes, which Windows
    // encoders put a byte before.
    bool units = r->codec == codec_vc1 || start_code_opens(r->bytes, kept, &code_at);
    if (*result == 0 && units) {
        start_code_sets_read(r->codec, r->bytes, kept, record);
        return true;
    }
    return *result == 0 && config_record_read(r->codec, r->bytes, kept, record);
}

}  // namespace

uint32_t config_length_size(SiteReader* r, int64_t pos, uint32_t length) {
    ConfigRecord record;
    int32_t result = 0;
    return config_read(r, pos, length, &record, &result) ? record.length_size : 4;
}

int32_t config_sets_hand(SiteReader* r, int64_t pos, uint32_t length, SiteHolder holder) {
    ConfigRecord record;
    int32_t result = 0;
    if (!config_read(r, pos, length, &record, &result)) return result;
    for (uint32_t k = 0; k < record.set_count && result == 0; ++k) {
        result = parameter_set_hand(r, pos + record.sets[k].offset, record.sets[k].length, holder, pos);
    }
    return result;
}

int32_t unit_sets_hand(SiteReader* r, int64_t pos, uint32_t size, uint32_t length_size) {
    uint32_t header = nal_header_size(r->codec);
    int64_t end = pos + size;
    // A sample that the end of a file cut short cuts is read as far as it goes.
    int64_t there = end < r->walk->reader.size ? end : r->walk->reader.size;
    for (int64_t at = pos; there - at > length_size + header;) {
        const uint8_t* b = nullptr;
        uint32_t got = 0;
        int32_t result = reader_fetch_sparse(&r->walk->reader, at, length_size + header, &b, &got);
        if (result != 0) return result;
        uint32_t unit = nal_length_field(b, length_size);
        int64_t unit_pos = at + length_size;
        if (unit < header || unit > end - unit_pos || nal_is_picture(r->codec, b[length_size])) return 0;
        bool set = sps_nal_is(r->codec, b + length_size, header);
        if (unit > there - unit_pos) {
            if (set) ++r->walk->met.cut_places;
            return 0;
        }
        if (set) {
            result = parameter_set_hand(r, unit_pos, unit, holder_stream, pos);
            if (result != 0) return result;
        }
        at = unit_pos + unit;
    }
    return 0;
}

namespace {

// How much of a frame framed by start codes is looked at first; each
// further look takes eight times as much, up to a fetch's most.
constexpr uint32_t start_code_head_least = 1024;

// Index just past the header byte of the first picture's unit that begins
// in the bytes, or `length` where none does.
uint32_t picture_unit_end(VideoCodec codec, const uint8_t* b, uint32_t length) {
    for (uint32_t at = start_code_next(b, 0, length); at < length; at = start_code_next(b, at, length)) {
        if (nal_is_picture(codec, b[at])) return at + 1;
    }
    return length;
}

// Whether the last unit that begins in the bytes is a parameter set or a VOL.
bool last_unit_set(VideoCodec codec, const uint8_t* b, uint32_t length) {
    uint32_t last = length;
    for (uint32_t at = start_code_next(b, 0, length); at < length; at = start_code_next(b, at, length)) last = at;
    if (last < length && codec == codec_mpeg4) return vol_code_is(b[last]);
    return last < length && sps_nal_is(codec, b + last, length - last);
}

uint32_t least_of(uint64_t a, uint64_t b) {
    return static_cast<uint32_t>(a < b ? a : b);
}

}  // namespace

int32_t start_code_head_feed(SiteReader* r, int64_t pos, uint32_t size) {
    BlockReader* reader = &r->walk->reader;
    int64_t there = pos + size < reader->size ? pos + size : reader->size;
    uint32_t within = there > pos ? static_cast<uint32_t>(there - pos) : 0;
    for (uint32_t want = least_of(within, start_code_head_least);;
         want = least_of(least_of(within, uint64_t{want} * 8), reader_fetch_most)) {
        const uint8_t* b = nullptr;
        uint32_t got = 0;
        int32_t result = reader_fetch_sparse(reader, pos, want, &b, &got);
        uint32_t code = 0;
        if (result != 0 || got == 0 || !start_code_opens(b, got, &code)) return result;
        uint32_t end = picture_unit_end(r->codec, b, got);
        bool whole = got == within;
        if (end == got && !whole && want < reader_fetch_most) continue;
        bool frame_ends = whole && there == pos + size;
        if (end == got && whole && !frame_ends && last_unit_set(r->codec, b, got)) ++r->walk->met.cut_places;
        uint8_t breaks = payload_gap | (end == got && frame_ends ? payload_unit_end : 0);
        PayloadRange range = {0, end, breaks, pos, pos};
        const WalkSink& sink = r->walk->sink;
        return sink.feed(sink.context, b, pos, &range, 1);
    }
}

int32_t config_vols_hand(SiteReader* r, int64_t pos, uint32_t length, SiteHolder holder) {
    uint32_t kept = length < sps_bytes_most ? length : sps_bytes_most;
    int32_t result = site_reader_gather(r, 0, pos, kept);
    if (result != 0) return result;
    const PayloadRange* range = site_reader_range(r, pos);
    for (uint32_t at = start_code_next(r->bytes, 0, kept); at < kept && result == 0;) {
        uint32_t next = start_code_next(r->bytes, at, kept);
        uint32_t end = next < kept ? next - 3 : kept;
        uint32_t n = end - at < vol_bytes_most ? end - at : vol_bytes_most;
        if (vol_code_is(r->bytes[at])) {
            AspectSite site = site_video_object_layer_make(holder, r->bytes + at, r->pos + at, n, range, false);
            result = site_reader_hand(r, &site);
        }
        at = next;
    }
    return result;
}

int32_t mpeg_bytes_feed(SiteReader* r, int64_t pos, uint32_t length) {
    const uint8_t* bytes = nullptr;
    uint32_t got = 0;
    int32_t result = reader_fetch_sparse(&r->walk->reader, pos, length, &bytes, &got);
    if (result != 0 || got == 0) return result;
    PayloadRange range = {0, got, payload_gap, pos, pos};
    const WalkSink& sink = r->walk->sink;
    return sink.feed(sink.context, bytes, pos, &range, 1);
}

int32_t mpeg_head_feed(SiteReader* r, int64_t pos, uint32_t size) {
    return mpeg_bytes_feed(r, pos, size < mpeg_head_bytes ? size : mpeg_head_bytes);
}

namespace {

// A DV stream's DVINFO: its sixth dword, dwDVVAuxCtl, repeats the first
// source control pack's data.
constexpr uint32_t dvinfo_bytes = 32;
constexpr uint32_t dvinfo_control_at = 20;

int32_t dvinfo_hand(SiteReader* r, int64_t pos, uint32_t length) {
    if (length < dvinfo_bytes) return 0;
    int64_t at = pos + dvinfo_control_at;
    int32_t result = site_reader_gather(r, 0, at, dv_control_bytes);
    if (result != 0) return result;
    AspectSite copy = site_dv_control_make(holder_dvinfo, r->bytes, r->pos, site_reader_range(r, at));
    return site_reader_hand(r, &copy);
}

}  // namespace

int32_t config_places_hand(SiteReader* r, int64_t pos, uint32_t length, SiteHolder holder) {
    if (length == 0) return 0;
    switch (r->codec) {
    case codec_dv: return dvinfo_hand(r, pos, length);
    case codec_mpeg4: return config_vols_hand(r, pos, length, holder);
    case codec_mpeg: return mpeg_bytes_feed(r, pos, length);
    case codec_avc:
    case codec_hevc:
    case codec_vc1: return config_sets_hand(r, pos, length, holder);
    default: return 0;
    }
}

uint32_t format_extra_length_size(SiteReader* r, int64_t pos, uint32_t length) {
    ConfigRecord record;
    int32_t result = 0;
    // A record opens with its version, 1, as decoders tell it from sets
    // after start codes.
    bool read = codec_has_sets(r->codec) && length > 0 && config_read(r, pos, length, &record, &result);
    return read && r->bytes[0] == 1 ? record.length_size : 0;
}
