// What the head and tail windows of a file say about its stream: what kind
// of file it is, the first sequence header of its video stream, the playing
// time between the first and the last clock reference, and the MPEG version.
#pragma once
#include <cstdint>

#include "analysis/sps.h"
#include "analysis/ts_demux.h"
#include "analysis/video_probe.h"

enum StreamKind : uint8_t {
    stream_not_mpeg,
    stream_elementary,  // video elementary stream: scanned byte by byte
    stream_program,     // program stream: walked pack by pack, video stream 0xE0
    stream_transport,   // transport stream: walked packet by packet, one video PID
};

struct StreamLayout {
    StreamKind kind;
    TsLayout ts;  // transport streams only
    VideoCodec codec;  // of an elementary stream; a transport stream's is its program's
};

struct SequenceHeaderInfo {
    int64_t first_pack_pos;    // offset in headbuf, -1 if none
    int64_t last_pack_pos;     // file position of the last pack in tailbuf, -1 if none
    int64_t first_seqhdr_pos;  // file position of the video's first sequence header, -1 if none
    int64_t tail_base;         // input: file position of tailbuf's first byte
    uint32_t head_len;         // input
    uint32_t tail_len;         // input
    uint8_t not_mpeg;          // 0 for the three kinds of MPEG file, else 0xFF
    StreamLayout layout;
    TsProgram program;       // transport streams: the video stream and its clock
    VideoHeaderProbe video;  // the video's first sequence header, as far as headbuf went
    SpsInfo sps;             // H.264 and HEVC: the video's first parameter set
    double duration_sec;
    int32_t horizontal_size;
    int32_t vertical_size;
    uint8_t aspect_code;
    uint8_t frame_rate_code;
    uint32_t bit_rate_value;  // units of 400 bit/s
    int32_t mpeg_version;     // 1 or 2
};

struct SequenceHeaderFields {
    int32_t horizontal_size;
    int32_t vertical_size;
    uint8_t aspect_code;
    uint8_t frame_rate_code;
    uint32_t bit_rate_value;
};

struct PackHeaderInfo {
    int32_t version;  // 0 not yet known, 1 or 2
    uint32_t clock;   // low 32 bits of system_clock_reference_base
};

inline constexpr uint32_t start_code_pack = 0x000001BA;
inline constexpr uint32_t start_code_gop = 0x000001B8;

// The kind of file that the first bytes open: a transport stream by its
// sync bytes; an H.264 or HEVC elementary stream when its NAL units hold a
// parameter set of the codec and no MPEG sequence header; an MPEG video
// elementary stream when its first start code is one of the video's own (a
// sequence header, or anything below 0xB9); any other start code opens a
// program stream.
StreamLayout stream_layout_detect(const uint8_t* head, uint32_t length);

// Sets not_mpeg, the layout, the video stream and its first sequence header
// as far as headbuf holds it, and the pack positions; always returns 0.
// first_seqhdr_pos is set by header_parse, from the header found.
int header_seek(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info);
// Decodes what header_seek located; always returns 0. The run driver may
// complete info->video from the rest of the file first.
int header_parse(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info);
// bytes: the 8 bytes after 00 00 01 B3.
int sequence_header_parse(SequenceHeaderFields* fields, const uint8_t* bytes);
// bytes: the 5 bytes after 00 00 01 BA. Decides the version only while it is 0.
int pack_header_parse(PackHeaderInfo* pack, const uint8_t* bytes);
// The clock value for version 1 or 2; 1 for any other version.
uint32_t scr_parse(const uint8_t* bytes, int32_t version);
