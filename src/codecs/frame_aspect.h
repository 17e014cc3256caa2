// AVI's video properties header (vprp): the display aspect of the frame in
// dwFrameAspectRatio, X in the high 16 bits and Y in the low, for a frame
// of dwFrameWidthInPixels x dwFrameHeightInLines. Players that read it
// show the picture at that aspect whatever its samples say. An AVI without
// one gets it in the room of a JUNK chunk of the video's header list: the
// vprp is written where the JUNK began and the JUNK, shortened by as much,
// follows it, so that no byte after the room moves.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"
#include "codecs/video_codec.h"

// A vprp of one field: its chunk head, nine dwords, one field's eight.
inline constexpr uint32_t vprp_chunk_bytes = 8 + 4 * (9 + 8);
// The bytes of such a site, from the vprp's head or the JUNK's: a vprp
// and the head of the JUNK left after it. Fewer where the list ends first.
inline constexpr uint32_t frame_aspect_span = vprp_chunk_bytes + 8;

// Whether a JUNK chunk of the size gives room for a vprp: it takes the
// whole of it, or leaves room for a JUNK's head.
bool frame_aspect_room(uint32_t junk_size);

struct FrameAspectPlace {
    const uint8_t* bytes;  // a vprp chunk, a JUNK chunk, or neither: no room
    uint32_t length;
    uint32_t picture_width;  // the stream format's, for a vprp to be written
    uint32_t picture_height;
    uint32_t refresh_rate;   // frames a second, rounded
    bool own_places;         // the video records its aspect too: without room the run goes by those
};

// The sample aspect the vprp gives its frame: true with {0, 0} without a
// vprp; false for one that does not read.
bool frame_aspect_read(const FrameAspectPlace* place, SarRatio* sar);
// The aspect X:Y the vprp holds: false without one.
bool frame_aspect_values(const FrameAspectPlace* place, uint32_t* x, uint32_t* y);
// Changes of the bytes that make them give the target: the display aspect
// of the frame at the target, 4:3 and 16:9 as such where it is one of
// them within the rounding of the usual sample aspects. Without a vprp, a
// JUNK of enough room takes one; without room the place takes nothing:
// aspect_edit_no_place where the video records its own, else
// aspect_edit_no_room.
AspectEdit frame_aspect_edit(const FrameAspectPlace* place, SarRatio target, ByteChange* changes, uint32_t* count);

// AVI's vprp, a JUNK chunk that gives room for one, or the head of a chunk
// where neither is: its first bytes, and the stream format's picture and
// frame rate, which a vprp written into room records; and, of such a site,
// the aspect X:Y the vprp holds, false without one.
AspectSite site_frame_aspect_make(VideoCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height,
                                  uint32_t refresh_rate);
bool site_frame_aspect_values(const AspectSite* site, uint32_t* x, uint32_t* y);
extern const PlaceOps frame_aspect_places;
