// The display shapes the tool names and targets, whatever records them:
// square samples, 4:3, 16:9 and 2.21:1, numbered as the -o codes and
// MPEG-2's aspect codes number them (1 to 4), and the sample aspect each
// gives a picture.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

inline constexpr uint32_t shape_square = 1;
inline constexpr uint32_t shape_4x3 = 2;
inline constexpr uint32_t shape_16x9 = 3;
inline constexpr uint32_t shape_221x100 = 4;

// The display aspect of a shape, width to height (square samples: 1:1);
// false for a number that names none.
bool shape_ratio(uint32_t shape, uint32_t* width, uint32_t* height);
// The shape that the sample aspect gives a picture of width x height,
// within the rounding of the usual sample aspects (10:11 at 720 samples is
// 4:3): 2, 3 or 4, or 0 for another or none.
uint32_t shape_of_sar(uint32_t width, uint32_t height, SarRatio sar);
// The sample aspect that shows the picture at the shape: for the pictures
// of DVD and broadcast (720 or 704 samples, 352 at half the lines) 4:3 and
// 16:9 on their 704 active samples with the standard sample aspects, for
// any other picture exactly; {0, 0} for a number that names none.
SarRatio sar_of_shape(uint32_t width, uint32_t height, uint32_t shape);
// The sample aspect that shows the whole picture exactly at the shape.
SarRatio sar_of_shape_exact(uint32_t width, uint32_t height, uint32_t shape);
// The other of 4:3 and 16:9: the default change; 0 for any other shape.
uint32_t shape_swapped(uint32_t shape);
