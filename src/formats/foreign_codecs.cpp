#include "formats/foreign_codecs.h"

#include <cstring>

#include "formats/iso_boxes.h"

namespace {

struct EntryName {
    uint32_t type;
    ForeignCodec codec;
};
constexpr EntryName entry_names[] = {
    {box_type("vp08"), foreign_vp8},         {box_type("vp09"), foreign_vp9},
    {box_type("av01"), foreign_av1},         {box_type("jpeg"), foreign_motion_jpeg},
    {box_type("mjpa"), foreign_motion_jpeg}, {box_type("mjpb"), foreign_motion_jpeg},
    {box_type("apch"), foreign_prores},      {box_type("apcn"), foreign_prores},
    {box_type("apcs"), foreign_prores},      {box_type("apco"), foreign_prores},
    {box_type("ap4h"), foreign_prores},      {box_type("ap4x"), foreign_prores},
};

struct CodecIdName {
    const char* id;
    ForeignCodec codec;
};
constexpr CodecIdName codec_id_names[] = {
    {"V_VP8", foreign_vp8},
    {"V_VP9", foreign_vp9},
    {"V_AV1", foreign_av1},
    {"V_MPEG4/ISO/SP", foreign_mpeg4_part2},
    {"V_MPEG4/ISO/ASP", foreign_mpeg4_part2},
    {"V_MPEG4/ISO/AP", foreign_mpeg4_part2},
    {"V_MJPEG", foreign_motion_jpeg},
    {"V_PRORES", foreign_prores},
};

// A video known by the id alone, which is kept printable.
ForeignVideo other_named(const uint8_t* id, uint32_t length) {
    ForeignVideo video = {foreign_other, {}};
    if (length >= foreign_id_capacity) length = foreign_id_capacity - 1;
    for (uint32_t k = 0; k < length; ++k) video.id[k] = id[k] >= 0x20 && id[k] < 0x7F ? static_cast<char>(id[k]) : '?';
    return video;
}

}  // namespace

ForeignVideo foreign_of_sample_entry(uint32_t type, bool part2) {
    if (part2) return {foreign_mpeg4_part2, {}};
    for (const EntryName& name : entry_names) {
        if (name.type == type) return {name.codec, {}};
    }
    const uint8_t fourcc[] = {static_cast<uint8_t>(type >> 24), static_cast<uint8_t>(type >> 16),
                              static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type)};
    return other_named(fourcc, 4);
}

ForeignVideo foreign_of_codec_id(const uint8_t* id, uint32_t length) {
    for (const CodecIdName& name : codec_id_names) {
        if (length == std::strlen(name.id) && std::memcmp(id, name.id, length) == 0) return {name.codec, {}};
    }
    return other_named(id, length);
}
