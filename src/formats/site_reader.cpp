#include "formats/site_reader.h"

#include "codecs/frame_headers.h"
#include "codecs/framing.h"
#include "codecs/nal_records.h"
#include "fileio/result.h"

void site_reader_init(SiteReader* reader, Walk* walk, VideoCodec codec) {
    reader->walk = walk;
    reader->codec = codec;
    reader->length = 0;
}

int32_t site_reader_gather(SiteReader* r, uint32_t from, int64_t pos, uint32_t length) {
    if (length > sps_bytes_most - from) return result_box_broken;
    for (uint32_t done = 0; done < length;) {
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        uint32_t want = length - done < reader_fetch_most ? length - done : reader_fetch_most;
        int32_t result = reader_fetch_sparse(&r->walk->reader, pos + done, want, &bytes, &got);
        if (result != 0) return result;
        if (got != want) return result_box_broken;
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

int32_t frame_header_hand(SiteReader* r, ForeignCodec codec, int64_t pos, uint32_t size) {
    uint32_t want = frame_header_bytes(codec);
    uint32_t length = size < want ? size : want;
    if (length == 0) return 0;
    int32_t result = site_reader_gather(r, 0, pos, length);
    if (result != 0) return result;
    AspectSite site = site_frame_header_make(codec, r->bytes, r->pos, length, site_reader_range(r, pos));
    return site_reader_hand(r, &site);
}

namespace {

// What of an MPEG video sample's head is looked at.
constexpr uint32_t mpeg_head_bytes = 256;

// The record, read into the gathered bytes: false when it does not read.
bool config_read(SiteReader* r, int64_t pos, uint32_t length, ConfigRecord* record, int32_t* result) {
    uint32_t kept = length < sps_bytes_most ? length : sps_bytes_most;
    *result = site_reader_gather(r, 0, pos, kept);
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
    for (int64_t at = pos; end - at > length_size + header;) {
        const uint8_t* b = nullptr;
        uint32_t got = 0;
        int32_t result = reader_fetch_sparse(&r->walk->reader, at, length_size + header, &b, &got);
        if (result != 0) return result;
        uint32_t unit = nal_length_field(b, length_size);
        int64_t unit_pos = at + length_size;
        if (unit < header || unit > end - unit_pos || nal_is_picture(r->codec, b[length_size])) return 0;
        if (sps_nal_is(r->codec, b + length_size, header)) {
            result = parameter_set_hand(r, unit_pos, unit, holder_stream, pos);
            if (result != 0) return result;
        }
        at = unit_pos + unit;
    }
    return 0;
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
