#include <memory>

#include "fileio/result.h"
#include "formats/ps_units.h"
#include "formats/ts_walk.h"

namespace {

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

int32_t transport_walk(Walk* w) {
    std::unique_ptr<TsWalk> tw(new TsWalk{});
    tw->walk = w;
    ts_track_init(&tw->track, w->video_pid);
    return ts_packets_walk(tw.get());
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
