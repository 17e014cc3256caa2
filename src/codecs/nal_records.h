// The decoder configuration records (avcC, hvcC) with which ISO media
// files and Matroska keep H.264 and HEVC video framed by length fields
// instead of start codes: the size of those fields, and the parameter sets
// the record holds.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// Where one parameter set lies in a record: offset and length.
struct RecordSet {
    uint32_t offset;
    uint32_t length;
};
inline constexpr uint32_t record_sets_most = 32;

// A decoder configuration record: the byte count of its units' length
// fields (1, 2 or 4) and its sequence parameter sets.
struct ConfigRecord {
    uint32_t length_size;
    uint32_t set_count;
    RecordSet sets[record_sets_most];
};

// Reads an avcC (H.264) or hvcC (HEVC) record's body: false when it is cut
// short or its counts run past it.
bool config_record_read(VideoCodec codec, const uint8_t* bytes, uint32_t length, ConfigRecord* record);
