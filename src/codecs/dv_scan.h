// DV's source control packs in the DIF blocks a format hands over: each
// pack a site, with the frame it lies in and the frame's size, which says
// its system and rate; and the frames counted, with those whose packs
// record different shapes.
#pragma once
#include <cstdint>

#include "codecs/dv_dif.h"
#include "codecs/payload.h"
#include "codecs/site.h"

// Counts the frames the VAUX blocks handed over belong to, and those
// whose packs record different shapes.
struct DvFrameTally {
    uint64_t frames;
    uint64_t disagreeing;
    uint64_t first_disagreeing;  // index of the first of those
    uint32_t frame_code;         // the first pack's of the frame being read, 0xFF before one
    bool frame_disagrees;
};

struct DvScanner {
    uint8_t block[dif_block_size];  // a block that a range boundary split
    int64_t pos[dif_block_size];
    uint32_t held;
    DvFrameTally tally;
};

void dv_scanner_init(DvScanner* scanner);
// Feeds the ranges, which together are whole DIF blocks in order from a
// block boundary; every source control pack of a VAUX block is a site.
int32_t dv_scan(DvScanner* scanner, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                uint32_t count, SiteHandler on_site, void* context);

// The data bytes of a DV source control pack, in a frame or a copy of it
// (an AVI's DVINFO), and how its DISP bits are read and changed.
AspectSite site_dv_control_make(SiteHolder holder, const uint8_t* bytes4, const int64_t* pos,
                                const PayloadRange* range);
extern const PlaceOps dv_control_places;
