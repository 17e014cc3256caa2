// Display names of the 4-bit aspect and frame rate codes, and of the video
// codecs the tool does not change. The codes' are the tool's own labels,
// not computed from the ratios of the standards.
#pragma once
#include "codecs/codec_table.h"

typedef const char* const AspectNameTable[16];
typedef const char* const FrameRateNameTable[16];

extern AspectNameTable aspect_names_mpeg1;
extern AspectNameTable aspect_names_mpeg2;
extern FrameRateNameTable frame_rate_names;

// The name of a code of the table the naming reads codes by: MPEG-1's,
// MPEG-2's (a DVD's byte too); a shape's (1 to 4) where it names shapes
// alone, which says "other" of all but 4:3 and 16:9.
const char* aspect_code_name(AspectNaming naming, unsigned code);
