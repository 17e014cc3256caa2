// A DVD-Video title set's IFO file, and its backup the BUP: the video
// attributes they record for the title VOBs, the display aspect a DVD
// player sets its output from, as one byte of payload.
#pragma once
#include <cstdint>
#include <string>

// The title VOBs' video attributes (the menus' lie at 0x100).
inline constexpr int64_t ifo_title_video_attributes = 0x200;
// Enough of the file's head for its identifier and that byte.
inline constexpr uint32_t ifo_head_length = ifo_title_video_attributes + 1;

// A disc's title sets, VTS_01 to VTS_99, each with its IFO and BUP
// (VTS_nn_0) and its title VOBs VTS_nn_1.VOB to VTS_nn_9.VOB.
inline constexpr unsigned title_sets_most = 99;
inline constexpr unsigned title_vobs_most = 9;
// The name of the set's file k: VTS_nn_k.EXTENSION, in upper case.
std::string title_set_file_name(unsigned number, unsigned k, const char* extension);
