// MXF's display aspect: the Aspect Ratio item (a Rational, two big-endian
// 32-bit integers) of a picture essence descriptor, for the picture its
// display width and height give. Each copy of the header metadata (the
// header's, a body partition's, the footer's) has a descriptor of its own:
// every copy is a place, since readers differ on which they read.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"

inline constexpr uint32_t mxf_aspect_bytes = 8;

// The Aspect Ratio item's value (mxf_aspect_bytes), or where a descriptor
// has none, its set's key (any other length), which takes nothing; and the
// picture it is the display aspect of.
AspectSite site_mxf_aspect_make(VideoCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                const PayloadRange* range, uint32_t picture_width, uint32_t picture_height);
extern const PlaceOps mxf_aspect_places;
