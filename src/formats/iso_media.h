// An ISO media file's movie (the moov box): its video track, and where the
// track records its shape besides the video's own bytes, read from the
// boxes alone. MP4 and QuickTime (MOV) files are read alike.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"
#include "formats/iso_boxes.h"

// A place that holds 8 bytes of a display size or a pixel aspect: the file
// position of the first, or -1 where the file has none.
typedef int64_t IsoPlace;
inline constexpr IsoPlace iso_place_none = -1;

// Where the sample entry's pasp box is, or where one would go: the head of
// the pasp (of 16 bytes), of a free or skip box among the entry's children
// or right after the entry whose room takes one, or, with neither, the
// entry's own (-1 for a pasp of another size, which is read as a pair
// alone); how many heads a site of it holds (see pixel_aspect.h); the
// entry's size field where the box lies at the entry's end or right after
// it (the entry grows with a pasp written right after it).
struct IsoPairPlace {
    int64_t at;
    uint8_t heads;
    bool missing;  // neither a pasp nor room for one
    int64_t entry_size;  // -1 for none
    uint8_t entry_size_length;
};

struct IsoTrack {
    uint32_t id;
    VideoCodec codec;
    uint32_t entry;   // the sample entry's type: avc1, hvc1, mp4v, m2v1, ...
    ForeignVideo foreign;  // codec_container's codec
    uint32_t width;   // the sample entry's picture size
    uint32_t height;
    IsoPlace track_header;         // tkhd's width and height, where they are a display size
    IsoPlace pixel_aspect;         // pasp
    SarRatio pixel_aspect_sar;     // what it holds
    IsoPairPlace pair;             // the pasp's box, or where one would go
    IsoPlace clean_aperture;       // QuickTime: tapt's clef
    IsoPlace production_aperture;  // QuickTime: tapt's prof
    // What the display size that counts (the track header's, or where that
    // is none the clean aperture's) gives the picture; {0, 0} for none or 0x0.
    SarRatio display_sar;
    // The decoder configuration: an avcC or hvcC body, or the MPEG-2
    // video's sequence header or MPEG-4 video's VOL in esds, or in glbl for
    // an entry named by AVI's four characters; -1 when there is none.
    int64_t config;
    uint32_t config_length;
    SiteHolder config_holder;
    IsoBox sample_table;  // stbl
    uint32_t default_size;  // trex's default sample size, for movie fragments
    uint32_t default_duration;  // and its default sample duration, in the track's ticks
    uint32_t timescale;  // the track's ticks a second
    double duration_sec;
};

struct IsoMovie {
    bool quicktime;  // a QuickTime file (MOV): brand "qt  ", or no ftyp
    bool fragmented;  // movie fragments (moof) hold samples
    IsoBox movie;
    bool found;       // the first video track, not encrypted, with a picture size
    IsoTrack video;
    bool encrypted;   // the first video track's samples are encrypted
    uint32_t others;  // video tracks besides it, left alone
    uint32_t other_id;  // the first of them
    ForeignVideo other_codec;  // its codec, where the tool changes no such video
};

// Where the pasp of the sample entry in stsd is, or would go: `pasp` is its
// box where it has one of 16 bytes, `room` its first free or skip child
// with room for one (iso_room_holds), else null.
BoxRead iso_pair_place(BlockReader* reader, const IsoBox* stsd, const IsoBox* entry, const IsoBox* pasp,
                       const IsoBox* room, IsoPairPlace* place, int32_t* result);
// Whether a box is a free or skip box with room for a pasp: it takes the
// whole of it, or leaves room for a box's head.
bool iso_room_holds(const IsoBox* box);

// Whether the bytes open an ISO media file: a box the files begin with.
bool iso_media_opens(const uint8_t* head, uint32_t length);

// Reads the movie: 0, result_no_movie (no moov before the end, as a
// recording cut before it was written leaves it), result_box_broken, or a
// read's failure.
int32_t iso_movie_read(BlockReader* reader, IsoMovie* movie);
