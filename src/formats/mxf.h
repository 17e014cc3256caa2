// An MXF file (OP1a, D-10, OP-Atom) as far as the aspect goes: its KLVs
// (a 16-byte key, a BER length, the value), its partitions, the primer
// pack of each copy of the header metadata (which names the local tags of
// its sets), the picture essence descriptor of each copy, and the picture
// elements of its essence containers, one frame each.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"
#include "formats/reader.h"

struct MxfKlv {
    uint8_t key[16];
    int64_t start;
    int64_t body;  // after its length
    int64_t end;
};

enum MxfRead : uint8_t { mxf_found, mxf_none, mxf_broken, mxf_cut };

// The KLV at pos of what ends at `end`: none where nothing begins there;
// cut where its value runs past the end of the file (a recording stopped
// by a crash), ending there; broken, noted as the damage and its result
// set, where its head runs past the end, or its value past an end that is
// not the file's.
MxfRead mxf_klv_read(BlockReader* reader, int64_t pos, int64_t end, MxfKlv* klv, int32_t* result);

bool mxf_opens(const uint8_t* head, uint32_t length);
bool mxf_is_partition(const uint8_t* key);
bool mxf_is_primer(const uint8_t* key);
bool mxf_is_picture_descriptor(const uint8_t* key);
// A picture element of a frame-wrapped essence container: one frame.
bool mxf_is_picture_element(const uint8_t* key);

// The local tags a primer pack gives the items the tool reads (0 where it
// names none).
struct MxfPrimer {
    uint16_t aspect;
    uint16_t stored_width;
    uint16_t stored_height;
    uint16_t display_width;
    uint16_t display_height;
    uint16_t coding;
    uint16_t container;
    uint16_t rate;
    uint16_t duration;
    uint16_t data_definition;
    uint16_t length;
};

int32_t mxf_primer_read(BlockReader* reader, const MxfKlv& klv, MxfPrimer* primer);

// A copy of the picture essence descriptor.
struct MxfDescriptor {
    int64_t aspect;  // its Aspect Ratio's value, -1 without one
    uint32_t width;  // its stored size, else its display size
    uint32_t height;
    VideoCodec codec;
    ForeignVideo foreign;
    bool clip_wrapped;  // its essence is one element, not one a frame
    SarRatio shown;
    uint64_t rate[2];  // its sample rate: frames in so many seconds
    double duration_sec;
};

int32_t mxf_descriptor_read(BlockReader* reader, const MxfKlv& klv, const MxfPrimer& primer, MxfDescriptor* d);
// So many frames at the descriptor's rate, in seconds; 0 without a rate.
double mxf_seconds(const MxfDescriptor* d, uint64_t frames);

// A sequence of a package's track: the playing time of a file whose
// descriptor gives none (ffmpeg's) is its picture track's length.
bool mxf_is_sequence(const uint8_t* key);
// A picture track's sequence's length, where it is longer than *frames.
int32_t mxf_sequence_frames(BlockReader* reader, const MxfKlv& klv, const MxfPrimer& primer, uint64_t* frames);
