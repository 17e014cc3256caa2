// The one identifier table: every name a container gives a video codec,
// mapped to the codec's row, so that the same codec is one codec however it
// is named: `xvid` as a MOV sample entry, `XVID` as an AVI stream's or a
// Matroska track's in AVI's manner, stream type 0x10, esds object 0x20.
// A codec the tool does not change is known by its common name where it
// has one, any other by the container's own id.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// Where a container names its video's codec.
enum IdSpace : uint8_t {
    ids_fourcc,        // four characters in any case: an AVI stream's, a track's in AVI's manner, a MOV sample entry's
    ids_sample_entry,  // an MP4 or MOV sample entry's type, as it is spelled
    ids_codec_id,      // a Matroska CodecID
    ids_stream_type,   // a transport stream's stream_type, one byte
    ids_object_type,   // an MP4 esds's objectTypeIndication, one byte
    ids_flv_codec,     // an FLV video tag's codec id, one byte (its low four bits)
};

// The codec an id names: one the tool changes, or codec_container with
// *foreign naming it; false where the table has no such id in the space.
bool codec_of_id(IdSpace space, const uint8_t* id, uint32_t length, VideoCodec* codec, ForeignVideo* foreign);

// Four characters as an AVI chunk holds them (little-endian) and as a box
// type reads (big-endian): the codec they name, or codec_container with
// *foreign naming it, by its common name or the characters themselves.
VideoCodec codec_of_fourcc(uint32_t code, ForeignVideo* foreign);
VideoCodec codec_of_box_type(uint32_t type, ForeignVideo* foreign);
// A codec known by its id alone, kept printable.
ForeignVideo foreign_of_id(const uint8_t* id, uint32_t length);
