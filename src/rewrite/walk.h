// The walks over a whole file, one for each kind of file: they find the
// video stream's payload bytes and hand them, as ranges of a buffer with
// their file positions, to a sink (the header scanner of a rewrite or
// listing, or the search for the first sequence header).
#pragma once
#include <cstdint>

#include "analysis/header_analysis.h"
#include "rewrite/block_reader.h"
#include "rewrite/header_scan.h"

struct WalkSink {
    // Takes ranges of the buffer, in order; buffer[0] lies at file position
    // buffer_pos. A non-zero result stops the walk and is its result.
    int32_t (*feed)(void* context, const uint8_t* buffer, int64_t buffer_pos,
                    const PayloadRange* ranges, uint32_t count);
    void* context;
};

// A result of a sink that stops the walk with what it was looking for.
inline constexpr int32_t walk_stop_found = 2;

// The most payload ranges handed over at once: one per packet of the
// longest fetch.
inline constexpr uint32_t walk_ranges_most = reader_fetch_most / ts_packet_size + 1;

// A video stream on another PID than the one rewritten (a join of two
// recordings): the first that carries sequence headers, and how many.
struct OtherVideo {
    uint16_t pid;
    uint32_t headers;
    uint32_t window;  // the last four payload bytes
};

struct Walk {
    BlockReader reader;
    StreamLayout layout;
    uint16_t video_pid;  // transport streams
    bool range_search;   // -r: program streams look ahead for the next start code
    WalkSink sink;
    // What the transport stream walk met on its way.
    uint32_t video_packets;      // of the video PID
    uint32_t scrambled_packets;  // of those
    uint32_t sync_losses;
    int64_t sync_skipped;
    OtherVideo other_video;
    // Ranges gathered from one fetch of transport packets, and the breaks
    // that the next range gets.
    PayloadRange ranges[walk_ranges_most];
    uint32_t range_count;
    uint8_t pending_breaks;
};

void walk_init(Walk* walk, FileHandleRec* file, uint8_t* block, StreamLayout layout,
               uint16_t video_pid, bool range_search, WalkSink sink);

// From the start of the file to its end: 0, or the first non-zero result
// of the sink or of the walk itself.
int32_t walk_run(Walk* walk);

// Hands one range over on its own.
int32_t walk_feed_one(Walk* walk, const uint8_t* buffer, int64_t buffer_pos, uint32_t first,
                      uint32_t end, int64_t unit_pos, int64_t progress_pos);

int32_t elementary_walk(Walk* walk);
int32_t program_walk(Walk* walk);
int32_t transport_walk(Walk* walk);
