// MPEG-4 video (Xvid, DivX and the like): the video object layer header
// (VOL, start codes 00 00 01 20 to 2F) that records the sample aspect, read
// up to its picture size, and the in-place change of that aspect. A VOL is
// handled from its code byte on; its bits are not escaped.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/video_codec.h"

// The code bytes of a VOL's start code.
inline bool vol_code_is(uint8_t code) {
    return (code & 0xF0) == 0x20;
}

// The bytes kept of a VOL, from its code byte: enough for the longest run
// of fields up to the picture size.
inline constexpr uint32_t vol_bytes_most = 32;
// aspect_ratio_info of an explicit par_width:par_height.
inline constexpr uint8_t vol_aspect_extended = 15;

struct VolInfo {
    uint8_t aspect_info;
    uint8_t par_width;  // extended ones only
    uint8_t par_height;
    uint32_t aspect_bit;  // bit of the bytes (from the code byte) where aspect_ratio_info begins
    uint32_t width;       // 0 where the shape is not rectangular or the bytes end first
    uint32_t height;
};

// The 4-bit pixel aspect code that MPEG-4 video took from H.263: 1 to 5 a
// table's sample aspect, 15 an extended pair of 8-bit numbers, 0 and the
// rest none. The sample aspect a code (and its pair) records, {0, 0} for
// none or a pair with a zero.
SarRatio par_code_sar(uint8_t code, uint8_t par_width, uint8_t par_height);
// The field's new value for the target in the form the code has: a table
// code for a table code, an extended pair (width << 8 | height) for an
// extended pair; aspect_edit_no_code where that form cannot say it. `now`
// is what the field records.
AspectEdit par_code_target(uint8_t code, SarRatio now, SarRatio target, uint32_t* value);
// The changes that put the low `bits` bits of value at the bit of the
// bytes (up to vol_bytes_most), where they differ: how many.
uint32_t par_field_changes(const uint8_t* bytes, uint32_t length, uint32_t bit, uint32_t bits, uint32_t value,
                           ByteChange* changes);

// Reads the VOL up to its aspect, and its picture size where the bytes
// reach it: false when they are no VOL or end before the aspect.
bool vol_read(const uint8_t* bytes, uint32_t length, VolInfo* info);

// The sample aspect the VOL records: {0, 0} for code 0, a reserved code, or
// an extended pair with a zero.
SarRatio vol_sar(const VolInfo* info);

// The changed bytes of a VOL that is to record the sample aspect target in
// the form it has: a table code for a table code, an extended pair of 8-bit
// numbers for an extended pair; aspect_edit_no_code where that form cannot
// say it.
AspectEdit vol_aspect_edit(const uint8_t* bytes, uint32_t length, SarRatio target, ByteChange* changes,
                           uint32_t* count);

// The indices of the bytes that hold the aspect field a change may rewrite:
// how many, 0 when the bytes are no VOL.
uint32_t vol_field_bytes(const uint8_t* bytes, uint32_t length, uint32_t* indices);
