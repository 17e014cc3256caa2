// One place where a video records its aspect, as a codec finds it in the
// bytes a format hands over or a container records it: the aspect nibble
// of a sequence header, a parameter set's VUI, a DVD title set's video
// attributes, a container's display size or pixel aspect. Codecs and
// formats hand every site to a sink; the editor above takes them all alike
// through the three operations below.
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"
#include "codecs/payload.h"
#include "codecs/video_codec.h"

enum SiteKind : uint8_t {
    site_sequence_header,  // byte 7 of a sequence header: aspect and frame rate nibbles
    site_parameter_set,    // an H.264 or HEVC SPS, its whole NAL unit
    site_dvd_attributes,   // a DVD title set's video attributes byte
    site_display_size,     // a container's display width and height, 16.16 each
    site_pixel_aspect,     // a container's pixel aspect pair
    site_display_elements, // Matroska's display width and height, or the room for them
    site_frame_header,     // the first frame's own header, of a codec whose frames the tool never changes
    site_video_object_layer,  // an MPEG-4 VOL from its code byte, as far as its picture size
    site_dv_control,       // the 4 data bytes of a DV source control pack (0x61): DISP in the second
    site_frame_aspect,     // AVI: a vprp's frame aspect, or the room a JUNK gives for a vprp
    site_clip_aspect,      // a Blu-ray clip information's aspect nibble (the high four bits)
    site_asf_aspect,       // ASF: the AspectRatioX and AspectRatioY records, side by side
    site_mxf_aspect,       // MXF: a picture descriptor's Aspect Ratio, the display aspect
    site_h263_picture,     // an H.263 picture header from the byte that ends its start code, as far as EPAR
    site_header_par,       // Ogg: a Theora or VP8 stream head's picture and pixel aspect
    site_vc1_sequence,     // a VC-1 sequence header, its whole unit from the start code suffix
};

// What holds a site: the video's own bytes, or a part of its container.
enum SiteHolder : uint8_t {
    holder_stream,               // the video stream, or a sample of it
    holder_track_header,         // ISO: tkhd's width and height
    holder_pixel_aspect,         // ISO: pasp
    holder_avcc,                 // ISO: the sample entry's avcC; FLV: an H.264 sequence header's
    holder_hvcc,                 // ISO: its hvcC
    holder_esds,                 // ISO: its esds
    holder_clean_aperture,       // QuickTime: tapt's clef
    holder_production_aperture,  // QuickTime: tapt's prof
    holder_video_element,        // Matroska: a track's Video element
    holder_codec_private,        // Matroska: a track's CodecPrivate
    holder_frame,                // the first frame of the video
    holder_avi_vprp,             // AVI: the video stream's vprp, or the JUNK that takes one
    holder_dvinfo,               // AVI, Matroska in AVI's manner: a DV stream's DVINFO
    holder_avi_strf,             // AVI: the codec's extradata in the video stream's format
    holder_mov_glbl,             // QuickTime: glbl, the extradata of a sample entry named as in AVI
    holder_asf_metadata,         // ASF: the Metadata Object
    holder_asf_library,          // ASF: the Metadata Library Object
    holder_asf_content,          // ASF: the Extended Content Description Object
    holder_asf_padding,          // ASF: a Padding Object of the Header Extension Object, room for the records
    holder_asf_header,           // ASF: the Header Extension Object, where no record is and no room
    holder_mxf_descriptor,       // MXF: a copy of the header metadata's picture essence descriptor
    holder_theora_header,        // Ogg: a Theora stream's identification header
    holder_vp8_header,           // Ogg: a VP8 stream's OVP80 header
    holder_asf_stream,           // ASF: the codec's configuration in the video's Stream Properties Object
};

// An aspect as a site records it, or as the target of a change: a code of
// the site's own table (MPEG aspect_ratio_information, a DVD's 2 or 3), or
// a sample aspect (a parameter set's).
struct SiteAspect {
    uint32_t code;
    SarRatio sar;
};

