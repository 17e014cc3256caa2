#include "rewrite/walk.h"

#include "analysis/ps_demux.h"
#include "console/console.h"
#include "console/messages.h"
#include "rewrite/engine.h"

namespace {

// What one packet read would deliver: positions reported to the progress
// display are counted as if each packet were read on its own.
constexpr uint32_t packet_read_size = 0xFFFF;
// Enough of a unit to tell its kind and length (a pack header's stuffing
// length is in its 14th byte).
constexpr uint32_t unit_look = 14;

void stream_id_error_print(const uint8_t* bytes, uint32_t available) {
    uint8_t code[3] = {0, 0, 0};
    for (uint32_t i = 0; i < 3 && i < available; ++i) code[i] = bytes[i];
    char message[512] = {};
    text_format(message, sizeof message, msg_stream_id_bytes, code[0], code[1], code[2]);
    console_print(fmt_stream_id_line, message);
}

// Steps over zero bytes that lead to the next 00 00 01 (Video CD sectors
// carry such padding between packs). A zero run that reaches the end of
// the file ends the walk; any other run is left for the start code test.
int32_t zero_padding_skip(Walk* w, int64_t* walk, bool* at_end) {
    int64_t pos = *walk;
    // Only what the block holds is looked at: a run that goes on past it is
    // followed into the next one, and nothing is read twice.
    for (;;) {
        const uint8_t* bytes = nullptr;
        uint32_t available = 0;
        int32_t result = reader_fetch_some(&w->reader, pos, packet_read_size, &bytes, &available);
        if (result != 0) return result;
        if (available == 0) {
            *at_end = true;
            return 0;
        }
        uint32_t i = first_nonzero(bytes, available);
        pos += i;
        if (i < available) {
            if (bytes[i] == 1 && pos - *walk >= 2) *walk = pos - 2;
            return 0;
        }
    }
}

// The -r search: the next 00 00 01 within the header range length.
int32_t range_search(Walk* w, int64_t* walk, bool* at_end) {
    for (uint32_t counter = 1; counter < header_range_length; ++counter) {
        const uint8_t* bytes = nullptr;
        uint32_t available = 0;
        int32_t result = reader_fetch(&w->reader, *walk, 3, &bytes, &available);
        if (result != 0) return result;
        if (available < 3) {
            *at_end = true;
            return 0;
        }
        if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1) return 0;
        *walk += 1;
    }
    return rewrite_range_search_error;
}

// Feeds the payload of a packet of video stream 0xE0, all of it up to the
// packet's last byte.
int32_t video_packet_feed(Walk* w, int64_t walk, uint32_t length) {
    int64_t left = w->reader.file->size - walk;
    int64_t progress = walk + (left < packet_read_size ? left : packet_read_size);
    const uint8_t* packet = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&w->reader, walk, length, &packet, &available);
    if (result != 0) return result;
    uint32_t start = pes_payload_start(packet, available);
    if (start >= available) return 0;
    return walk_feed_one(w, packet, walk, start, available, walk, progress);
}

// One step at a start code: moves *walk past its unit, or stops.
int32_t unit_step(Walk* w, int64_t* walk, bool* at_end) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&w->reader, *walk, unit_look, &bytes, &available);
    if (result != 0) return result;
    if (available < 4) {  // a start code cut off by the end of the file
        *at_end = true;
        return 0;
    }
    PsUnit unit = ps_unit_at(bytes, available);
    if (unit.kind == ps_not_a_start_code || (unit.kind == ps_stray_code && !w->range_search)) {
        stream_id_error_print(bytes, available);
        return rewrite_stream_id_error;
    }
    if (unit.kind == ps_packet && unit.id == stream_id_video) {
        result = video_packet_feed(w, *walk, unit.length);
    }
    *walk += unit.length;
    return result;
}

}  // namespace

// Pack by pack and packet by packet; only video stream 0xE0 is fed.
int32_t program_walk(Walk* w) {
    int64_t walk = 0;
    bool at_end = false;
    while (walk < w->reader.file->size && !at_end) {
        int32_t result = zero_padding_skip(w, &walk, &at_end);
        if (result == 0 && !at_end && w->range_search) result = range_search(w, &walk, &at_end);
        if (result == 0 && !at_end) result = unit_step(w, &walk, &at_end);
        if (result != 0) return result;
    }
    return 0;
}
