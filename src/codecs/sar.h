// Sample aspect ratios in whole numbers, and the exact arithmetic that
// turns one into a display size.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// width:height in lowest terms; {0, 0} when either is 0 or a term does not
// fit 32 bits.
SarRatio sar_reduced(uint64_t width, uint64_t height);
bool sar_same(SarRatio a, SarRatio b);

// a * b / c rounded to the nearest whole number (halves up), exactly, with
// the product taken in 128 bits; UINT64_MAX when the result does not fit
// or c is 0.
uint64_t scaled_round(uint64_t a, uint64_t b, uint64_t c);
