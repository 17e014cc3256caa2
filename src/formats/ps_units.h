// The program stream's system layer, one unit at a time: pack headers,
// the program end code, and PES packets with the payload they carry. Both
// the analysis of the head window and the program stream walk read it here.
#pragma once
#include <cstdint>

inline constexpr uint8_t stream_id_pack = 0xBA;
inline constexpr uint8_t stream_id_program_end = 0xB9;
inline constexpr uint8_t stream_id_video = 0xE0;

enum PsUnitKind {
    ps_not_a_start_code,  // the bytes do not begin with 00 00 01
    ps_stray_code,        // a start code below 0xB9: no unit of the system layer
    ps_pack,
    ps_program_end,
    ps_packet,
};

struct PsUnit {
    PsUnitKind kind;
    uint8_t id;       // byte 3
    uint32_t length;  // bytes from the start code to the next unit
};

// Reads the unit at bytes[0]; bytes past `available` count as 0. A pack
// header needs 14 bytes to tell its stuffing, a packet 6 for its length.
PsUnit ps_unit_at(const uint8_t* bytes, uint32_t available);

// Bytes that ps_resync_point needs at most: the longest pack header and the
// start code that must follow it.
inline constexpr uint32_t ps_resync_look = 14 + 7 + 4;

// True when bytes[0] starts a pack header that a damaged stream can be
// resumed at: 00 00 01 BA with every marker bit of an MPEG-1 or MPEG-2
// pack header set, MPEG-2 stuffing of 0xFF bytes, and directly after it a
// start code of the system layer (pack, system header, end code or PES
// packet). A false 00 00 01 BA inside payload rarely passes all of them.
bool ps_resync_point(const uint8_t* bytes, uint32_t available);

// True when the bytes at a unit's end may begin the next one: a start code
// of the system layer, zero padding (judged where it ends), or the end of
// the file (fewer than 4 bytes).
bool ps_unit_follows(const uint8_t* bytes, uint32_t available);

// Offset of the first payload byte of a PES packet at pes[0] (start code
// first): past the MPEG-2 PES header, or past MPEG-1 stuffing, buffer size
// and time stamps.
uint32_t pes_payload_start(const uint8_t* pes, uint32_t available);

// The low 32 bits of the presentation time stamp of an MPEG-2 PES header,
// or false when it has none.
bool pes_pts(const uint8_t* pes, uint32_t available, uint32_t* pts);
