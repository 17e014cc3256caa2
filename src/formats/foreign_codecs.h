// The video codecs the tool does not change, as MP4 and Matroska files name
// them: the common ones known by name, any other kept by its id.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// An MP4 or MOV video sample entry's type.
ForeignVideo foreign_of_sample_entry(uint32_t type);
// A Matroska track's CodecID, of `length` bytes.
ForeignVideo foreign_of_codec_id(const uint8_t* id, uint32_t length);
// Any other codec, known by its id alone (an AVI stream's four characters).
ForeignVideo foreign_of_id(const uint8_t* id, uint32_t length);
