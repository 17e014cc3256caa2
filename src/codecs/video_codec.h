// The kinds of video the tool changes, and the sample aspect ratio that
// several of them record.
#pragma once
#include <cstdint>

enum VideoCodec : uint8_t {
    codec_mpeg,  // MPEG-1 or MPEG-2 video: sequence headers
    codec_avc,   // H.264
    codec_hevc,  // H.265
    // A codec whose frames the tool does not change (VP9, AV1, ProRes,
    // ...): only its container's places record the aspect it takes.
    codec_container,
    // Not video, but what records its aspect for a DVD player: a title
    // set's video attributes byte.
    codec_dvd_attributes,
    codec_mpeg4,  // MPEG-4 video (Xvid, DivX): VOL headers
    codec_dv,  // DV: the source control packs of every frame
    // Not video either: what a Blu-ray or AVCHD clip's information file
    // records of its stream's video, the aspect nibble of each program
    // sequence's StreamCodingInfo.
    codec_clip_info,
    codec_h263,  // H.263: picture headers of a custom source format
    codec_vc1,   // VC-1's advanced profile: sequence headers with a display extension
};

// Whether the codec records its aspect in parameter sets (H.264, HEVC).
inline bool codec_has_sets(VideoCodec codec) {
    return codec == codec_avc || codec == codec_hevc;
}

// Whether the codec's places are units framed by start codes and escaped
// against them, which one scanner collects whole: H.264's and HEVC's
// parameter sets, VC-1's sequence headers.
inline bool codec_has_escaped_units(VideoCodec codec) {
    return codec_has_sets(codec) || codec == codec_vc1;
}

// Whether the codec's own header opens the frames that have one, within
// their first bytes (MPEG video's sequence header, H.263's picture
// header): a container's frames are read that far.
inline bool codec_header_opens_frames(VideoCodec codec) {
    return codec == codec_mpeg || codec == codec_h263;
}

struct SarRatio {
    uint32_t width;
    uint32_t height;
};

// Video of a kind the tool does not change, as a container names it: the
// common ones by name, any other by the container's own id for its codec.
enum ForeignCodec : uint8_t {
    foreign_none,  // none, or one of the kinds the tool changes
    foreign_vp8,
    foreign_vp9,
    foreign_av1,
    foreign_motion_jpeg,
    foreign_prores,
    foreign_sorenson_spark,
    foreign_vp6,
    foreign_screen_video,
    foreign_theora,
    foreign_vc1,  // VC-1's advanced profile: its sequence headers record the aspect
    foreign_other,
};
// Whether the codec's frames record the aspect too, in places the tool does
// not change: a file of it is refused, since its container's places alone
// would leave it saying two shapes.
inline bool foreign_records_aspect(ForeignCodec codec) {
    return codec == foreign_vc1;
}
inline constexpr uint32_t foreign_id_capacity = 33;
struct ForeignVideo {
    ForeignCodec codec;
    char id[foreign_id_capacity];  // a Matroska CodecID or an MP4 sample entry's type
};
