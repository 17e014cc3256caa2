// MPEG-4 video's VOL headers in the payload a format hands over: each
// collected from its code byte with the file position of every byte (a VOL
// may lie across packets or frames), and handed over as a site once its
// picture size is kept or the next start code or the unit ends it.
#pragma once
#include <cstdint>

#include "codecs/mpeg4_vol.h"
#include "codecs/payload.h"
#include "codecs/site.h"

// What the scan had before the latest range, for a repeated one.
struct VolScanState {
    uint32_t window;  // the last three bytes fed
    bool code_next;   // a start code prefix ended with the last byte fed
    bool collecting;
    uint32_t length;
};

struct VolScanner {
    VolScanState state;
    VolScanState before;
    bool repeat;  // the range being scanned repeats the one before it
    // Where the VOL's bytes came from: a packet sent twice, and any other.
    bool from_repeat;
    bool from_other;
    uint8_t bytes[vol_bytes_most];
    int64_t pos[vol_bytes_most];
    const PayloadRange* range;  // the range the VOL ended in
};

void vol_scanner_init(VolScanner* scanner);

// Feeds the ranges of the buffer, in order; buffer[0] lies at file
// position buffer_pos.
int32_t vol_scan(VolScanner* scanner, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                 uint32_t count, SiteHandler on_site, void* context);

// The end of the stream ends a VOL still being collected.
int32_t vol_scan_finish(VolScanner* scanner, SiteHandler on_site, void* context);

// An MPEG-4 VOL from its code byte on, as far as kept (mpeg4_vol.h); one
// whose bytes lie partly in a transport packet sent twice is `across_repeat`.
AspectSite site_video_object_layer_make(SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                        uint32_t length, const PayloadRange* range, bool across_repeat);
// A VOL's aspect, changed only in the form it has.
extern const PlaceOps video_object_layer_places;
