// VC-1's advanced profile: the sequence header (start code suffix 0x0F)
// records the sample aspect in its display extension, where DISPLAY_EXT
// and ASPECT_RATIO_FLAG are set: ASPECT_RATIO, a 4-bit code of the table
// H.264 shares for its codes 1 to 13, or 15 and two 8-bit fields, each one
// less than its term. A header without them records none. Its bits are
// escaped as a NAL unit's are; it is handled as its unit holds it, from the
// suffix byte on, and changed in place in the form it has. The scanner of
// parameter sets collects it (see nal_scan.h).
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"
#include "codecs/video_codec.h"

// ASPECT_RATIO of an explicit pair.
inline constexpr uint8_t vc1_aspect_explicit = 15;

struct Vc1Sequence {
    uint32_t width;  // MAX_CODED_WIDTH and MAX_CODED_HEIGHT, in samples
    uint32_t height;
    bool aspect_present;  // DISPLAY_EXT and ASPECT_RATIO_FLAG
    uint32_t aspect_bit;  // bit of the unescaped bytes after the suffix where ASPECT_RATIO begins
    uint8_t code;
    uint16_t pair_width;  // after code 15 only: the terms themselves, 1 to 256
    uint16_t pair_height;
};

// Reads the whole header: false where the bytes are no advanced profile
// sequence header (another profile, a chroma format other than 4:2:0, a
// reserved level) or end first.
bool vc1_sequence_read(const uint8_t* unit, uint32_t length, Vc1Sequence* sequence);

// The sample aspect the header records: {0, 0} for none, code 0 and the
// reserved code 14.
SarRatio vc1_sequence_sar(const Vc1Sequence* sequence);

// The changed bytes that make the header record the sample aspect target
// in the form it has: a table code for a code, a pair for a pair
// (aspect_edit_no_code where that form cannot say it); aspect_edit_no_field
// without aspect information, which cannot be added in place.
AspectEdit vc1_aspect_edit(const uint8_t* unit, uint32_t length, SarRatio target, ByteChange* changes,
                           uint32_t* count);

// The indices of the bytes that hold the part of the field a change may
// rewrite (the code, or the pair after a 15): how many, 0 where it has none.
uint32_t vc1_field_bytes(const uint8_t* unit, uint32_t length, uint32_t* indices);

// A sequence header's aspect, changed only in the form it has.
extern const PlaceOps vc1_sequence_places;
