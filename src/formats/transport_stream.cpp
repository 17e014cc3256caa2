#include <memory>

#include "codecs/framing.h"
#include "codecs/mpeg_video.h"
#include "fileio/result.h"
#include "formats/ps_units.h"
#include "formats/ts_packets.h"
#include "formats/walk.h"

namespace {

// The most payload ranges handed over at once: one per packet of the
// longest fetch.
constexpr uint32_t ranges_most = reader_fetch_most / ts_packet_size + 1;

// The walk's own state: the video PID's packets as they follow one
// another, the ranges gathered from one fetch of packets and the breaks
// that the next range gets.
struct TsWalk {
    Walk* walk;
    TsVideoTrack track;
    uint32_t video_packets;      // of the video PID
    uint32_t scrambled_packets;  // of those
    PayloadRange ranges[ranges_most];
    uint32_t range_count;
    uint8_t pending_breaks;
};

void payload_break(TsWalk* tw) {
    tw->pending_breaks |= payload_gap;
    ts_track_lose(&tw->track);
}

void range_add(TsWalk* tw, uint32_t first, uint32_t i, uint8_t breaks, int64_t base) {
    int64_t at = base + i;
    tw->ranges[tw->range_count++] = {first, i + ts_packet_size, breaks, at, at + ts_packet_size};
}

// Hands over the ranges gathered from one fetch, which starts at file
// position base.
int32_t ranges_flush(TsWalk* tw, const uint8_t* fetched, int64_t base) {
    uint32_t count = tw->range_count;
    tw->range_count = 0;
    const WalkSink& sink = tw->walk->sink;
    return count == 0 ? 0 : sink.feed(sink.context, fetched, base, tw->ranges, count);
}

// A packet of the video PID at offset i of the fetch. A packet that repeats
// the last one is read from the state before the last one, so that both
// copies are rewritten and no header is put together across them; a lost
// or unreadable packet breaks the payload.
void video_packet(TsWalk* tw, const uint8_t* fetched, uint32_t i, int64_t base) {
    ++tw->video_packets;
    if (ts_scrambled(fetched + i)) ++tw->scrambled_packets;
    uint8_t step = 0;
    uint32_t offset = ts_track_step(&tw->track, fetched + i, &step);
    uint8_t breaks = tw->pending_breaks | ((step & ts_step_loss) != 0 ? payload_gap : 0) |
                     ((step & ts_step_repeat) != 0 ? payload_repeat : 0);
    if (offset >= ts_packet_size) {
        tw->pending_breaks = breaks & payload_gap;
        return;
    }
    tw->pending_breaks = 0;
    range_add(tw, i + offset, i, breaks, base);
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
int32_t sync_recover(TsWalk* tw, int64_t* pos) {
    Walk* w = tw->walk;
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
    ++w->met.sync_losses;
    w->met.sync_skipped += found_at - *pos;
    *pos = found_at;
    payload_break(tw);
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

// Why a walk to the end met no video: its PID carries no packet, or only
// scrambled ones.
int32_t video_unseen(const TsWalk* tw) {
    if (tw->video_packets == 0) return result_video_pid_empty;
    return tw->scrambled_packets > 0 ? result_video_scrambled : 0;
}

// Packet by packet; only the video PID's payload is fed, a fetch of packets
// at a time. Bytes before the first whole packet (a recording cut in
// mid-packet) are passed over.
int32_t packets_walk(TsWalk* tw) {
    Walk* w = tw->walk;
    int64_t size = w->reader.size;
    uint32_t stride = w->layout.ts.stride;
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
            if (ts_track_plain(&tw->track, be32_at(p))) {  // the payload follows on
                ++tw->video_packets;
                range_add(tw, i + 4, i, 0, pos);
                continue;
            }
            if (p[0] != ts_sync_byte) break;
            if (ts_pid(p) == w->video_pid) {
                video_packet(tw, bytes, i, pos);
            } else {
                other_packet(&w->met.other_video, p);
            }
        }
        result = ranges_flush(tw, bytes, pos);
        if (result != 0) return result;
        bool sync_lost = i + ts_packet_size <= available;
        pos += i;
        if (sync_lost) {
            result = sync_recover(tw, &pos);
            if (result != 0) return result;
        }
    }
    w->met.video_unseen = video_unseen(tw);
    return 0;
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

int32_t transport_walk(Walk* w) {
    std::unique_ptr<TsWalk> tw(new TsWalk{});
    tw->walk = w;
    ts_track_init(&tw->track, w->video_pid);
    return packets_walk(tw.get());
}

void transport_stream_find(const uint8_t* head, uint32_t length, StreamLayout* layout, TsProgram* program) {
    ts_program_find(head, length, layout->ts, program);
    layout->codec = program->codec;
}

// A recording that opens with more null packets than the head window holds
// has its tables further on: windows that overlap by half, so that tables
// split between two are seen whole in one, until tables or a video stream
// turn up.
int32_t transport_stream_seek(FileHandleRec* file, uint32_t window_size, StreamLayout* layout, TsProgram* program) {
    if (program->found || program->tables_seen) return 0;
    const TsLayout& ts = layout->ts;
    FileBuffer window;
    if (!file_buffer_make(&window, window_size)) return result_data_buffer_error;
    int64_t step = window_size / 2 / ts.stride * ts.stride;
    for (int64_t at = ts.first_sync + step; !program->found && !program->tables_seen &&
                                            at + ts_packet_size <= file->size;
         at += step) {
        int64_t left = file->size - at;
        uint32_t want = left < window_size ? static_cast<uint32_t>(left) : window_size;
        uint32_t got = file_read_at(file, at, window.bytes, want);
        if (got != want) return result_read_error;
        ts_program_find(window.bytes, got, TsLayout{ts.stride, 0}, program);
    }
    layout->codec = program->codec;
    return 0;
}
