#include "formats/foreign_codecs.h"

#include <cctype>
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

// The codecs by their four characters whatever their case, each kind's
// run together.
struct FourccCodecs {
    VideoCodec codec;
    ForeignCodec foreign;
    const char* codes;
};
constexpr FourccCodecs fourcc_codecs[] = {
    {codec_avc, foreign_none, "h264x264avc1avc3davc"},
    {codec_hevc, foreign_none, "hevch265hev1hvc1"},
    {codec_mpeg, foreign_none, "mpg1mpg2mpegpim1pim2"},
    {codec_mpeg4, foreign_none, "xviddivxdx50fmp4mp4vm4s23iv2xvixump4rmp4"},
    {codec_dv, foreign_none, "dvsddv25dv50dvhddvsldvh1cdvc"},
    {codec_container, foreign_motion_jpeg, "mjpgavrnljpgjpgl"},
};

bool fourcc_is(uint32_t code, const char* named) {
    for (uint32_t k = 0; k < 4; ++k) {
        if (std::tolower(static_cast<uint8_t>(code >> (8 * k))) != named[k]) return false;
    }
    return true;
}

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

// A box type reads big-endian, an AVI's four characters little-endian.
VideoCodec sample_entry_codec(uint32_t type) {
    uint32_t code = (type >> 24) | (type >> 8 & 0xFF00) | (type << 8 & 0xFF0000) | type << 24;
    ForeignVideo foreign = {};
    return codec_of_fourcc(code, &foreign);
}

ForeignVideo foreign_of_codec_id(const uint8_t* id, uint32_t length) {
    return foreign_named(codec_id_names, id, length);
}

VideoCodec codec_of_fourcc(uint32_t code, ForeignVideo* foreign) {
    for (const FourccCodecs& c : fourcc_codecs) {
        for (const char* named = c.codes; *named != '\0'; named += 4) {
            if (!fourcc_is(code, named)) continue;
            *foreign = {c.foreign, {}};
            return c.codec;
        }
    }
    const uint8_t bytes[] = {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8),
                             static_cast<uint8_t>(code >> 16), static_cast<uint8_t>(code >> 24)};
    *foreign = foreign_of_id(bytes, 4);
    return codec_container;
}
