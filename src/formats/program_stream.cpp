#include "formats/program_stream.h"

#include <cstring>

#include "codecs/bit_reader.h"
#include "codecs/framing.h"
#include "fileio/result.h"
#include "formats/ps_units.h"
#include "formats/walk.h"

namespace {

// What one packet read would deliver: positions reported to the progress
// display are counted as if each packet were read on its own.
constexpr uint32_t packet_read_size = 0xFFFF;
// Enough of a unit to tell its kind and length (a pack header's stuffing
// length is in its 14th byte).
constexpr uint32_t unit_look = 14;

// The walk's own state: the breaks that the next video payload gets.
struct PsWalk {
    Walk* walk;
    uint8_t pending_breaks;
};

// Without -r the walk stops at damage: where, and the bytes that stand
// there, are noted for the user to hear, with the news that -r walks on
// past it.
int32_t damage_note(PsWalk* pw, int64_t at) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&pw->walk->reader, at, 3, &bytes, &available);
    if (result != 0) return result;
    pw->walk->met.damage_at = at;
    for (uint32_t i = 0; i < 3; ++i) pw->walk->met.damage_bytes[i] = i < available ? bytes[i] : 0;
    return result_stream_id_error;
}

// Steps over zero bytes that lead to the next 00 00 01 (Video CD sectors
// carry such padding between packs). A zero run that reaches the end of
// the file ends the walk; any other run is left for the start code test.
int32_t zero_padding_skip(PsWalk* pw, int64_t* walk, bool* at_end) {
    int64_t pos = *walk;
    // Only what the block holds is looked at: a run that goes on past it is
    // followed into the next one, and nothing is read twice.
    for (;;) {
        const uint8_t* bytes = nullptr;
        uint32_t available = 0;
        int32_t result = reader_fetch_some(&pw->walk->reader, pos, packet_read_size, &bytes, &available);
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

// The first resync point in [from, limit), or -1 in *found: the pack
// header where a damaged stream resumes. The search has no bound but the
// file's end; it looks only at the 0xBA bytes, so a long stretch of other
// bytes costs a memchr.
int32_t resync_find(PsWalk* pw, int64_t from, int64_t limit, int64_t* found) {
    *found = -1;
    // Where the 0xBA of the next candidate may lie.
    for (int64_t at = from + 3; at < limit + 3;) {
        const uint8_t* bytes = nullptr;
        uint32_t n = 0;
        int32_t result = reader_fetch_some(&pw->walk->reader, at, packet_read_size, &bytes, &n);
        if (result != 0 || n == 0) return result;
        if (limit + 3 - at < n) n = static_cast<uint32_t>(limit + 3 - at);
        const void* hit = std::memchr(bytes, stream_id_pack, n);
        if (hit == nullptr) {
            at += n;
            continue;
        }
        int64_t candidate = at + (static_cast<const uint8_t*>(hit) - bytes) - 3;
        at = candidate + 4;
        result = reader_fetch(&pw->walk->reader, candidate, ps_resync_look, &bytes, &n);
        if (result != 0) return result;
        if (ps_resync_point(bytes, n)) {
            *found = candidate;
            return 0;
        }
    }
    return 0;
}

// The walk goes on at `to`: the bytes from `from` are skipped, and no
// header is put together across them.
void stretch_skip(PsWalk* pw, int64_t from, int64_t to) {
    ++pw->walk->met.sync_losses;
    pw->walk->met.sync_skipped += to - from;
    pw->pending_breaks |= payload_gap;
}

// Damage at `at`, bytes that begin no unit: with -r the walk resumes at the
// next resync point, or ends with the file when there is none.
int32_t damage_meet(PsWalk* pw, int64_t at, int64_t* walk, bool* at_end) {
    if (!pw->walk->range_search) return damage_note(pw, at);
    int64_t size = pw->walk->reader.size;
    int64_t found = -1;
    int32_t result = resync_find(pw, at + 1, size, &found);
    if (result != 0) return result;
    stretch_skip(pw, at, found < 0 ? size : found);
    if (found < 0) {
        *at_end = true;
    } else {
        *walk = found;
    }
    return 0;
}

// Feeds the payload of a packet of video stream 0xE0, all of it up to the
// packet's last byte.
int32_t video_packet_feed(PsWalk* pw, int64_t walk, uint32_t length) {
    int64_t left = pw->walk->reader.size - walk;
    int64_t progress = walk + (left < packet_read_size ? left : packet_read_size);
    const uint8_t* packet = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&pw->walk->reader, walk, length, &packet, &available);
    if (result != 0) return result;
    uint32_t start = pes_payload_start(packet, available);
    if (start >= available) return 0;
    PayloadRange range = {start, available, pw->pending_breaks, walk, progress};
    pw->pending_breaks = 0;
    return pw->walk->sink.feed(pw->walk->sink.context, packet, walk, &range, 1);
}

// Whether the unit at pos is followed by the next one; when it is not, the
// first resync point inside it (-1 when there is none): the unit was cut
// there by a joint.
int32_t unit_check(PsWalk* pw, int64_t pos, uint32_t length, bool* follows, int64_t* resync) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&pw->walk->reader, pos, length + 4, &bytes, &available);
    if (result != 0) return result;
    uint32_t after = available > length ? available - length : 0;
    *follows = ps_unit_follows(bytes + (available - after), after);
    *resync = -1;
    return *follows ? 0 : resync_find(pw, pos + 4, pos + length, resync);
}

