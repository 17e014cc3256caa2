// The program tables of a transport stream, and the video stream they name
// (or, without them, the one its packets carry).
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"
#include "formats/ts_packets.h"

// The video stream a transport stream is rewritten in.
struct TsProgram {
    bool tables_seen;  // a program association table and its program map tables
    bool found;        // a video stream was chosen
    uint16_t video_pid;
    uint16_t pcr_pid;  // ts_pid_none when no table names it
    VideoCodec codec;
    bool scrambled;    // scrambled packets were passed over in the search
};

inline constexpr TsProgram ts_program_none = {false, false, ts_pid_none, ts_pid_none, codec_mpeg, false};

// From the tables in bytes[0, length): the first elementary stream of type
// 0x01 or 0x02 (MPEG-1 or MPEG-2 video), 0x1B (H.264), 0x24 (HEVC) or 0xEA
// (VC-1; or 0x06 with a registration descriptor of 'VC-1') of the first
// program whose map table is there and names one. Without such a
// table (a cut recording), the first PID whose video PES packets carry a
// sequence header, or open with an H.264 or HEVC parameter set.
void ts_program_find(const uint8_t* bytes, uint32_t length, TsLayout layout, TsProgram* program);
