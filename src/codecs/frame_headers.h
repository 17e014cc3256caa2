// The first frame of video whose frames the tool does not change, where
// its own header records an aspect that some players take over the
// container's: ProRes's frame header, a Motion JPEG frame's JFIF pixel
// density, a VP9 key frame's render size. Only what is cheap and certain
// is read; any other codec, or bytes that do not read, record none.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"

// How many bytes of the first frame the reader looks at: 0 for a codec
// whose frames are not read at all.
uint32_t frame_header_bytes(ForeignCodec codec);

// The sample aspect the header gives its picture: {0, 0} where it records
// none (square samples, a render size of the coded size, an unknown code).
SarRatio frame_header_sar(ForeignCodec codec, const uint8_t* bytes, uint32_t length);

// Whether players show the picture at the header's aspect where the
// container records none: a JFIF density is read by ffmpeg's decoder and
// the players built on it; ProRes's code and VP9's render size are not.
bool frame_header_shown(ForeignCodec codec);

// The first bytes of the video's first frame, of a codec whose frames the
// tool reads but never changes, with the container's picture: a place
// that holds the target already (it gives the picture the target's shape),
// or stands in the way of it.
AspectSite site_frame_header_make(ForeignCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height);
extern const PlaceOps frame_header_places;
