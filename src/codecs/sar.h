// Sample aspect ratios in whole numbers, and the exact arithmetic that
// turns one into a display size.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// width:height in lowest terms; {0, 0} when either is 0 or a term does not
// fit 32 bits.
SarRatio sar_reduced(uint64_t width, uint64_t height);
bool sar_same(SarRatio a, SarRatio b);

// The display aspect of a frame of width x height at the sample aspect, in
// lowest terms: 4:3 and 16:9 as such where it lies within 3% of one (a
// picture of 720 samples carries 704 of active picture with the sample
// aspects of its standard, 2.3% off the display aspect's own). {0, 0}
// where it does not fit 32 bits a term. What a container that records the
// display aspect of its frame (AVI's vprp, MXF's descriptor) is written.
SarRatio sar_frame_aspect(uint64_t width, uint64_t height, SarRatio sar);

// a * b / c rounded to the nearest whole number (halves up), exactly, with
// the product taken in 128 bits; UINT64_MAX when the result does not fit
// or c is 0.
uint64_t scaled_round(uint64_t a, uint64_t b, uint64_t c);
// Whether `value` lies less than one unit from a * b / c (c not 0), exactly.
bool scaled_within_one(uint64_t value, uint64_t a, uint64_t b, uint64_t c);

// Whether a display of w x h shows the shape shape_w:shape_h within 1%:
// what a viewer cannot tell from it.
bool shape_near(uint64_t w, uint64_t h, uint64_t shape_w, uint64_t shape_h);

// The sample aspect that a display width of whole units (pixels, or 1/65536
// of one) gives a picture of picture_w x picture_h samples shown at
// `height`: the simplest one whose width, to the nearest unit, is this one
// and which the display shows within 1%, which is the aspect a change to it
// wrote, or would have; else the exact ratio (a display of 5x3 pixels
// shows 5:3, never the 16:9 that rounds to it). {0, 0} where neither fits 32 bits, or a size is 0.
SarRatio sar_of_width(uint64_t width, uint64_t height, uint32_t picture_w, uint32_t picture_h);
