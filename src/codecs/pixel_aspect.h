// ISO media's pixel aspect box (pasp): hSpacing and vSpacing, 32 bits
// each, big-endian, the sample aspect that players of the most common
// family (and those that read it and the parameter sets alone: Chrome,
// ExoPlayer) show. A sample entry without one gets it in the room of a
// free or skip box among the entry's children or right after the entry:
// the pasp is written where the room began, and the room, shortened by as
// much, follows it as a box of its own type (or is taken whole where it is
// exactly a pasp's 16 bytes); where the room lay after the entry, the
// entry grows by it. No byte after the room moves.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"
#include "codecs/video_codec.h"

inline constexpr uint32_t pixel_aspect_bytes = 8;
inline constexpr uint32_t pixel_aspect_box_bytes = 16;
inline constexpr uint32_t pair_head_bytes = 8;

// The bytes of such a site: the pair, alone; or, framed, the pair (where a
// pasp has it, or would have it), the head of its box (or of the box whose
// room takes one, or of any other box where there is neither), the head
// of the box after it where that is a free or skip box, then the size
// fields of the boxes that end where it begins or ends: a box that ends
// where the room begins grows by a pasp written there. A site is framed
// alike before and after a pasp went into room, so that -u meets the same
// bytes.
struct PairFrame {
    const uint8_t* bytes;
    const int64_t* pos;  // the file position of each
    uint32_t length;
    uint32_t heads;  // the heads after the pair, 0 to 2: 0 for the pair alone
    uint32_t size_fields;
    const uint8_t* size_lengths;  // 4, or 8 for a box of a 64-bit size
};

// A pixel aspect pair, or the frame of one, for the video of the codec.
AspectSite site_pixel_aspect_make(VideoCodec codec, const PairFrame* frame, const int64_t* pos,
                                  const PayloadRange* range);
extern const PlaceOps pixel_aspect_places;
