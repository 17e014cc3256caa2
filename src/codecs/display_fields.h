// What a container records of the picture's shape as a display size (an
// ISO track header, a QuickTime aperture), which shows the picture's own
// size at a sample aspect. A change writes the display width that the new
// sample aspect gives at the recorded height. (ISO's pixel aspect pair is
// pixel_aspect's.)
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"
#include "codecs/video_codec.h"

// 8 bytes, big-endian: width and height in 16.16
// fixed point, against a picture of picture_w x picture_h samples. The
// sample aspect it gives the picture, as sar_of_width reads a width; a
// size of 0x0 (an initialisation segment's track header) records none:
// true with {0, 0}. False for one that does not read.
inline constexpr uint32_t display_size_bytes = 8;
bool display_size_sar(uint64_t width, uint64_t height, uint32_t picture_w, uint32_t picture_h, SarRatio* sar);
bool display_size_read(const uint8_t* bytes, uint32_t picture_w, uint32_t picture_h, SarRatio* sar);
// The new width is the exact one, as near as 16.16 holds it, and one within
// 1/65536 of a pixel of it holds the target already; 0x0 is no place.
AspectEdit display_size_edit(const uint8_t* bytes, uint32_t picture_w, uint32_t picture_h, SarRatio target,
                             ByteChange* changes, uint32_t* count);
// The bytes a change of a display size rewrites: its width.
inline constexpr uint32_t display_width_bytes = 4;

// A display size of a container's (tkhd, or tapt's clef and prof) for the
// video of the codec, against its picture after the crop.
AspectSite site_display_size_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height);
extern const PlaceOps display_size_places;
