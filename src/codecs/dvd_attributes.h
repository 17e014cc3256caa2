// The video attributes byte of a DVD-Video title set (its IFO's byte 0x200
// for the title VOBs): coding mode, and the display aspect a DVD player
// sets its output from.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/site.h"

struct DvdVideo {
    uint8_t attributes;
    bool mpeg2;       // coding mode 01
    uint32_t aspect;  // as a sequence header codes it: 2 (4:3), 3 (16:9), 0 (a reserved value)
};

DvdVideo dvd_video_of(uint8_t attributes);

// The attributes byte that says `target` (2 or 3), the rest of it kept:
// aspect bits 00 with automatic pan-scan and letterbox both disallowed for
// 4:3, bits 11 with both allowed for 16:9, as authoring programs write them.
uint8_t dvd_attributes_for(uint8_t attributes, uint32_t target);

// The change of the byte to `target`: aspect_edit_changed with the new
// byte, aspect_edit_same, or aspect_edit_no_code for a code DVD-Video does
// not have.
AspectEdit dvd_attributes_edit(uint8_t attributes, uint32_t target, uint8_t* value);

// A DVD title set's video attributes byte.
AspectSite site_dvd_attributes_make(const uint8_t* byte, const int64_t* pos, const PayloadRange* range);
extern const PlaceOps dvd_attributes_places;
