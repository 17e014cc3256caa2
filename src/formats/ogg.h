// An Ogg file as far as the aspect goes: its pages' heads, read one after
// the other, and the beginning-of-stream pages of each link (a chained
// file is links one after the other, each opening with its streams'
// beginning-of-stream pages), where a Theora or VP8 stream's head records
// its picture and pixel aspect. Each page keeps a CRC of itself.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "formats/reader.h"

inline constexpr uint32_t ogg_page_head_bytes = 27;
inline constexpr uint32_t ogg_crc_at = 22;  // in the page's head, little-endian

struct OggPage {
    int64_t start;
    int64_t body;  // after the segment table
    int64_t end;
    uint8_t type;  // 1 continued packet, 2 first page of a stream, 4 last
    uint32_t serial;
    uint8_t crc[4];
};

enum OggRead : uint8_t { ogg_page_found, ogg_page_none, ogg_page_cut, ogg_page_broken };

// Whether the bytes open an Ogg file: a page head of version 0.
bool ogg_opens(const uint8_t* head, uint32_t length);

// The page at pos: none at the file's end, cut where it runs past it,
// broken where no page head reads there (*result 0), or a read's failure
// (*result set).
OggRead ogg_page_read(BlockReader* reader, int64_t pos, OggPage* page, int32_t* result);

// A video stream's head, where a page that opens a stream holds one: the
// site's holder, and its bytes' file position and count.
struct OggVideoHead {
    SiteHolder holder;
    int64_t pos;
    uint32_t length;
    uint32_t width;
    uint32_t height;
    SarRatio par;
};
// Whether the page opens a Theora or VP8 stream: 0 and *found, or a
// read's failure.
int32_t ogg_video_head_read(BlockReader* reader, const OggPage* page, OggVideoHead* head, bool* found);
