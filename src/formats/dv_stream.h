// DV video as a file of its own (a raw .dv file: DIF frames one after the
// other) or as the samples of a container: only the first seven blocks of
// each DIF sequence are read, 560 bytes of 12000: the header and subcode
// blocks, the VAUX blocks, which hold the packs, and the audio block after
// them, whose ids and the VAUX blocks' say the packs lie where they should.
#pragma once
#include <cstdint>

#include "formats/walk.h"

// The VAUX blocks of each DIF sequence of the frame of `size` bytes at
// pos, handed to the walk's sink as whole blocks; a block the end of the
// file cuts is not handed over, and its packs stay as they are, nor are
// those of a sequence whose VAUX and audio blocks' ids are not its own.
int32_t dv_frame_feed(Walk* walk, int64_t pos, uint32_t size);
