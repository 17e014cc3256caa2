// A DVD-Video title set's IFO file, and its backup the BUP: the video
// attributes they record for the title VOBs, the display aspect a DVD
// player sets its output from, as one byte of payload.
#pragma once
#include <cstdint>

// The title VOBs' video attributes (the menus' lie at 0x100).
inline constexpr int64_t ifo_title_video_attributes = 0x200;
// Enough of the file's head for its identifier and that byte.
inline constexpr uint32_t ifo_head_length = ifo_title_video_attributes + 1;
