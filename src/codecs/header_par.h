// The pixel aspect that Theora's identification header and VP8's OVP80
// header (Ogg's stream heads) record for their picture: two 24-bit
// big-endian numbers, PARN:PARD, 0:0 where it is unknown (square samples,
// as players show it). Theora's picture region (PICW x PICH) and VP8's
// width and height come before them in the same header; the frames record
// no aspect of their own.
#pragma once
#include <cstdint>

#include "codecs/site.h"

// The bytes of such a site: from the picture's size to the pair's end.
inline constexpr uint32_t theora_par_span = 22;  // PICW, PICH, PICX, PICY, FRN, FRD, PARN, PARD
inline constexpr uint32_t theora_par_from = 14;  // in the identification header
inline constexpr uint32_t vp8_par_span = 10;     // width, height, PARN, PARD
inline constexpr uint32_t vp8_par_from = 8;      // in the OVP80 header

// The picture and the pixel aspect the bytes of a site of the holder
// record; false where they are fewer than it takes.
bool header_par_read(SiteHolder holder, const uint8_t* bytes, uint32_t length, uint32_t* width,
                     uint32_t* height, SarRatio* par);

// A stream head's picture and pixel aspect (holder_theora_header or
// holder_vp8_header), and the picture of the file's first video, which a
// target's sample aspect is of: a link of a chained file with a picture of
// another size takes the sample aspect that gives it the same shape.
AspectSite site_header_par_make(SiteHolder holder, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                const PayloadRange* range, uint32_t first_width, uint32_t first_height);
extern const PlaceOps header_par_places;
