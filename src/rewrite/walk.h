// The walks over a whole file, one for each kind of file: they find the
// video stream's payload bytes and hand them, with their file positions, to
// a sink (the header scanner of a rewrite or listing, or the search for the
// first sequence header).
#pragma once
#include <cstdint>

#include "analysis/header_analysis.h"
#include "rewrite/block_reader.h"

struct WalkSink {
    // Takes buffer[first, end) of the video payload; buffer[0] lies at file
    // position buffer_pos. A non-zero result stops the walk and is its result.
    int32_t (*feed)(void* context, const uint8_t* buffer, uint32_t first, uint32_t end,
                    int64_t buffer_pos);
    // The payload breaks off (a lost packet): nothing may be put together
    // across the break.
    void (*gap)(void* context);
    void* context;
    // The sink's state, which the transport stream walk keeps from before
    // each video packet and puts back so that a repeat of that packet is
    // read as its first copy was.
    void* state;
    uint32_t state_size;  // a multiple of 8, at most walk_state_most
};

inline constexpr uint32_t walk_state_most = 64;

// A result of a sink that stops the walk with what it was looking for.
inline constexpr int32_t walk_stop_found = 2;

struct Walk {
    BlockReader reader;
    StreamLayout layout;
    uint16_t video_pid;  // transport streams
    bool range_search;   // -r: program streams look ahead for the next start code
    WalkSink sink;
    // Kept up to date while bytes are fed:
    int64_t unit_pos;      // the chunk or packet that holds them (list lines)
    int64_t progress_pos;  // the packet walks' progress measure
    // What the transport stream walk met on its way.
    uint32_t sync_losses;
    int64_t sync_skipped;
    alignas(8) uint8_t saved_state[walk_state_most];
};

void walk_init(Walk* walk, FileHandleRec* file, uint8_t* block, StreamLayout layout,
               uint16_t video_pid, bool range_search, WalkSink sink);

// From the start of the file to its end: 0, or the first non-zero result
// of the sink or of the walk itself.
int32_t walk_run(Walk* walk);

int32_t elementary_walk(Walk* walk);
int32_t program_walk(Walk* walk);
int32_t transport_walk(Walk* walk);
