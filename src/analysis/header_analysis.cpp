#include "analysis/header_analysis.h"

#include <cstring>

#include "analysis/bit_reader.h"
#include "analysis/ps_demux.h"

namespace {

// Copies up to count bytes at offset; bytes past the buffer's end count as 0
// so that a start code near the end never reads outside it.
void copy_clipped(const uint8_t* buffer, uint32_t length, int64_t offset, uint8_t* out,
                  uint32_t count) {
    std::memset(out, 0, count);
    for (uint32_t i = 0; i < count; ++i) {
        int64_t at = offset + i;
        if (at >= 0 && at < static_cast<int64_t>(length)) out[i] = buffer[at];
    }
}

// Peeks n bits and shifts past them.
uint32_t take_bits(uint8_t* bits, uint32_t length, int n) {
    uint32_t value = n <= 8    ? peek_bits8(bits, n)
                     : n < 16 ? static_cast<uint32_t>(peek_bits16(bits, n))
                              : peek_bits32(bits, n);
    shift_bits_left(bits, length, static_cast<uint32_t>(n));
    return value;
}

void skip_bits(uint8_t* bits, uint32_t length, int n) {
    shift_bits_left(bits, length, static_cast<uint32_t>(n));
}

// Whether the bytes hold an MPEG sequence header's start code, which no
// H.264 or HEVC stream can hold (its byte after 00 00 01 would have the
// forbidden bit set).
bool sequence_code_in(const uint8_t* bytes, uint32_t length) {
    uint32_t window = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i) {
        window = (window << 8) | bytes[i];
        if (window == sequence_header_code) return true;
    }
    return false;
}

void scan_head(const uint8_t* headbuf, SequenceHeaderInfo* info) {
    uint32_t window = 0;
    // Before index 3 the window still holds the initial zero bytes.
    for (uint32_t i = 0; i < info->head_len; ++i) {
        window = (window << 8) + headbuf[i];
        if (i >= 3 && window == start_code_pack) {
            info->first_pack_pos = static_cast<int64_t>(i) - 3;
            return;
        }
    }
}

void scan_tail(const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    uint32_t window = 0;
    bool gop_seen = false;
    // Index 0 is never examined.
    for (uint32_t j = info->tail_len; j-- > 1;) {
        window = (window >> 8) + (static_cast<uint32_t>(tailbuf[j]) << 24);
        if (window == start_code_pack && info->last_pack_pos == -1) {
            info->last_pack_pos = info->tail_base + j;
        }
        if (window == start_code_gop) gop_seen = true;
        if (gop_seen && info->last_pack_pos != -1) break;
    }
}

uint32_t pack_clock_at(const uint8_t* buffer, uint32_t length, int64_t offset) {
    uint8_t bytes[5];
    copy_clipped(buffer, length, offset + 4, bytes, sizeof bytes);
    PackHeaderInfo pack = {0, 0};
    pack_header_parse(&pack, bytes);
    return pack.clock;
}

// The payload of video stream 0xE0, unit by unit, as the program stream
// walk reads it; damage ends the look.
void program_video_probe(const uint8_t* head, uint32_t length, VideoHeaderProbe* probe) {
    uint32_t pos = 0;
    while (pos < length && !video_probe_settled(probe)) {
        uint32_t zeros = first_nonzero(head + pos, length - pos);
        if (zeros >= 2 && pos + zeros < length && head[pos + zeros] == 1) pos += zeros - 2;
        PsUnit unit = ps_unit_at(head + pos, length - pos);
        if (unit.kind == ps_not_a_start_code) return;
        if (unit.kind == ps_packet && unit.id == stream_id_video) {
            uint32_t available = length - pos < unit.length ? length - pos : unit.length;
            uint32_t start = pes_payload_start(head + pos, available);
            if (start < available) video_probe_feed(probe, head + pos + start, available - start, pos + start);
        }
        pos += unit.length;
    }
}

// The first whole packet of a window that may begin in mid-packet.
uint32_t first_packet(const uint8_t* bytes, uint32_t length, TsLayout layout) {
    int64_t found = ts_sync_find(bytes, length, 0, layout.stride, ts_resync_run);
    return found >= 0 ? static_cast<uint32_t>(found) : length;
}

