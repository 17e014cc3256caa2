// What the head and tail windows of a file say about its stream: where the
// first start codes lie, the first sequence header's fields, the playing
// time between the first and the last pack header, and the MPEG version.
#pragma once
#include <cstdint>

struct SequenceHeaderInfo {
    int64_t first_pack_pos;    // offset in headbuf, -1 if none
    int64_t last_pack_pos;     // file position of the last pack in tailbuf, -1 if none
    int64_t first_seqhdr_pos;  // offset in headbuf, -1 if none
    int64_t first_ext_pos;     // offset in headbuf, -1 if none
    int64_t tail_base;         // input: file position of tailbuf's first byte
    uint32_t head_len;         // input
    uint32_t tail_len;         // input
    uint8_t not_mpeg;          // 0 when headbuf begins with 00 00 01, else 0xFF
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
inline constexpr uint32_t start_code_sequence = 0x000001B3;
inline constexpr uint32_t start_code_extension = 0x000001B5;
inline constexpr uint32_t start_code_gop = 0x000001B8;

// Sets not_mpeg and the four positions; always returns 0.
int header_seek(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info);
// Decodes what header_seek located; always returns 0.
int header_parse(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info);
// bytes: the 8 bytes after 00 00 01 B3.
int sequence_header_parse(SequenceHeaderFields* fields, const uint8_t* bytes);
// bytes: the 5 bytes after 00 00 01 BA. Decides the version only while it is 0.
int pack_header_parse(PackHeaderInfo* pack, const uint8_t* bytes);
// The clock value for version 1 or 2; 1 for any other version.
uint32_t scr_parse(const uint8_t* bytes, int32_t version);
