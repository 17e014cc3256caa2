// H.263 video's picture headers in the payload a format hands over: each
// collected from the byte that ends its start code with the file position
// of every byte, and handed over as a site where it names its format (a
// custom one records the aspect, a standard one none). A picture of UFEP 0
// keeps the format of the pictures before it and is no site.
#pragma once
#include <cstdint>

#include "codecs/h263_picture.h"
#include "codecs/payload.h"
#include "codecs/site.h"

struct H263Scanner {
    uint32_t zeros;  // zero bytes fed last, up to two
    bool collecting;
    uint32_t length;
    uint8_t bytes[h263_bytes_most];
    int64_t pos[h263_bytes_most];
    const PayloadRange* range;  // the range the header ended in
};

void h263_scanner_init(H263Scanner* scanner);

// Feeds the ranges of the buffer, in order; buffer[0] lies at file
// position buffer_pos.
int32_t h263_scan(H263Scanner* scanner, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                  uint32_t count, SiteHandler on_site, void* context);

// The end of the stream ends a header still being collected.
int32_t h263_scan_finish(H263Scanner* scanner, SiteHandler on_site, void* context);

// A picture header from the byte that ends its start code, as far as kept.
AspectSite site_h263_picture_make(const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range);
// A picture header's aspect, changed only in the form it has.
extern const PlaceOps h263_picture_places;
