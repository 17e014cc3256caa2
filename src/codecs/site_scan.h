// The scanner of a codec over the payload a format hands over: every site
// where the video records its aspect, handed to the editor's handler.
#pragma once
#include <cstdint>

#include "codecs/dv_scan.h"
#include "codecs/h263_scan.h"
#include "codecs/header_scan.h"
#include "codecs/nal_scan.h"
#include "codecs/site.h"
#include "codecs/vol_scan.h"

struct SiteScanner {
    VideoCodec codec;
    HeaderScanner headers;  // MPEG video: the reference's headers
    SpsScanner sets;        // H.264 and HEVC, and VC-1's sequence headers
    VolScanner vols;        // MPEG-4 video
    DvScanner dv;           // DV: the DIF blocks handed over, and the frames they make
    H263Scanner pictures;   // H.263
};

// `reference` is the 8 bytes of MPEG video's first sequence header, whose
// size and frame rate every header handed over has; unused otherwise.
void site_scanner_init(SiteScanner* scanner, VideoCodec codec, const uint8_t* reference);

// Feeds the ranges of the buffer, in order; buffer[0] lies at file
// position buffer_pos.
int32_t site_scan(SiteScanner* scanner, const uint8_t* buffer, int64_t buffer_pos,
                  const PayloadRange* ranges, uint32_t count, SiteHandler on_site, void* context);

// The search over raw bytes that lets a walk pass over payload holding no
// place: MPEG video's, whose places are its sequence headers; none (a null
// find) for the other codecs, whose payload is handed over whole.
PayloadSearch site_scan_search(const SiteScanner* scanner);

// The end of the stream ends a site still being collected.
int32_t site_scan_finish(SiteScanner* scanner, SiteHandler on_site, void* context);

// What the scan met besides its sites: matches of MPEG video's reference
// that were no sequence headers, and the frames a codec of frames counted
// (null where it counts none).
uint32_t site_scan_false_headers(const SiteScanner* scanner);
const DvFrameTally* site_scan_frames(const SiteScanner* scanner);
