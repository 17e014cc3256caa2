// H.263 video's picture header: a picture with PLUSPTYPE and a custom
// source format records its pixel aspect in CPFMT (a 4-bit code of the
// table MPEG-4 video shares, or 15 and EPAR's two 8-bit numbers); one of
// a standard format (sub-QCIF to 16CIF) records none. Read from the byte
// that ends its picture start code (00 00 and 1000 00xx: byte-aligned),
// and changed in place in the form it has. Its bits are not escaped.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/video_codec.h"

// The byte after 00 00 that ends a picture start code.
inline bool h263_start_is(uint8_t byte) {
    return (byte & 0xFC) == 0x80;
}

// The bytes kept of a picture header from that byte: as far as EPAR,
// which ends at most at bit 94.
inline constexpr uint32_t h263_bytes_most = 12;

struct H263Picture {
    bool custom;  // a custom source format, whose CPFMT records the aspect
    uint8_t par_code;
    uint8_t par_width;  // EPAR, after code 15 only
    uint8_t par_height;
    uint32_t par_bit;  // bit of the bytes where CPFMT's code begins
    uint32_t width;
    uint32_t height;
};

// Reads the header as far as its source format says its picture: false
// where the bytes are no picture header, end first, or name no format of
// their own (UFEP 0: the format of the pictures before, or a reserved one).
bool h263_picture_read(const uint8_t* bytes, uint32_t length, H263Picture* picture);

// The sample aspect a custom format records; {0, 0} for a standard one,
// the forbidden code 0, a reserved code, or an extended pair with a zero.
SarRatio h263_picture_sar(const H263Picture* picture);

// The changed bytes that make the header record the sample aspect target
// in the form it has (par_code_target); aspect_edit_no_field for a
// standard format, which has no field.
AspectEdit h263_aspect_edit(const uint8_t* bytes, uint32_t length, SarRatio target, ByteChange* changes,
                            uint32_t* count);

// The indices of the bytes that hold the field a change may rewrite (the
// code, or EPAR after a 15): how many, 0 where it has none.
uint32_t h263_field_bytes(const uint8_t* bytes, uint32_t length, uint32_t* indices);
