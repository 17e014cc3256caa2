// The aspect a Blu-ray or AVCHD clip information file records of its
// stream's video: the high four bits of the byte after a video
// StreamCodingInfo's format and rate, with the codes of MPEG-2's table
// (2 is 4:3, 3 is 16:9). The low four bits are flags of their own and
// never change.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"

// The code the byte records: 2, 3, or 0 for any other value.
uint32_t clip_aspect_of(uint8_t byte);

// A clip information file's aspect byte.
AspectSite site_clip_aspect_make(const uint8_t* byte, const int64_t* pos, const PayloadRange* range);
extern const PlaceOps clip_aspect_places;
