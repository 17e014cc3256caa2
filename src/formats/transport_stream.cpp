#include "codecs/framing.h"
#include "codecs/mpeg_video.h"
#include "formats/ps_units.h"
#include "formats/ts_packets.h"
#include "formats/walk.h"

namespace {

void payload_break(Walk* w, TsVideoTrack* track) {
    w->pending_breaks |= payload_gap;
    ts_track_lose(track);
}

void range_add(Walk* w, uint32_t first, uint32_t i, uint8_t breaks, int64_t base) {
    int64_t at = base + i;
    w->ranges[w->range_count++] = {first, i + ts_packet_size, breaks, at, at + ts_packet_size};
}

// Hands over the ranges gathered from one fetch, which starts at file
// position base.
int32_t ranges_flush(Walk* w, const uint8_t* fetched, int64_t base) {
    uint32_t count = w->range_count;
    w->range_count = 0;
    return count == 0 ? 0 : w->sink.feed(w->sink.context, fetched, base, w->ranges, count);
}

// A packet of the video PID at offset i of the fetch. A packet that repeats
// the last one is read from the state before the last one, so that both
// copies are rewritten and no header is put together across them; a lost
// or unreadable packet breaks the payload.
void video_packet(Walk* w, TsVideoTrack* track, const uint8_t* fetched, uint32_t i, int64_t base) {
    ++w->video_packets;
    if (ts_scrambled(fetched + i)) ++w->scrambled_packets;
    uint8_t step = 0;
    uint32_t offset = ts_track_step(track, fetched + i, &step);
    uint8_t breaks = w->pending_breaks | ((step & ts_step_loss) != 0 ? payload_gap : 0) |
                     ((step & ts_step_repeat) != 0 ? payload_repeat : 0);
    if (offset >= ts_packet_size) {
        w->pending_breaks = breaks & payload_gap;
        return;
    }
    w->pending_breaks = 0;
    range_add(w, i + offset, i, breaks, base);
}

// A packet of another PID: a video stream there is counted until one that
// carries sequence headers has been seen.
void other_packet(OtherVideo* other, const uint8_t* p) {
    uint16_t pid = ts_pid(p);
    if (pid != other->pid) {
        if (other->headers > 0 || !ts_unit_start(p) || ts_video_pes_payload(p) >= ts_packet_size) {
            return;
        }
        other->pid = pid;
        other->window = 0xFFFFFFFFu;
    }
    if (ts_transport_error(p) || ts_scrambled(p)) return;
    uint32_t offset = ts_unit_start(p) ? ts_video_pes_payload(p) : ts_payload_offset(p);
    while (offset < ts_packet_size) {
        offset += code_window_seek(&other->window, p + offset, ts_packet_size - offset, sequence_header_code);
        if (other->window == sequence_header_code) ++other->headers;
    }
}

// After damage, the next place where packets follow one another again.
int32_t sync_recover(Walk* w, int64_t* pos, TsVideoTrack* track) {
    int64_t size = w->reader.size;
    uint32_t stride = w->layout.ts.stride;
    int64_t at = *pos + 1;
    int64_t found_at = size;
    while (at + ts_packet_size <= size) {
        const uint8_t* bytes = nullptr;
        uint32_t available = 0;
        int32_t result = reader_fetch(&w->reader, at, reader_fetch_most, &bytes, &available);
        if (result != 0) return result;
        bool to_end = at + available >= size;
        int64_t found = ts_sync_find(bytes, available, 0, stride, ts_resync_run);
        if (found < 0) {
            if (to_end) break;
            at += available - ts_packet_size + 1;
            continue;
        }
        // A run cut off by the end of what was fetched is looked at again.
        bool whole_run = found + (ts_resync_run - 1) * stride < available;
        if (whole_run || to_end || found == 0) {
            found_at = at + found;
            break;
        }
        at += found;
    }
    ++w->sync_losses;
    w->sync_skipped += found_at - *pos;
    *pos = found_at;
    payload_break(w, track);
    return 0;
}

// The first whole packet of a window that may begin in mid-packet.
uint32_t first_packet(const uint8_t* bytes, uint32_t length, TsLayout layout) {
    int64_t found = ts_sync_find(bytes, length, 0, layout.stride, ts_resync_run);
    return found >= 0 ? static_cast<uint32_t>(found) : length;
}

// The first or last clock of a window: the program clock reference of the
// clock PID, or failing that the video's presentation time stamps.
bool transport_clock(const uint8_t* bytes, uint32_t length, const ClockLook* look, bool last, bool pcr,
                     uint32_t* clock) {
    uint16_t pcr_pid = look->clock_pid != ts_pid_none ? look->clock_pid : look->video_pid;
    uint32_t stride = look->layout.ts.stride;
    bool found = false;
    uint32_t pos = first_packet(bytes, length, look->layout.ts);
    while (const uint8_t* p = ts_packet_next(bytes, length, stride, &pos)) {
        pos += stride;
        uint32_t value = 0;
        bool has = false;
        if (pcr) {
            has = ts_pid(p) == pcr_pid && ts_pcr(p, &value);
        } else if (ts_pid(p) == look->video_pid && ts_unit_start(p)) {
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

}  // namespace

void transport_clocks(const ClockLook* look, StreamClocks* clocks) {
    clocks->first_pack_pos = -1;
    clocks->last_pack_pos = -1;
    const bool pcr_first[] = {true, false};
    for (bool pcr : pcr_first) {
        if (transport_clock(look->head, look->head_len, look, false, pcr, &clocks->first) &&
            transport_clock(look->tail, look->tail_len, look, true, pcr, &clocks->last)) {
            clocks->found = true;
            return;
        }
    }
    clocks->found = false;
}

// Packet by packet; only the video PID's payload is fed, a fetch of packets
// at a time. Bytes before the first whole packet (a recording cut in
// mid-packet) are passed over.
int32_t transport_walk(Walk* w) {
    int64_t size = w->reader.size;
    uint32_t stride = w->layout.ts.stride;
    TsVideoTrack track;
    ts_track_init(&track, w->video_pid);
    int64_t pos = w->layout.ts.first_sync;
    while (pos + ts_packet_size <= size) {
        const uint8_t* bytes = nullptr;
        uint32_t available = 0;
        int32_t result = reader_fetch_some(&w->reader, pos, reader_fetch_most, &bytes, &available);
        // A packet that runs past the end of the block is fetched whole.
        if (result == 0 && available < ts_packet_size) {
            result = reader_fetch(&w->reader, pos, ts_packet_size, &bytes, &available);
        }
        if (result != 0) return result;
        uint32_t i = 0;
        for (; i + ts_packet_size <= available; i += stride) {
            const uint8_t* p = bytes + i;
            if (ts_track_plain(&track, be32_at(p))) {  // the payload follows on
                ++w->video_packets;
                range_add(w, i + 4, i, 0, pos);
                continue;
            }
            if (p[0] != ts_sync_byte) break;
            if (ts_pid(p) == w->video_pid) {
                video_packet(w, &track, bytes, i, pos);
            } else {
                other_packet(&w->other_video, p);
            }
        }
        result = ranges_flush(w, bytes, pos);
        if (result != 0) return result;
        bool sync_lost = i + ts_packet_size <= available;
        pos += i;
        if (sync_lost) {
            result = sync_recover(w, &pos, &track);
            if (result != 0) return result;
        }
    }
    return 0;
}
