#include "formats/foreign_codecs.h"

#include <cstddef>
#include <cstring>

namespace {

struct CodecName {
    const char* id;
    ForeignCodec codec;
};
// MP4 and MOV sample entry types.
constexpr CodecName entry_names[] = {
    {"vp08", foreign_vp8},    {"vp09", foreign_vp9},    {"av01", foreign_av1},    {"jpeg", foreign_motion_jpeg},
    {"mjpa", foreign_motion_jpeg}, {"mjpb", foreign_motion_jpeg}, {"apch", foreign_prores}, {"apcn", foreign_prores},
    {"apcs", foreign_prores}, {"apco", foreign_prores}, {"ap4h", foreign_prores}, {"ap4x", foreign_prores},
};
// Matroska CodecIDs.
constexpr CodecName codec_id_names[] = {
    {"V_VP8", foreign_vp8}, {"V_VP9", foreign_vp9}, {"V_AV1", foreign_av1},
    {"V_MJPEG", foreign_motion_jpeg}, {"V_PRORES", foreign_prores},
};

// The video the id names in the table, or one known by the id alone.
template <size_t count>
ForeignVideo foreign_named(const CodecName (&names)[count], const uint8_t* id, uint32_t length) {
    for (const CodecName& name : names) {
        if (length == std::strlen(name.id) && std::memcmp(id, name.id, length) == 0) return {name.codec, {}};
    }
    return foreign_of_id(id, length);
}

}  // namespace

// The id is kept printable.
ForeignVideo foreign_of_id(const uint8_t* id, uint32_t length) {
    ForeignVideo video = {foreign_other, {}};
    if (length >= foreign_id_capacity) length = foreign_id_capacity - 1;
    for (uint32_t k = 0; k < length; ++k) video.id[k] = id[k] >= 0x20 && id[k] < 0x7F ? static_cast<char>(id[k]) : '?';
    return video;
}

ForeignVideo foreign_of_sample_entry(uint32_t type) {
    const uint8_t fourcc[] = {static_cast<uint8_t>(type >> 24), static_cast<uint8_t>(type >> 16),
                              static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type)};
    return foreign_named(entry_names, fourcc, 4);
}

ForeignVideo foreign_of_codec_id(const uint8_t* id, uint32_t length) {
    return foreign_named(codec_id_names, id, length);
}
