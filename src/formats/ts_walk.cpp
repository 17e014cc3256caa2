#include "formats/ts_walk.h"

#include "codecs/framing.h"
#include "codecs/mpeg_video.h"
#include "fileio/result.h"

void ts_payload_break(TsWalk* tw) {
    tw->pending_breaks |= payload_gap;
    ts_track_lose(&tw->track);
}

void ts_range_add(TsWalk* tw, uint32_t first, uint32_t i, uint8_t breaks, int64_t base) {
    int64_t at = base + i;
    tw->ranges[tw->range_count++] = {first, i + ts_packet_size, breaks, at, at + ts_packet_size};
}

int32_t ts_ranges_flush(TsWalk* tw, const uint8_t* fetched, int64_t base) {
    uint32_t count = tw->range_count;
    tw->range_count = 0;
    const WalkSink& sink = tw->walk->sink;
    return count == 0 ? 0 : sink.feed(sink.context, fetched, base, tw->ranges, count);
}

void ts_video_packet(TsWalk* tw, const uint8_t* fetched, uint32_t i, int64_t base) {
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
    ts_range_add(tw, i + offset, i, breaks, base);
}

void ts_other_packet(OtherVideo* other, const uint8_t* p) {
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

int32_t ts_sync_recover(TsWalk* tw, int64_t* pos) {
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
    ts_payload_break(tw);
    return 0;
}

int32_t ts_video_unseen(const TsWalk* tw) {
    if (tw->video_packets == 0) return result_video_pid_empty;
    return tw->scrambled_packets > 0 ? result_video_scrambled : 0;
}

namespace {

// The breaks the next range handed over gets: those met, and a gap where
// video packets were passed over since the last one handed over.
uint8_t breaks_take(TsWalk* tw) {
    uint8_t breaks = tw->pending_breaks | (tw->passed ? payload_gap : 0);
    tw->pending_breaks = 0;
    tw->passed = false;
    return breaks;
}

// Hands over the plain packets held back, before a packet that needs the
// payload in front of it (a place may have begun there), or at the end of
// a fetch, whose bytes the next one may not hold. While packets are held
// back no range is gathered: a quiet run hands over those before it.
void held_add_all(TsWalk* tw, int64_t base) {
    for (uint32_t k = 0; k < tw->held_count; ++k) {
        uint32_t i = tw->held[k];
        ts_range_add(tw, i + 4, i, breaks_take(tw), base);
    }
    tw->held_count = 0;
}

// How far the search runs ahead of the packets: what it passed over is
// still in the processor's nearest cache when their heads are looked at.
constexpr uint32_t search_reach = 0x4000;

// The search over one fetch: no find lies between where it last started
// and `next`, and it has looked as far as `searched` (next == searched:
// no find there).
struct SearchCursor {
    uint32_t next;
    uint32_t searched;
};

// Whether the search finds no start code in [from, to).
inline bool search_none(const PayloadSearch& search, SearchCursor* c, const uint8_t* bytes, uint32_t from,
                        uint32_t to, uint32_t available) {
    if (c->next < from) *c = {from, from};  // a find behind: the search goes on from here
    while (c->next == c->searched && c->searched < to) {
        uint32_t end = available - c->searched < search_reach ? available : c->searched + search_reach;
        c->next = search.find(bytes, c->searched, end);
        c->searched = end;
    }
    return c->next >= to;
}

// Whether a payload opens with the code byte, which may close a start code
// whose first bytes lie in the payload before.
inline bool head_holds_code(const uint8_t* payload, uint8_t code) {
    return payload[0] == code;
}

// A run of plain video packets from i on that may hold no place's start,
// none of them after a packet handed over: each header is looked at in one
// compare, and the run's last two are held back. Returns the packets taken.
uint32_t quiet_run(TsWalk* tw, const uint8_t* bytes, uint32_t i, uint32_t available, SearchCursor* cursor) {
    const PayloadSearch& search = tw->walk->sink.search;
    uint32_t stride = tw->walk->layout.ts.stride;
    uint32_t expect = tw->track.plain_next;
    uint32_t n = 0;
    uint32_t at = i;
    for (; at + ts_packet_size <= available && be32_at(bytes + at) == expect; at += stride, ++n) {
        if (head_holds_code(bytes + at + 4, search.code)) break;
        if (!search_none(search, cursor, bytes, at + 4, at + ts_packet_size, available)) break;
        expect = (expect & ~0x0Fu) | ((expect + 1) & 0x0F);
    }
    if (n == 0) return 0;
    tw->track.plain_next = expect;
    tw->track.last_continuity = static_cast<int>((expect + 15) & 0x0F);
    tw->video_packets += n;
    tw->passed = tw->passed || tw->held_count + n > 2;
    if (n >= 2) {
        tw->held[0] = at - 2 * stride;
        tw->held_count = 1;
    } else if (tw->held_count == 2) {
        tw->held[0] = tw->held[1];
        tw->held_count = 1;
    }
    tw->held[tw->held_count++] = at - stride;
    return n;
}

// The packets of one fetch, as the search points at them; *stopped gets
// where the packets stopped being in step.
int32_t fetch_scan(TsWalk* tw, const uint8_t* bytes, uint32_t available, int64_t base, uint32_t* stopped) {
    Walk* w = tw->walk;
    const PayloadSearch search = w->sink.search;
    uint32_t stride = w->layout.ts.stride;
    SearchCursor cursor = {0, 0};
    uint32_t i = 0;
    int32_t result = 0;
    while (result == 0 && i + ts_packet_size <= available) {
        // A packet adds three ranges at the most: the two held back and its own.
        if (tw->range_count + 3 > ranges_most) {
            result = ts_ranges_flush(tw, bytes, base);
            if (result != 0) break;
        }
        const uint8_t* p = bytes + i;
        uint32_t quiet = tw->after_fed ? 0 : quiet_run(tw, bytes, i, available, &cursor);
        if (quiet > 0) {
            // The packets handed over before them go first, so that the
            // sink's own search never runs over payload passed over.
            result = ts_ranges_flush(tw, bytes, base);
            i += quiet * stride;
            continue;
        }
        // A plain packet here may hold a place's start, or follows one
        // handed over.
        if (ts_track_plain(&tw->track, be32_at(p))) {
            ++tw->video_packets;
            bool holds = head_holds_code(p + 4, search.code) ||
                         !search_none(search, &cursor, bytes, i + 4, i + ts_packet_size, available);
            held_add_all(tw, base);
            ts_range_add(tw, i + 4, i, breaks_take(tw), base);
            tw->after_fed = holds;
            i += stride;
            continue;
        }
        if (p[0] != ts_sync_byte) break;
        if (ts_pid(p) == w->video_pid) {
            held_add_all(tw, base);
            ts_video_packet(tw, bytes, i, base);
            tw->after_fed = true;
        } else {
            ts_other_packet(&w->met.other_video, p);
        }
        i += stride;
    }
    *stopped = i;
    return result;
}

// The packets of one fetch, every video packet's payload handed over.
int32_t fetch_walk(TsWalk* tw, const uint8_t* bytes, uint32_t available, int64_t base, uint32_t* stopped) {
    Walk* w = tw->walk;
    uint32_t stride = w->layout.ts.stride;
    uint32_t i = 0;
    for (; i + ts_packet_size <= available; i += stride) {
        const uint8_t* p = bytes + i;
        if (ts_track_plain(&tw->track, be32_at(p))) {  // the payload follows on
            ++tw->video_packets;
            ts_range_add(tw, i + 4, i, 0, base);
            continue;
        }
        if (p[0] != ts_sync_byte) break;
        if (ts_pid(p) == w->video_pid) {
            ts_video_packet(tw, bytes, i, base);
        } else {
            ts_other_packet(&w->met.other_video, p);
        }
    }
    *stopped = i;
    return 0;
}

}  // namespace

int32_t ts_packets_walk(TsWalk* tw) {
    Walk* w = tw->walk;
    auto fetch_take = w->sink.search.find != nullptr ? fetch_scan : fetch_walk;
    int64_t size = w->reader.size;
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
        result = fetch_take(tw, bytes, available, pos, &i);
        if (result != 0) return result;
        held_add_all(tw, pos);
        result = ts_ranges_flush(tw, bytes, pos);
        if (result != 0) return result;
        bool sync_lost = i + ts_packet_size <= available;
        pos += i;
        if (sync_lost) {
            result = ts_sync_recover(tw, &pos);
            if (result != 0) return result;
        }
    }
    w->met.video_unseen = ts_video_unseen(tw);
    return 0;
}