// The video PID's payload as the transport stream walk reads it: a bad,
// lost or skipped-over packet breaks it.
void transport_video_probe(const uint8_t* head, const SequenceHeaderInfo* info,
                           VideoHeaderProbe* probe) {
    if (!info->program.found) return;
    TsLayout layout = info->layout.ts;
    TsVideoTrack track;
    ts_track_init(&track, info->program.video_pid);
    uint32_t pos = first_packet(head, info->head_len, layout);
    for (uint32_t expected = pos; !video_probe_settled(probe); expected = pos) {
        const uint8_t* p = ts_packet_next(head, info->head_len, layout.stride, &pos);
        if (p == nullptr) return;
        if (pos != expected) {
            ts_track_lose(&track);
            video_probe_gap(probe);
        }
        pos += layout.stride;
        if (ts_pid(p) != track.pid) continue;
        // Only the first header is wanted: a repeated packet is a break too.
        uint8_t step = 0;
        uint32_t offset = ts_track_step(&track, p, &step);
        if (step != 0) video_probe_gap(probe);
        if (offset < ts_packet_size) {
            video_probe_feed(probe, p + offset, ts_packet_size - offset, (p - head) + offset);
        }
    }
}

// The first or last clock of a window: the program clock reference of the
// clock PID, or failing that the video's presentation time stamps.
bool transport_clock(const uint8_t* bytes, uint32_t length, const SequenceHeaderInfo* info,
                     bool last, bool pcr, uint32_t* clock) {
    uint16_t pcr_pid = info->program.pcr_pid != ts_pid_none ? info->program.pcr_pid
                                                            : info->program.video_pid;
    bool found = false;
    uint32_t pos = first_packet(bytes, length, info->layout.ts);
    while (const uint8_t* p = ts_packet_next(bytes, length, info->layout.ts.stride, &pos)) {
        pos += info->layout.ts.stride;
        uint32_t value = 0;
        bool has = false;
        if (pcr) {
            has = ts_pid(p) == pcr_pid && ts_pcr(p, &value);
        } else if (ts_pid(p) == info->program.video_pid && ts_unit_start(p)) {
            uint32_t offset = ts_payload_offset(p);
            has = offset < ts_packet_size && pes_pts(p + offset, ts_packet_size - offset, &value);
        }
        if (!has) continue;
        *clock = value;
        found = true;
        if (!last) return true;
    }
    return found;
}

bool transport_clocks(const uint8_t* head, const uint8_t* tail, const SequenceHeaderInfo* info,
                      uint32_t* first, uint32_t* last) {
    const bool pcr_first[] = {true, false};
    for (bool pcr : pcr_first) {
        if (transport_clock(head, info->head_len, info, false, pcr, first) &&
            transport_clock(tail, info->tail_len, info, true, pcr, last)) {
            return true;
        }
    }
    return false;
}

bool program_clocks(const uint8_t* head, const uint8_t* tail, const SequenceHeaderInfo* info,
                    uint32_t* first, uint32_t* last) {
    // A playing time needs both ends; with one pack header missing a
    // difference would be a wrapped-around 13 hours.
    if (info->first_pack_pos == -1 || info->last_pack_pos == -1) return false;
    *first = pack_clock_at(head, info->head_len, info->first_pack_pos);
    *last = pack_clock_at(tail, info->tail_len, info->last_pack_pos - info->tail_base);
    return true;
}

// Feeds the video payload in headbuf to the probe until it is settled.
void video_payload_probe(const uint8_t* headbuf, const SequenceHeaderInfo* info,
                         VideoHeaderProbe* probe) {
    switch (info->layout.kind) {
    case stream_elementary:
        video_probe_feed(probe, headbuf, info->head_len, 0);
        break;
    case stream_program:
        program_video_probe(headbuf, info->head_len, probe);
        break;
    case stream_transport:
        transport_video_probe(headbuf, info, probe);
        break;
    case stream_not_mpeg:
        break;
    }
}

}  // namespace

StreamLayout stream_layout_detect(const uint8_t* head, uint32_t length) {
    StreamLayout layout = {stream_not_mpeg, {0, 0}, codec_mpeg};
    // A stream may open with any run of zero bytes before its first start
    // code, as decoders take it.
    uint32_t zeros = first_nonzero(head, length);
    if (ts_layout_detect(head, length, &layout.ts)) {
        layout.kind = stream_transport;
    } else if (!sequence_code_in(head, length) && (layout.codec = nal_codec_detect(head, length)) != codec_mpeg) {
        layout.kind = stream_elementary;
    } else if (zeros >= 2 && zeros < length && head[zeros] == 1) {
        bool video_code = zeros + 1 < length && head[zeros + 1] < stream_id_program_end;
        layout.kind = video_code ? stream_elementary : stream_program;
    }
    return layout;
}

