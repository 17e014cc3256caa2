// A Matroska or WebM file's segment as far as the aspect goes: its first
// video track of a codec the tool takes, that track's Video element with
// its display elements and the room for them, and its CodecPrivate; read
// from the elements alone.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"
#include "formats/ebml.h"

// The ids of the elements the walks read, as the file spells them, level
// by level of the tree.
enum MkvId : uint32_t {
    mkv_id_ebml = 0x1A45DFA3, mkv_id_doc_type = 0x4282, mkv_id_crc32 = 0xBF,
    // The segment's children, and the info's.
    mkv_id_segment = 0x18538067, mkv_id_info = 0x1549A966, mkv_id_tracks = 0x1654AE6B, mkv_id_cluster = 0x1F43B675,
    mkv_id_timestamp_scale = 0x2AD7B1, mkv_id_duration = 0x4489,
    // A track entry and its children.
    mkv_id_track_entry = 0xAE, mkv_id_track_number = 0xD7, mkv_id_track_type = 0x83, mkv_id_codec_id = 0x86,
    mkv_id_codec_private = 0x63A2, mkv_id_content_encodings = 0x6D80, mkv_id_video = 0xE0,
    // The video element's picture size and cropping.
    mkv_id_pixel_width = 0xB0, mkv_id_pixel_height = 0xBA, mkv_id_crop_bottom = 0x54AA, mkv_id_crop_top = 0x54BB,
    mkv_id_crop_left = 0x54CC, mkv_id_crop_right = 0x54DD,
    // A cluster's blocks.
    mkv_id_simple_block = 0xA3, mkv_id_block_group = 0xA0, mkv_id_block = 0xA1,
};

// The display elements of the video track, or where they would go: see
// display_elements.h. The elements around them whose size fields grow
// with an insertion, outermost first.
struct MkvDisplay {
    int64_t span;
    uint32_t span_length;
    uint32_t growing;
    int64_t size_pos[3];
    uint8_t size_length[3];
    bool checksummed;  // one of the growing keeps a CRC-32
    uint8_t unit;      // the DisplayUnit element's value, 0 without one
};

struct MkvTrack {
    uint64_t number;
    VideoCodec codec;
    ForeignVideo foreign;  // codec_container's codec
    int64_t codec_private;  // -1 without one
    uint32_t codec_private_length;
    // Where the codec's own configuration begins in it: past the stream
    // format's BITMAPINFOHEADER in a track in AVI's manner
    // (V_MS/VFW/FOURCC), whose configuration is read as an AVI's; else 0.
    uint32_t config_at;
    uint32_t width;  // the picture after its crop
    uint32_t height;
    SarRatio shown;  // what the display elements give the picture; {0, 0} without them
    MkvDisplay display;
};

struct MkvSegment {
    bool webm;
    EbmlElement segment;  // up to the end of the file where that comes first
    bool cut;             // its size runs past the end of the file: a recording cut short
    EbmlElement tracks;
    bool found;  // the first video track with a picture size
    MkvTrack video;
    bool encoded;      // its ContentEncodings compress or encrypt its frames
    uint32_t others;   // video tracks besides it, left alone
    uint64_t other_number;
    ForeignVideo other_codec;  // its codec, where the tool changes no such video
    double duration_sec;
};

// Whether the bytes open a Matroska or WebM file: an EBML header whose
// DocType is "matroska" or "webm".
bool matroska_opens(const uint8_t* head, uint32_t length);

// Reads the segment's tracks and info: 0, result_element_broken, or a
// read's failure.
int32_t matroska_segment_read(BlockReader* reader, MkvSegment* segment);

// The element that follows a child of a master of unknown size ends it
// where it can be no child of it: whether the ID is one of a cluster's.
bool matroska_cluster_child(uint32_t id);
