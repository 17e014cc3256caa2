// How video is cut into units: start codes (00 00 01 and a code byte) in
// MPEG video and in H.264 and HEVC streams (Annex B), and NAL units, framed
// by start codes or by the length fields that ISO media files and Matroska
// put before them. Every reader of those frames reads them here; the hot
// scanners take the inline definitions into their own loops.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// The three bytes every start code opens with, read big-endian.
inline constexpr uint32_t start_code_prefix = 0x000001;

inline bool start_code_at(const uint8_t* bytes) {
    return bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1;
}

// Index of the first non-zero byte of bytes[0, n), or n; a word at a time,
// since a recording may end in gigabytes of zeros.
uint32_t first_nonzero(const uint8_t* bytes, uint32_t n);

// Whether the bytes open with a start code after any run of zero bytes
// (decoders take 00 00 00 01 and longer runs alike): *code_at gets the
// index of its code byte, which is `length` where the bytes end before it.
bool start_code_opens(const uint8_t* bytes, uint32_t length, uint32_t* code_at);

// Index of the first byte after a 00 00 01 that begins at or after `from`,
// or `length` where none has a byte after it.
uint32_t start_code_next(const uint8_t* bytes, uint32_t from, uint32_t length);

// Index of the first 00 00 01 `code` that begins at or after `from`, or
// `length` where none lies wholly in bytes[0, length): a memchr for the
// code byte, which is rarer than the zeros.
uint32_t start_code_find(const uint8_t* bytes, uint32_t from, uint32_t length, uint8_t code);

// Index of the first byte in [from, to) that ends a start code prefix (the
// 01 of a 00 00 01), or `to`: a memchr for the 01, which is rarer than the
// zeros. `window` holds the last three bytes fed, the bytes before `from`
// for a prefix that began in the payload before, and gets those up to the
// 01, or to `to`.
uint32_t start_code_seek(uint32_t* window, const uint8_t* bytes, uint32_t from, uint32_t to);

// A window of the last four bytes fed, big-endian, for a search that goes
// on across packets. Empty, it holds ones, so that no start code is seen
// before four bytes make one.
inline constexpr uint32_t code_window_empty = 0xFFFFFFFFu;

// Whether the window's last four bytes are a start code with its code byte.
inline bool code_window_complete(uint32_t window) {
    return window >> 8 == start_code_prefix;
}

// Feeds bytes[0, n) into the window up to the first place where it holds
// `code` (a start code with its code byte): how many were fed, all n when
// the code did not come. The window holds `code` afterwards only when it came.
uint32_t code_window_seek(uint32_t* window, const uint8_t* bytes, uint32_t n, uint32_t code);

// A NAL unit ends where three bytes 00 00 0x with x below 3 follow it (a
// start code, or zero bytes before one): whether the three, read
// big-endian, are such an end.
inline bool nal_end_is(uint32_t three_bytes) {
    return (three_bytes & ~0x03u) == 0 && three_bytes != 0x000003;
}

// The length of the NAL unit that starts at bytes[from]: up to its end or
// the end of the bytes.
uint32_t nal_unit_length(const uint8_t* bytes, uint32_t from, uint32_t length);

// The header bytes of a NAL unit of the codec.
inline uint32_t nal_header_size(VideoCodec codec) {
    return codec == codec_hevc ? 2 : 1;
}

// The unit type that the first header byte gives, and its forbidden bit.
inline uint8_t nal_type(VideoCodec codec, uint8_t header) {
    return codec == codec_hevc ? (header >> 1) & 0x3F : header & 0x1F;
}
inline bool nal_forbidden(uint8_t header) {
    return (header & 0x80) != 0;
}

inline constexpr uint8_t avc_nal_sps = 7;
inline constexpr uint8_t avc_nal_delimiter = 9;
inline constexpr uint8_t hevc_nal_vps = 32;
inline constexpr uint8_t hevc_nal_sps = 33;
inline constexpr uint8_t hevc_nal_delimiter = 35;
inline constexpr uint8_t mpeg4_vop_code = 0xB6;
// VC-1's start code suffixes: its sequence header, and the first of those
// that hold a picture's data (a slice, a field, a frame: 0x0B to 0x0D).
inline constexpr uint8_t vc1_sequence_code = 0x0F;
inline constexpr uint8_t vc1_slice_code = 0x0B;
inline constexpr uint8_t vc1_frame_code = 0x0D;

// Whether the first header byte opens a sequence parameter set: H.264's of
// any nal_ref_idc, HEVC's of the base layer (the layer id's first bit 0);
// VC-1's sequence header, escaped as they are, by its start code suffix.
inline bool nal_opens_sps(VideoCodec codec, uint8_t header) {
    if (codec == codec_vc1) return header == vc1_sequence_code;
    return codec == codec_hevc ? header == (hevc_nal_sps << 1) : (header & 0x9F) == avc_nal_sps;
}

// Whether the NAL unit is a sequence parameter set of the codec, judged by
// its header alone (an HEVC one's has a temporal id, of the base layer).
bool sps_nal_is(VideoCodec codec, const uint8_t* nal, uint32_t length);

// Whether the unit whose header begins with the byte is a picture's (a
// slice, or MPEG-4 video's VOP, after its start code): the units a decoder
// needs before it, the parameter sets or VOLs among them, all come first in
// an access unit.
bool nal_is_picture(VideoCodec codec, uint8_t header);

// The length that a big-endian length field of `size` bytes (1 to 4) gives
// the NAL unit after it.
uint32_t nal_length_field(const uint8_t* field, uint32_t size);
