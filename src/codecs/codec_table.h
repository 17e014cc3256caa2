// The one table of the codecs the tool knows: a row each, with everything
// the layers above need of a codec, so that none of them names one. A row
// says what the texts and the report call the codec and its headers, how
// its aspects are named, which targets -o names for it and what it takes
// by default, how the analysis finds its first header, and how its marker
// file's first line reads. Its places are read and changed through the
// kinds of site its scanner hands over.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"

// What the texts call a codec's own header.
enum HeaderWord : uint8_t {
    header_word_sequence,    // MPEG video's sequence header
    header_word_set,         // a parameter set (SPS)
    header_word_vol,         // an MPEG-4 VOL
    header_word_pack,        // a DV pack
    header_word_attributes,  // a DVD title set's video attributes
    header_word_frame,       // a frame's own header, of a codec whose frames the tool never changes
    header_word_picture,     // an H.263 picture header
    header_word_vc1,         // a VC-1 sequence header
};

// How the console names an aspect of the codec.
enum AspectNaming : uint8_t {
    naming_mpeg1_codes,  // by code, MPEG-1's table (the sample's own shape)
    naming_mpeg2_codes,  // by code, MPEG-2's table (the picture's shape)
    naming_shapes,       // the shape alone: "4:3", "16:9", "other"
    naming_samples,      // the sample aspect and the shape it gives: "SAR 16:15(4:3)"
};

// How the summary line reads.
enum SummaryStyle : uint8_t {
    summary_mpeg,       // MPEG video's: version, size, frame rate, bit rate
    summary_samples,    // the sample aspects before and after
    summary_shapes,     // the shapes before and after
    summary_container,  // the shapes, of video whose container alone takes the aspect
};

// What -o takes: any code of the codec's 4-bit table (0 to 15), the
// shapes 1 to 4 (square samples, 4:3, 16:9, 2.21:1), or 4:3 and 16:9 alone.
enum OptionRange : uint8_t {
    options_codes,
    options_shapes,
    options_two_shapes,
};

// How the analysis finds the video's first header.
enum FirstFind : uint8_t {
    first_by_probe,  // MPEG video: its first sequence header, what follows it and the version it says
    first_by_scan,   // the first site the codec's scanner hands over
    first_none,      // frames the tool never changes: the container's places alone
    first_in_head,   // a named file whose format reads its first site before the walk (a DVD's IFO, a clip information file)
};

struct CodecRow {
    VideoCodec codec;    // as the formats name it
    uint8_t version;     // MPEG video: 1 or 2; 0 for the rest
    const char* name;    // in the summary and the report; null where the container's id names it
    SiteKind own;        // the kind of its own places
    HeaderWord header;
    AspectNaming naming;
    SummaryStyle summary;
    OptionRange options;
    FirstFind find;
    // Every place is checked before the first write: a form of its own
    // headers may not take a target (an MPEG-4 VOL's table code).
    bool checked_whole;
    // Its marker file's lines hold whole bytes (the aspect nibble of a
    // sequence header or a DVD's byte otherwise, as earlier builds wrote).
    bool whole_bytes;
    // By default, a video that shows neither 4:3 nor 16:9 keeps its own
    // aspect (MPEG-2's other codes) rather than have none; and a target of
    // its own whatever it shows (MPEG-1's Video CD code), 0 for the swap.
    bool keeps_other;
    uint32_t fixed_default;
    // The sample aspect a code of its own table gives a picture of width x
    // height ({0, 0} for one that names none); null where its headers
    // record a sample aspect itself.
    SarRatio (*code_sar)(uint32_t code, uint32_t width, uint32_t height);
    // What its own places take to show a picture of width x height at a
    // shape (1 to 4): false where they record no such shape.
    bool (*shape_aspect)(uint32_t shape, uint32_t width, uint32_t height, SiteAspect* aspect);
    // The byte a new marker file's first line holds of the first header,
    // as earlier builds wrote it: a sequence header's byte 7, a parameter
    // set's or VOL's aspect code, a DV pack's shape as MPEG-2 codes it in
    // the high four bits, a DVD's attributes byte.
    uint8_t (*marker_first)(const SiteReading* reading, const uint8_t* bytes);
};

// The row of a codec as a format names it; MPEG video's by its version.
const CodecRow* codec_row(VideoCodec codec, int32_t version);

// Any site, read and changed as its kind's own module says: a codec's own
// headers or packs, or a container's field.
// Reads the site's bytes (or a copy of them with other values): false when
// they are not what its kind holds.
bool site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading);
// The changed bytes that make the site's bytes record the target.
AspectEdit site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                     uint32_t* count);
// The indices of the bytes that hold the part of the aspect a change may
// rewrite, which an undo may put back: how many.
uint32_t site_field(const AspectSite* site, uint32_t* indices);

// What a file's video is, whatever its codec: its row, the picture its
// aspect is judged on (MPEG video's coded size, the picture after
// cropping), what its first header records, and the aspect its
// container's own field shows over that ({0, 0} where none does).
struct VideoFacts {
    const CodecRow* row;
    ForeignVideo foreign;  // a codec whose frames the tool never changes
    uint32_t width;
    uint32_t height;
    SiteReading first;
    SarRatio field;
    bool contained;  // in a container, which shows square samples where nothing says another
    // The container has no pixel aspect, which some players read beside the
    // video's own places alone, and no room for one.
    bool pixel_aspect_missing;
    // In a container without a field of its own for the aspect and without
    // room for one (an AVI without a vprp): the video's own places alone
    // take it.
    bool placeless;
    // Its kind of file has no such field at all (FLV): nothing to tell.
    bool fieldless;
};

// The sample aspect an aspect of the row's places gives the picture: its
// own where it records one, else its code's.
SarRatio facts_sar(const VideoFacts* facts, SiteAspect aspect);
// What the most common players show: the container's field, else the
// first header's aspect, else, in a container, square samples; as the
// row names it (MPEG video's code of that shape where it has one, else its
// first header's code).
SiteAspect facts_shown(const VideoFacts* facts);
// The codec's name for the texts and the report.
const char* facts_codec_name(const VideoFacts* facts);

// A codec the tool does not change: its common name, or the container's id.
const char* foreign_video_name(const ForeignVideo& video);
