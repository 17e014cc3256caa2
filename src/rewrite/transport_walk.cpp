#include "rewrite/walk.h"

#include <cstring>

#include "analysis/ts_demux.h"

namespace {

// Copies a sink's state, a whole number of 8-byte words, without a call.
void state_copy(void* to, const void* from, uint32_t size) {
    for (uint32_t i = 0; i < size; i += 8) {
        std::memcpy(static_cast<uint8_t*>(to) + i, static_cast<const uint8_t*>(from) + i, 8);
    }
}

// Where the walk is in the video PID's packets.
struct VideoTrack {
    int last_continuity;  // -1 when the next packet follows nothing
};

void sink_gap(Walk* w, VideoTrack* track) {
    w->sink.gap(w->sink.context);
    track->last_continuity = -1;
}

// One packet of the video PID. A packet that repeats the last one (same
// continuity counter) is read from the state before the last one, so that
// both copies are rewritten and no header is put together across them; a
// counter that jumps (a lost packet) breaks the payload.
int32_t video_packet(Walk* w, VideoTrack* track, const uint8_t* p, int64_t at) {
    if (ts_transport_error(p) || ts_scrambled(p)) {
        sink_gap(w, track);
        return 0;
    }
    uint32_t offset = ts_payload_offset(p);
    if (offset >= ts_packet_size) return 0;  // adaptation field only: the counter stays
    int continuity = ts_continuity(p);
    if (continuity == track->last_continuity) {
        state_copy(w->sink.state, w->saved_state, w->sink.state_size);
    } else {
        if (track->last_continuity >= 0 && continuity != ((track->last_continuity + 1) & 0x0F)) {
            w->sink.gap(w->sink.context);
        }
        state_copy(w->saved_state, w->sink.state, w->sink.state_size);
    }
    track->last_continuity = continuity;
    if (ts_unit_start(p)) offset = ts_video_pes_payload(p);
    if (offset >= ts_packet_size) return 0;
    w->unit_pos = at;
    w->progress_pos = at + ts_packet_size;
    return w->sink.feed(w->sink.context, p, offset, ts_packet_size, at);
}

// After damage, the next place where packets follow one another again.
int32_t sync_recover(Walk* w, int64_t* pos, VideoTrack* track) {
    int64_t size = w->reader.file->size;
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
    sink_gap(w, track);
    return 0;
}

}  // namespace

// Packet by packet; only the video PID's payload is fed. Bytes before the
// first whole packet (a recording cut in mid-packet) are passed over.
int32_t transport_walk(Walk* w) {
    int64_t size = w->reader.file->size;
    uint32_t stride = w->layout.ts.stride;
    VideoTrack track = {-1};
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
            if (p[0] != ts_sync_byte) break;
            if (ts_pid(p) != w->video_pid) continue;
            result = video_packet(w, &track, p, pos + i);
            if (result != 0) return result;
        }
        if (i + ts_packet_size <= available) {  // stopped at a lost sync byte
            pos += i;
            result = sync_recover(w, &pos, &track);
            if (result != 0) return result;
        } else {
            pos += i;
        }
    }
    return 0;
}
