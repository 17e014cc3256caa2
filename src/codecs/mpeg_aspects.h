// What the 4-bit aspect_ratio_information of an MPEG sequence header
// means. MPEG-1's codes name the pel aspect, the shape of one sample;
// MPEG-2's the display aspect of the whole picture, or square samples.
// The codes no table gives stand for nothing.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// The display shape that an MPEG-2 code names, width to height: 4:3,
// 16:9 or 2.21:1. False for square samples and the codes that name nothing.
bool mpeg2_code_shape(uint32_t code, uint32_t* width, uint32_t* height);
inline constexpr uint32_t mpeg2_code_square = 1;
inline constexpr uint32_t mpeg2_code_4x3 = 2;
inline constexpr uint32_t mpeg2_code_16x9 = 3;

// The sample aspect that an MPEG-1 code names, width to height in lowest
// terms: {0, 0} for the codes that name none.
SarRatio mpeg1_code_sar(uint32_t code);
// 4:3 on 525 lines, the code of the Video CD.
inline constexpr uint32_t mpeg1_code_video_cd = 12;

inline constexpr uint32_t mpeg_aspect_codes = 16;