int header_seek(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    info->not_mpeg = 0xFF;
    info->first_pack_pos = -1;
    info->last_pack_pos = -1;
    info->first_seqhdr_pos = -1;
    info->program = ts_program_none;
    video_probe_init(&info->video);
    info->layout = stream_layout_detect(headbuf, info->head_len);
    if (info->layout.kind == stream_not_mpeg) return 0;
    info->not_mpeg = 0;
    if (info->layout.kind == stream_transport) {
        ts_program_find(headbuf, info->head_len, info->layout.ts, &info->program);
        info->layout.codec = info->program.codec;
    } else {
        scan_head(headbuf, info);
        scan_tail(tailbuf, info);
    }
    // A parameter set is found by the engine's walk, with its own scanner.
    if (info->layout.codec == codec_mpeg) video_payload_probe(headbuf, info, &info->video);
    return 0;
}

int sequence_header_parse(SequenceHeaderFields* fields, const uint8_t* bytes) {
    uint8_t bits[8];
    std::memcpy(bits, bytes, sizeof bits);
    fields->horizontal_size = static_cast<int32_t>(take_bits(bits, 8, 12));
    fields->vertical_size = static_cast<int32_t>(take_bits(bits, 8, 12));
    fields->aspect_code = static_cast<uint8_t>(take_bits(bits, 8, 4));
    fields->frame_rate_code = static_cast<uint8_t>(take_bits(bits, 8, 4));
    fields->bit_rate_value = take_bits(bits, 8, 18);
    return 0;
}

uint32_t scr_parse(const uint8_t* bytes, int32_t version) {
    if (version != 1 && version != 2) return 1;
    uint8_t bits[5];
    std::memcpy(bits, bytes, sizeof bits);
    skip_bits(bits, 5, version == 2 ? 2 : 4);
    uint32_t hi = take_bits(bits, 5, 3);
    skip_bits(bits, 5, 1);  // marker
    uint32_t mid = take_bits(bits, 5, 15);
    skip_bits(bits, 5, 1);
    uint32_t lo = take_bits(bits, 5, 15);
    return (hi << 30) + (mid << 15) + lo;
}

int pack_header_parse(PackHeaderInfo* pack, const uint8_t* bytes) {
    if (pack->version == 0) {
        if ((bytes[0] & 0xC0) == 0x40) {
            pack->version = 2;
        } else if ((bytes[0] & 0xF0) == 0x20) {
            pack->version = 1;
        }
    }
    pack->clock = scr_parse(bytes, pack->version);
    return 0;
}

int header_parse(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    SequenceHeaderFields fields = {0, 0, 0, 0, 0};
    info->first_seqhdr_pos = -1;
    if (video_probe_found(&info->video)) {
        info->first_seqhdr_pos = info->video.code_pos - 3;
        sequence_header_parse(&fields, info->video.header + 4);
    }
    info->horizontal_size = fields.horizontal_size;
    info->vertical_size = fields.vertical_size;
    info->aspect_code = fields.aspect_code;
    info->frame_rate_code = fields.frame_rate_code;
    info->bit_rate_value = fields.bit_rate_value;

    uint32_t first_clock = 0;
    uint32_t last_clock = 0;
    bool clocks = info->layout.kind == stream_transport
                      ? transport_clocks(headbuf, tailbuf, info, &first_clock, &last_clock)
                      : program_clocks(headbuf, tailbuf, info, &first_clock, &last_clock);
    info->duration_sec = 0;
    if (clocks) {
        uint32_t ticks = last_clock - first_clock;
        info->duration_sec = static_cast<double>(static_cast<long double>(ticks) * (1.0L / 90000.0L));
    }

    // The aspect nibble belongs to the video, so the video decides the
    // version: an MPEG-2 sequence header is followed by its extension, and
    // the system layer around it may be of either kind.
    info->mpeg_version = info->video.extension == 1 ? 2 : 1;
    return 0;
}
