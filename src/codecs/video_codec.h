// The kinds of video the tool changes, and the sample aspect ratio that
// several of them record.
#pragma once
#include <cstdint>

enum VideoCodec : uint8_t {
    codec_mpeg,  // MPEG-1 or MPEG-2 video: sequence headers
    codec_avc,   // H.264
    codec_hevc,  // H.265
    // Not video, but what records its aspect for a DVD player: a title
    // set's video attributes byte.
    codec_dvd_attributes,
};

struct SarRatio {
    uint32_t width;
    uint32_t height;
};
