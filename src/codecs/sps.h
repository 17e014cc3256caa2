// The sequence parameter sets of H.264 and HEVC video: what they say about
// the picture and its sample aspect, and the in-place change of that aspect.
// A parameter set is handled as its NAL unit holds it, escaped (emulation
// prevention bytes in), from its NAL header on.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/bit_reader.h"
#include "codecs/sar.h"
#include "codecs/video_codec.h"

// The longest parameter set kept; a longer one is left alone.
inline constexpr uint32_t sps_bytes_most = 4096;
// aspect_ratio_idc of an explicit sar_width:sar_height.
inline constexpr uint8_t sar_explicit = 255;

struct SpsInfo {
    uint32_t sps_id;
    uint32_t width;   // the picture after cropping, in luma samples
    uint32_t height;
    bool aspect_present;  // aspect_ratio_info_present_flag
    uint32_t aspect_bit;  // bit of the RBSP where aspect_ratio_idc begins
    uint8_t idc;
    uint16_t sar_width;  // explicit ones only
    uint16_t sar_height;
};

// Whether the bytes hold, after a start code, a parameter set of the codec
// that reads.
bool sps_in(VideoCodec codec, const uint8_t* bytes, uint32_t length);

// Whether the bytes open an H.264 or HEVC elementary stream (Annex B): a
// start code after at most a few zero bytes, and a parameter set of the
// codec that reads; codec_mpeg when they do not.
VideoCodec nal_codec_detect(const uint8_t* bytes, uint32_t length);

// Reads the parameter set up to its aspect information: false when it is
// cut short or not one this reader understands.
bool sps_read(VideoCodec codec, const uint8_t* nal, uint32_t length, SpsInfo* info);

// The sample aspect the set gives: {0, 0} when it gives none (no aspect
// information, or idc 0 or a reserved code).
SarRatio sps_sar(const SpsInfo* info);

// The sample aspect that shows the picture at the display aspect
// display_w:display_h, in lowest terms.
SarRatio sar_for_display(const SpsInfo* info, uint32_t display_w, uint32_t display_h);

// aspect_ratio_idc of the table entry equal to the ratio, or 0; the
// sample aspect of a code, {0, 0} for 0 and the codes past the table.
uint8_t sar_table_code(SarRatio sar);
SarRatio sar_of_table_code(uint8_t code);

// The changed bytes of a parameter set that is to show the sample aspect
// target: a table code where it uses one, explicit numbers where it already
// has them. *count gets how many (at most changes_most).
AspectEdit sps_aspect_edit(VideoCodec codec, const uint8_t* nal, uint32_t length, SarRatio target,
                        ByteChange* changes, uint32_t* count);

// The escaped indices of the bytes that hold the part of the set's aspect
// field an in-place change may rewrite (its idc, or its explicit numbers):
// how many, 0 when it has none.
uint32_t sps_field_bytes(VideoCodec codec, const uint8_t* nal, uint32_t length, uint32_t* indices);

// The RBSP of a NAL payload with its emulation prevention bytes taken out;
// index_of[k] gets the escaped index of RBSP byte k. Returns the RBSP length.
uint32_t rbsp_unescape(const uint8_t* escaped, uint32_t length, uint8_t* rbsp, uint16_t* index_of);
// The RBSP escaped again: the escaped length, or 0 when it would not fit.
uint32_t rbsp_escape(const uint8_t* rbsp, uint32_t length, uint8_t* escaped, uint32_t capacity);

// A unit escaped as a NAL unit is (VC-1's too), whose first `header` bytes
// are not: the changes that put the low `bits` bits of value at bit `bit`
// of its RBSP, written only where the unit escaped again keeps its length
// and differs in the bytes that hold those bits alone (aspect_edit_escaping
// otherwise); and the escaped indices of those bytes, how many.
AspectEdit rbsp_field_edit(const uint8_t* unit, uint32_t length, uint32_t header, uint32_t bit, uint32_t bits,
                           uint32_t value, ByteChange* changes, uint32_t* count);
uint32_t rbsp_field_bytes(const uint8_t* unit, uint32_t length, uint32_t header, uint32_t bit, uint32_t bits,
                          uint32_t* indices);

// The two codecs' readers, from the RBSP after the NAL header.
// From the vui_parameters() syntax on: the aspect fields. False when cut.
bool vui_aspect_read(BitReader* r, SpsInfo* info);

bool avc_sps_read(BitReader* r, SpsInfo* info);
bool hevc_sps_read(BitReader* r, SpsInfo* info);
