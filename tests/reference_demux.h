// The tests' own reading of program and transport streams, written apart
// from the tool's: which bytes are the video stream's payload, and where the
// byte 7 of each sequence header of the first header's size and frame rate
// lies. The tests compare the tool's changes with it.
#pragma once
#include <cstdint>
#include <vector>

#include "support.h"

// The video payload as runs of file positions; no header may be put
// together across two runs (a lost or damaged packet lies between).
typedef std::vector<std::vector<int64_t>> PayloadRuns;

// Video stream 0xE0 of a program stream. A unit is taken when the next one
// (or padding, or the end of the file) follows it; at damage the walk either
// stops or, with `resync`, goes on at the next pack header that is right in
// every marker bit and is itself followed by a unit. A unit that such a pack
// header lies inside ends there (bytes skipped: none).
struct ProgramInfo {
    uint32_t sync_losses = 0;
    int64_t bytes_skipped = 0;
    int64_t stopped_at = -1;  // the damage that stopped a walk without resync
};
PayloadRuns program_video_payload(const Bytes& file, bool resync = false,
                                  ProgramInfo* info = nullptr);

struct TransportInfo {
    uint32_t stride = 0;
    int64_t first_sync = -1;
    uint16_t video_pid = 0x1FFF;  // from the first program's tables
    uint32_t sync_losses = 0;
    int64_t bytes_skipped = 0;
};
// The first program's MPEG video PID of a transport stream, and its payload.
PayloadRuns transport_video_payload(const Bytes& file, TransportInfo* info);

// The byte 7 positions of the sequence headers in the runs that have the
// first one's size and frame rate; their bytes as the file holds them.
std::vector<int64_t> matching_headers(const Bytes& file, const PayloadRuns& runs);

// The file as a rewrite to the target must leave it.
Bytes rewritten(const Bytes& file, const std::vector<int64_t>& positions, uint8_t target);
