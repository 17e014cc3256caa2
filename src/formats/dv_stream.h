// DV video as a file of its own (a raw .dv file: DIF frames one after the
// other) or as the samples of a container: only the VAUX blocks of each
// DIF sequence are read, the 240 bytes of 12000 that hold the packs.
#pragma once
#include <cstdint>

#include "formats/walk.h"

// The VAUX blocks of each DIF sequence of the frame of `size` bytes at
// pos, handed to the walk's sink as whole blocks; a block the end of the
// file cuts is not handed over, and its packs stay as they are.
int32_t dv_frame_feed(Walk* walk, int64_t pos, uint32_t size);