// One step at a start code: moves *walk past its unit, or past damage, or
// stops. A unit with no resync point inside it is taken whole as far as its
// length goes, and any damage is met where it ends.
int32_t unit_step(PsWalk* pw, int64_t* walk, bool* at_end) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&pw->walk->reader, *walk, unit_look, &bytes, &available);
    if (result != 0) return result;
    if (available < 4) {  // a start code cut off by the end of the file
        *at_end = true;
        return 0;
    }
    PsUnit unit = ps_unit_at(bytes, available);
    if (unit.kind == ps_not_a_start_code || unit.kind == ps_stray_code) {
        return damage_meet(pw, *walk, walk, at_end);
    }
    int64_t end = *walk + unit.length;
    bool follows = true;
    int64_t resync = -1;
    result = unit_check(pw, *walk, unit.length, &follows, &resync);
    if (result != 0) return result;
    // A unit cut by damage is taken only as far as the resync point inside
    // it; that lies where the next stream begins, so the cut unit's own
    // bytes are all it gives.
    int64_t taken_end = resync >= 0 ? resync : end;
    if (unit.kind == ps_packet && unit.id == stream_id_video) {
        result = video_packet_feed(pw, *walk, static_cast<uint32_t>(taken_end - *walk));
        if (result != 0) return result;
    }
    if (resync >= 0) {
        if (!pw->walk->range_search) return damage_note(pw, end);
        stretch_skip(pw, resync, resync);  // sync lost, but no byte left unread
        *walk = resync;
        return 0;
    }
    *walk = end;
    return follows ? 0 : damage_meet(pw, end, walk, at_end);
}

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

constexpr uint8_t pack_code = start_code_pack & 0xFF;

int64_t first_pack_find(const uint8_t* head, uint32_t length) {
    uint32_t at = start_code_find(head, 0, length, pack_code);
    return at < length ? static_cast<int64_t>(at) : -1;
}

// The last pack header of the tail window (never at its first byte).
int64_t last_pack_find(const uint8_t* tail, uint32_t length, int64_t tail_base) {
    int64_t found = -1;
    for (uint32_t at = start_code_find(tail, 1, length, pack_code); at < length;
         at = start_code_find(tail, at + 1, length, pack_code)) {
        found = tail_base + at;
    }
    return found;
}

uint32_t pack_clock_at(const uint8_t* buffer, uint32_t length, int64_t offset) {
    uint8_t bytes[5];
    copy_clipped(buffer, length, offset + 4, bytes, sizeof bytes);
    PackHeaderInfo pack = {0, 0};
    pack_header_parse(&pack, bytes);
    return pack.clock;
}

}  // namespace

uint32_t scr_parse(const uint8_t* bytes, int32_t version) {
    if (version != 1 && version != 2) return 1;
    BitReader r = {bytes, 5, 0, false};
    bits_skip(&r, version == 2 ? 2 : 4);
    uint32_t hi = bits_read(&r, 3);
    bits_skip(&r, 1);  // marker
    uint32_t mid = bits_read(&r, 15);
    bits_skip(&r, 1);
    uint32_t lo = bits_read(&r, 15);
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

void program_clocks(const ClockLook* look, StreamClocks* clocks) {
    clocks->first_pack_pos = first_pack_find(look->head, look->head_len);
    clocks->last_pack_pos = last_pack_find(look->tail, look->tail_len, look->tail_base);
    // A playing time needs both ends; with one pack header missing a
    // difference would be a wrapped-around 13 hours.
    clocks->found = clocks->first_pack_pos != -1 && clocks->last_pack_pos != -1;
    if (!clocks->found) return;
    clocks->first = pack_clock_at(look->head, look->head_len, clocks->first_pack_pos);
    clocks->last = pack_clock_at(look->tail, look->tail_len, clocks->last_pack_pos - look->tail_base);
}

// Pack by pack and packet by packet; only video stream 0xE0 is fed.
int32_t program_walk(Walk* w) {
    PsWalk pw = {w, 0};
    int64_t walk = w->from;
    bool at_end = false;
    while (walk < w->reader.size && !at_end) {
        int32_t result = zero_padding_skip(&pw, &walk, &at_end);
        if (result == 0 && !at_end) result = unit_step(&pw, &walk, &at_end);
        if (result != 0) return result;
    }
    return 0;
}
