// NAL units framed by start codes (Annex B): the sequence parameter sets of
// H.264 and HEVC video (and VC-1's sequence headers, framed and escaped
// alike) in the payload a format hands over, each collected
// whole with the file position of every byte (a set may lie across
// packets), and handed over as a site once its NAL unit ends.
#pragma once
#include <cstdint>

#include "codecs/payload.h"
#include "codecs/site.h"
#include "codecs/sps.h"

struct SpsUnit {
    uint32_t length;  // escaped bytes, from the NAL header on
    // Longer than the bytes kept; part of it in a transport packet sent
    // twice, and part outside (a decoder reads the first copy, which the
    // positions do not hold); or the same set again, read through a second
    // copy after the first copy ended it and it was handed over, new only
    // from a file position on.
    SetCopy copy;
    uint8_t bytes[sps_bytes_most];
    int64_t pos[sps_bytes_most];
};

// What the scan had before the latest range, for a repeated one.
struct SpsScanState {
    uint32_t window;  // the last three bytes fed
    bool header_next;  // a start code ended with the last byte fed
    bool collecting;
    uint32_t length;
};

struct SpsScanner {
    VideoCodec codec;
    SpsScanState state;
    SpsScanState before;
    bool restarted;  // a set began in the latest range: its bytes replaced the older ones
    bool handed;     // a set was handed over in the latest range
    bool in_repeat;  // the latest range was a repeat
    SpsUnit unit;
    const PayloadRange* range;  // the range a set ended in
};

void sps_scanner_init(SpsScanner* scanner, VideoCodec codec);

// Feeds the ranges of the buffer, in order; buffer[0] lies at file
// position buffer_pos.
int32_t sps_scan(SpsScanner* scanner, const uint8_t* buffer, int64_t buffer_pos,
                 const PayloadRange* ranges, uint32_t count, SiteHandler on_site, void* context);

// The end of the stream ends a set still being collected.
int32_t sps_scan_finish(SpsScanner* scanner, SiteHandler on_site, void* context);

// An H.264 or HEVC SPS, its whole NAL unit as far as kept; a VC-1 sequence
// header, from its suffix byte on, as a site of its own kind.
AspectSite site_parameter_set_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                   uint32_t length, const PayloadRange* range, SetCopy copy);
// A parameter set's VUI: its sample aspect, changed only in place.
extern const PlaceOps parameter_set_places;