struct AspectSite {
    SiteKind kind;
    SiteHolder holder;
    VideoCodec codec;      // of the video the site belongs to
    const uint8_t* bytes;  // as the file holds them
    const int64_t* pos;    // the file position of each
    uint32_t length;
    const PayloadRange* range;  // the run of payload it ended in
    bool split;                 // its bytes lie across packets ("*" in a listing)
    // A sequence header's bytes 4 to 7 as the match window holds them, then
    // the four bytes of the buffer that end at byte 7 (zero before its unit).
    uint8_t list_record[8];
    // Parameter sets (and VOLs, across_repeat): longer than the bytes kept;
    // partly in a packet sent twice; read again through a second copy, new
    // from this position on (-1 for any other).
    bool cut;
    bool across_repeat;
    int64_t again_from;
    // A display size's: the picture it shows, in samples (after its crop).
    uint32_t picture_width;
    uint32_t picture_height;
    // Display elements' (see display_elements.h): how many of the first
    // bytes are the size fields of the elements around them, and each's
    // length (a pixel aspect's are its last bytes); whether one of those
    // keeps a checksum; the unit where the bytes say none.
    uint8_t size_fields;
    uint8_t size_lengths[4];
    bool growth_checksummed;
    uint8_t display_unit;
    // A pixel aspect's (see pixel_aspect.h): the box heads after its pair.
    uint8_t pair_heads;
    // A frame header's: the codec that wrote it.
    ForeignCodec frame_codec;
    // A frame aspect's: the frames a second a vprp written into room records.
    uint32_t refresh_rate;
    // An ASF room's: the video stream the records written into it are of.
    uint16_t stream_number;
    // A DV pack's: the frame it lies in, counted from the first the scanner
    // met, and that frame's size in bytes (its system and rate), 0 for a
    // copy of a pack outside the frames.
    uint64_t frame;
    uint32_t frame_size;
};

// How much of a parameter set its bytes hold, and which copy they are where
// packets may come twice: see the fields of AspectSite of the same names.
struct SetCopy {
    bool cut;
    bool across_repeat;
    int64_t again_from;
};
// A set read once, from the bytes that hold it: every set outside a
// transport stream's repeated packets, and every other kind of site.
inline SetCopy set_copy_once(bool cut) {
    return {cut, false, -1};
}

// The fields every kind of site has, set; the rest are zero, and no byte
// is new only from a second copy on. Each kind's own module makes its
// sites whole from it: their bytes as the file holds them (or as a scanner
// read them, where the buffer is a view of the file), the file position of
// each, and the run of payload they ended in (null for a site only read).
AspectSite site_base(SiteKind kind, SiteHolder holder, VideoCodec codec, const uint8_t* bytes, const int64_t* pos,
                     uint32_t length, const PayloadRange* range);
// The same, for a kind whose aspect is read against the picture's size.
AspectSite site_pictured(SiteKind kind, SiteHolder holder, VideoCodec codec, const uint8_t* bytes,
                         const int64_t* pos, uint32_t length, const PayloadRange* range, uint32_t picture_width,
                         uint32_t picture_height);

// What a site says: the aspect it records and the key that says which
// video it belongs to (a parameter set's id and picture size after
// cropping, a VOL's picture size, a DV frame's picture and size in bytes;
// a sequence header's is its match with the reference's).
struct SiteReading {
    bool aspect_present;
    SiteAspect aspect;
    // The key says which video the site belongs to: a container's field,
    // a sequence header (matched by its scanner) and a copy of a DV pack
    // outside the frames have none.
    bool keyed;
    uint32_t id;
    uint32_t width;
    uint32_t height;
    uint32_t form;  // a DV frame's size in bytes
};

// Whether a site that reads as `reading` belongs to another video than
// the first site's, `reference` (two recordings joined): a parameter set
// of another id or picture size, a VOL of another picture size, a DV frame
// of another system or rate. Such a site is never the run's to change.
bool site_other_video(const SiteReading* reference, const SiteReading* reading);

// How one kind of site is read and changed, as its own module says:
// reads its bytes (or a copy of them with other values), false when they
// are not what the kind holds; the changed bytes that make them record the
// target; the indices of the bytes that hold the part of the aspect a
// change may rewrite, which an undo may put back, and how many.
struct PlaceOps {
    bool (*read)(const AspectSite* site, const uint8_t* bytes, SiteReading* reading);
    AspectEdit (*edit)(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                       uint32_t* count);
    uint32_t (*field)(const AspectSite* site, uint32_t* indices);
};
// The indices of the first `count` bytes, for a kind whose field is them;
// of all the site's bytes, for a kind whose every byte may change.
uint32_t site_field_first(uint32_t count, uint32_t* indices);
uint32_t site_field_whole(const AspectSite* site, uint32_t* indices);

// Whether the site is a container's own field (a display size, a pixel
// aspect, display elements), which says nothing of the video's key.
inline bool site_kind_of_container(SiteKind kind) {
    return kind == site_display_size || kind == site_pixel_aspect || kind == site_display_elements ||
           kind == site_frame_aspect || kind == site_asf_aspect || kind == site_mxf_aspect ||
           kind == site_header_par;
}
inline bool site_of_container(const AspectSite* site) {
    return site_kind_of_container(site->kind);
}

// The name of the box that holds a site ("tkhd", "avcC", ...), or null for
// the video stream's own bytes.
const char* site_holder_name(SiteHolder holder);

// Takes each site; a non-zero result stops the scan and is returned by it.
typedef int32_t (*SiteHandler)(void* context, const AspectSite* site);
