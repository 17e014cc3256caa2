// Display names of the 4-bit aspect and frame rate codes, and of the video
// codecs the tool does not change. The codes' are the tool's own labels,
// not computed from the ratios of the standards.
#pragma once
#include "codecs/video_codec.h"

typedef const char* const AspectNameTable[16];
typedef const char* const FrameRateNameTable[16];

extern AspectNameTable aspect_names_mpeg1;
extern AspectNameTable aspect_names_mpeg2;
extern FrameRateNameTable frame_rate_names;

// The MPEG-1 table for version 1, the MPEG-2 table for any other.
const char* aspect_name(int mpeg_version, unsigned code);

// A codec the tool does not change: its common name, or the container's id.
const char* foreign_video_name(const ForeignVideo& video);
