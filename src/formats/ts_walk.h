// The walk over a transport stream's video PID: its state, the steps it
// takes at each packet (one of the video PID, one of another, lost sync),
// and the walk that hands over only the payload the sink's search points
// at. The walk of every packet is transport_stream's.
#pragma once
#include <cstdint>

#include "codecs/payload.h"
#include "formats/ts_packets.h"
#include "formats/walk.h"

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
    // A walk with the sink's search: the last two plain video packets not
    // handed over (offsets in the fetch, newest last), whether one before
    // them was passed over for good, and whether the next video packet is
    // handed over whatever it holds.
    uint32_t held[2];
    uint32_t held_count;
    bool passed;
    bool after_fed;
};

// Nothing before the next packet joins on: lost sync.
void ts_payload_break(TsWalk* tw);
// Gathers the payload of the packet at offset i of the fetch, which starts
// at file position base, from offset `first` in the fetch on.
void ts_range_add(TsWalk* tw, uint32_t first, uint32_t i, uint8_t breaks, int64_t base);
// Hands over the ranges gathered from one fetch.
int32_t ts_ranges_flush(TsWalk* tw, const uint8_t* fetched, int64_t base);
// A packet of the video PID at offset i of the fetch. A packet that repeats
// the last one is read from the state before the last one, so that both
// copies are rewritten and no header is put together across them; a lost
// or unreadable packet breaks the payload.
void ts_video_packet(TsWalk* tw, const uint8_t* fetched, uint32_t i, int64_t base);
// A packet of another PID: a video stream there is counted until one that
// carries sequence headers has been seen.
void ts_other_packet(OtherVideo* other, const uint8_t* p);
// After damage at *pos, the next place where packets follow one another
// again.
int32_t ts_sync_recover(TsWalk* tw, int64_t* pos);
// Why a walk to the end met no video: its PID carries no packet, or only
// scrambled ones.
int32_t ts_video_unseen(const TsWalk* tw);

// Packet by packet, a fetch of packets at a time; only the video PID's
// payload is handed over. Bytes before the first whole packet (a recording
// cut in mid-packet) are passed over. Where the sink has a search, it runs
// over the raw bytes of each fetch first: a plain video packet (184 bytes
// of payload following on) is handed over only where its payload may hold
// a place's start (a code byte the search finds, or the code byte as its
// first byte), where it follows a packet handed over (a header that began
// there ends in it), or where it is one of the two before a packet handed
// over (the start code's first bytes, and the state a repeated packet is
// read from). Every other video packet is handed over.
int32_t ts_packets_walk(TsWalk* tw);
