// The video codecs as containers name them: those the tool does not change
// (the common ones known by name, any other kept by its id), and, by its
// four characters, every codec an AVI stream or a Matroska track in AVI's
// manner (V_MS/VFW/FOURCC) holds.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// An MP4 or MOV video sample entry's type.
ForeignVideo foreign_of_sample_entry(uint32_t type);
// A Matroska track's CodecID, of `length` bytes.
ForeignVideo foreign_of_codec_id(const uint8_t* id, uint32_t length);
// Any other codec, known by its id alone (an AVI stream's four characters).
ForeignVideo foreign_of_id(const uint8_t* id, uint32_t length);
// The codec of the four characters (little-endian, any case) of an AVI
// stream format's compression: one the tool changes, or codec_container
// with *foreign naming it.
VideoCodec codec_of_fourcc(uint32_t code, ForeignVideo* foreign);
// The codec of an MP4 or MOV sample entry's type read as those four
// characters.
VideoCodec sample_entry_codec(uint32_t type);
