// An ASF file (.wmv, .asf, .dvr-ms) as far as the aspect goes: the objects
// of its Header Object, read from their heads: the file's playing time,
// the first video stream's properties (its codec by the four characters of
// its BITMAPINFOHEADER, its picture), and the pairs of aspect records of
// that stream and of the whole file; where the Data Object's packets lie,
// and the codec's configuration after the stream's BITMAPINFOHEADER. The
// frames in the packets are read only for VC-1 (see asf_packets.h): of the
// other codecs, those whose frames record no aspect (Windows Media Video,
// the Microsoft MPEG-4 variants) are the ones taken.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"
#include "formats/reader.h"

// The most pairs of aspect records a file's header is read for.
inline constexpr uint32_t asf_pairs_most = 32;

// A pair of aspect records, or a Metadata Object that holds it alone, and
// the head of the Padding Object after such an object.
struct AsfPair {
    int64_t pos;
    uint32_t length;
    SiteHolder holder;  // holder_asf_metadata, holder_asf_library, holder_asf_content
    uint16_t stream;    // 0: the whole file's
    SarRatio sar;       // {0, 0} where a value is 0
};

struct AsfFile {
    bool found;  // the first video stream
    bool sealed;  // its content is encrypted
    uint16_t stream;
    VideoCodec codec;
    ForeignVideo foreign;
    uint32_t width;
    uint32_t height;
    double duration_sec;
    uint32_t others;  // video streams besides it, left alone
    uint16_t other_stream;
    ForeignVideo other_codec;
    AsfPair pairs[asf_pairs_most];
    uint32_t pair_count;
    int64_t extension;  // the Header Extension Object, -1 without one
    // Its first Padding Object with room for a Metadata Object of the pair,
    // -1 without one, and the bytes a site of it holds.
    int64_t room;
    uint32_t room_length;
    // The codec's configuration after its BITMAPINFOHEADER, -1 without one.
    int64_t extra;
    uint32_t extra_length;
    // The Data Object (-1 without one) and where its packets end: the file's
    // end where its size is unknown or runs past it; the packets' one size,
    // 0 where the File Properties give none or two.
    int64_t data;
    int64_t data_end;
    uint32_t packet_size;
};

// Whether the bytes open an ASF file: its Header Object.
bool asf_opens(const uint8_t* head, uint32_t length);

// Reads the Header Object: 0, result_chunk_broken (an object or record
// that runs past what holds it, an aspect record without its other half),
// or a read's failure.
int32_t asf_header_read(BlockReader* reader, AsfFile* file);
