#include "formats/ts_packets.h"

#include <cstring>

#include "codecs/framing.h"
#include "formats/ps_units.h"

namespace {

constexpr uint32_t ts_strides[] = {188, 192, 204};
// How far into a file its first whole packet is looked for.
constexpr uint32_t ts_detect_reach = 1024;

// The extended stream id, which VC-1's PES packets have on Blu-ray discs.
constexpr uint8_t pes_extended_stream = 0xFD;

// `extended`: the video PID's own packets, whose tables named them video,
// where that id is video's too; elsewhere it may be audio's.
uint32_t pes_payload_of(const uint8_t* p, bool extended) {
    uint32_t offset = ts_payload_offset(p);
    if (offset + 9 > ts_packet_size) return ts_packet_size;
    const uint8_t* pes = p + offset;
    bool video = (pes[3] & 0xF0) == 0xE0 || (extended && pes[3] == pes_extended_stream);
    if (!start_code_at(pes) || !video) return ts_packet_size;
    uint32_t start = offset + pes_payload_start(pes, ts_packet_size - offset);
    return start < ts_packet_size ? start : ts_packet_size;
}

}  // namespace

int64_t ts_sync_find(const uint8_t* bytes, uint32_t length, uint32_t from, uint32_t stride,
                     uint32_t run) {
    for (uint32_t at = from; at + ts_packet_size <= length; ++at) {
        const void* sync = std::memchr(bytes + at, ts_sync_byte, length - ts_packet_size + 1 - at);
        if (sync == nullptr) return -1;
        at = static_cast<uint32_t>(static_cast<const uint8_t*>(sync) - bytes);
        uint32_t k = 1;
        while (k < run && at + k * stride < length && bytes[at + k * stride] == ts_sync_byte) ++k;
        if (k == run || at + k * stride >= length) return at;
    }
    return -1;
}

bool ts_layout_detect(const uint8_t* bytes, uint32_t length, TsLayout* layout) {
    for (uint32_t at = 0; at < ts_detect_reach && at < length; ++at) {
        if (bytes[at] != ts_sync_byte) continue;
        for (uint32_t stride : ts_strides) {
            // A short file (a camcorder's few packets) is one when every
            // packet it has is in step, two at the least.
            if (at + stride + ts_packet_size > length) continue;
            if (ts_sync_find(bytes, length, at, stride, ts_detect_run) == at) {
                *layout = {stride, at};
                return true;
            }
        }
    }
    return false;
}

const uint8_t* ts_packet_next(const uint8_t* bytes, uint32_t length, uint32_t stride,
                              uint32_t* pos) {
    if (*pos + ts_packet_size > length) return nullptr;
    if (bytes[*pos] != ts_sync_byte) {
        int64_t found = ts_sync_find(bytes, length, *pos + 1, stride, ts_resync_run);
        if (found < 0) return nullptr;
        *pos = static_cast<uint32_t>(found);
    }
    return bytes + *pos;
}

bool ts_pcr(const uint8_t* p, uint32_t* pcr) {
    if ((p[3] & 0x20) == 0 || p[4] < 7 || (p[5] & 0x10) == 0) return false;
    *pcr = (static_cast<uint32_t>(p[6]) << 25) | (static_cast<uint32_t>(p[7]) << 17) |
           (static_cast<uint32_t>(p[8]) << 9) | (static_cast<uint32_t>(p[9]) << 1) | (p[10] >> 7);
    return true;
}

uint32_t ts_video_pes_payload(const uint8_t* p) {
    return pes_payload_of(p, false);
}

void ts_track_init(TsVideoTrack* track, uint16_t pid) {
    track->pid = pid;
    ts_track_lose(track);
}

void ts_track_lose(TsVideoTrack* track) {
    track->last_continuity = -1;
    track->plain_next = 0;
}

uint32_t ts_track_step(TsVideoTrack* track, const uint8_t* p, uint8_t* step) {
    *step = 0;
    if (ts_transport_error(p) || ts_scrambled(p)) {
        ts_track_lose(track);
        *step = ts_step_loss;
        return ts_packet_size;
    }
    uint32_t offset = ts_payload_offset(p);
    if (offset >= ts_packet_size) return ts_packet_size;
    int continuity = ts_continuity(p);
    if (continuity == track->last_continuity) {
        *step = ts_step_repeat;
    } else if (track->last_continuity >= 0 && continuity != ((track->last_continuity + 1) & 0x0F)) {
        *step = ts_step_loss;
    }
    track->last_continuity = continuity;
    track->plain_next = static_cast<uint32_t>(ts_sync_byte) << 24 | static_cast<uint32_t>(track->pid) << 8 |
                        0x10 | ((continuity + 1) & 0x0F);
    return ts_unit_start(p) ? pes_payload_of(p, true) : offset;
}
