// Matroska's display size: the DisplayWidth and DisplayHeight elements of
// a track's Video element, in the unit of its DisplayUnit (0 pixels, 1 and
// 2 lengths, 3 the display aspect itself), against the picture after its
// PixelCrop. They are changed within the bytes their data already has (an
// unsigned integer may take leading zero bytes). A file without them shows
// square samples; they are then written into the room of a Void element
// after them, and the elements around them that end before the Void grow
// by what they take, within the width of their size fields, so that no
// byte after the Void moves.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"
#include "codecs/video_codec.h"

// The bytes of such a site: first the size fields of the elements that
// grow with an insertion, outermost first; then the span from the display
// elements (or, without them, from where they go) past the head of the
// Void that gives room.
struct DisplayFrame {
    const uint8_t* bytes;
    uint32_t length;
    uint32_t size_fields;
    const uint8_t* size_lengths;
    uint32_t picture_width;  // after the crop
    uint32_t picture_height;
    uint8_t unit;             // DisplayUnit where the span does not hold one
    bool growth_checksummed;  // an element that would grow keeps a CRC-32: it may not
};

inline constexpr uint32_t display_id_width = 0x54B0;
inline constexpr uint32_t display_id_height = 0x54BA;
inline constexpr uint32_t display_id_unit = 0x54B2;
inline constexpr uint32_t ebml_id_void = 0xEC;
inline constexpr uint8_t display_unit_aspect = 3;

// The sample aspect the elements give the picture: square samples without
// them; false when only one of the two is there, or they say nothing.
bool display_elements_read(const DisplayFrame* frame, SarRatio* sar);
// The sample aspect a display width and height in the unit give a picture
// of picture_w x picture_h samples: the display aspect itself is exact, a
// width in whole units reads as the aspect a change to it writes (see
// sar_of_width). {0, 0} where they say none.
SarRatio display_elements_sar(uint64_t width, uint64_t height, uint8_t unit, uint32_t picture_w,
                              uint32_t picture_h);
// The display width and height the elements hold: false without them.
bool display_elements_values(const DisplayFrame* frame, uint64_t* width, uint64_t* height);
// Changes of the site's bytes that make the elements give the target:
// aspect_edit_no_room where they are missing and no Void gives room.
AspectEdit display_elements_edit(const DisplayFrame* frame, SarRatio target, ByteChange* changes, uint32_t* count);

// Matroska's display elements as the frame describes them, for the video
// of the codec; and, of such a site, the width and height they hold,
// false where the file has none.
AspectSite site_display_elements_make(VideoCodec codec, const DisplayFrame* frame, const int64_t* pos,
                                      const PayloadRange* range);
bool site_display_values(const AspectSite* site, uint64_t* width, uint64_t* height);
extern const PlaceOps display_elements_places;
