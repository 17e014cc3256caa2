#include "formats/codec_ids.h"

#include <cctype>
#include <cstring>

namespace {

struct CodecId {
    IdSpace space;
    const char* id;  // one byte for the numbered spaces; a last '*' takes any ending
    VideoCodec codec;
    ForeignCodec foreign;
};

constexpr CodecId ids[] = {
    // AVI's four characters, which Matroska in AVI's manner and MOV share.
    {ids_fourcc, "h264", codec_avc, foreign_none},   {ids_fourcc, "x264", codec_avc, foreign_none},
    {ids_fourcc, "avc1", codec_avc, foreign_none},   {ids_fourcc, "avc3", codec_avc, foreign_none},
    {ids_fourcc, "davc", codec_avc, foreign_none},   {ids_fourcc, "hevc", codec_hevc, foreign_none},
    {ids_fourcc, "h265", codec_hevc, foreign_none},  {ids_fourcc, "hev1", codec_hevc, foreign_none},
    {ids_fourcc, "hvc1", codec_hevc, foreign_none},  {ids_fourcc, "mpg1", codec_mpeg, foreign_none},
    {ids_fourcc, "mpg2", codec_mpeg, foreign_none},  {ids_fourcc, "mpeg", codec_mpeg, foreign_none},
    {ids_fourcc, "pim1", codec_mpeg, foreign_none},  {ids_fourcc, "pim2", codec_mpeg, foreign_none},
    {ids_fourcc, "xvid", codec_mpeg4, foreign_none}, {ids_fourcc, "divx", codec_mpeg4, foreign_none},
    {ids_fourcc, "dx50", codec_mpeg4, foreign_none}, {ids_fourcc, "fmp4", codec_mpeg4, foreign_none},
    {ids_fourcc, "mp4v", codec_mpeg4, foreign_none}, {ids_fourcc, "m4s2", codec_mpeg4, foreign_none},
    {ids_fourcc, "3iv2", codec_mpeg4, foreign_none}, {ids_fourcc, "xvix", codec_mpeg4, foreign_none},
    {ids_fourcc, "ump4", codec_mpeg4, foreign_none}, {ids_fourcc, "rmp4", codec_mpeg4, foreign_none},
    {ids_fourcc, "mp4s", codec_mpeg4, foreign_none},
    {ids_fourcc, "dvsd", codec_dv, foreign_none},    {ids_fourcc, "dv25", codec_dv, foreign_none},
    {ids_fourcc, "dv50", codec_dv, foreign_none},    {ids_fourcc, "dvhd", codec_dv, foreign_none},
    {ids_fourcc, "dvsl", codec_dv, foreign_none},    {ids_fourcc, "dvh1", codec_dv, foreign_none},
    {ids_fourcc, "cdvc", codec_dv, foreign_none},    {ids_fourcc, "h263", codec_h263, foreign_none},
    {ids_fourcc, "s263", codec_h263, foreign_none},    {ids_fourcc, "mjpg", codec_container, foreign_motion_jpeg},
    {ids_fourcc, "avrn", codec_container, foreign_motion_jpeg},
    {ids_fourcc, "ljpg", codec_container, foreign_motion_jpeg},
    {ids_fourcc, "jpgl", codec_container, foreign_motion_jpeg},
    {ids_fourcc, "wvc1", codec_vc1, foreign_none},   {ids_fourcc, "wmva", codec_vc1, foreign_none},
    // MP4 and MOV sample entries. mp4v's esds names its codec: MPEG-4
    // video, or MPEG-1 or MPEG-2 video by its object type.
    {ids_sample_entry, "avc1", codec_avc, foreign_none}, {ids_sample_entry, "avc3", codec_avc, foreign_none},
    {ids_sample_entry, "hvc1", codec_hevc, foreign_none}, {ids_sample_entry, "hev1", codec_hevc, foreign_none},
    {ids_sample_entry, "dvc ", codec_dv, foreign_none}, {ids_sample_entry, "dvcp", codec_dv, foreign_none},
    {ids_sample_entry, "dv5n", codec_dv, foreign_none}, {ids_sample_entry, "dv5p", codec_dv, foreign_none},
    {ids_sample_entry, "mp4v", codec_mpeg, foreign_none}, {ids_sample_entry, "m2v1", codec_mpeg, foreign_none},
    {ids_sample_entry, "mp2v", codec_mpeg, foreign_none}, {ids_sample_entry, "mx3n", codec_mpeg, foreign_none},
    {ids_sample_entry, "mx3p", codec_mpeg, foreign_none}, {ids_sample_entry, "mx4n", codec_mpeg, foreign_none},
    {ids_sample_entry, "mx4p", codec_mpeg, foreign_none}, {ids_sample_entry, "mx5n", codec_mpeg, foreign_none},
    {ids_sample_entry, "mx5p", codec_mpeg, foreign_none}, {ids_sample_entry, "s263", codec_h263, foreign_none},
    {ids_sample_entry, "h263", codec_h263, foreign_none},
    // HDV and XDCAM by their first three letters.
    {ids_sample_entry, "hdv*", codec_mpeg, foreign_none}, {ids_sample_entry, "xdv*", codec_mpeg, foreign_none},
    {ids_sample_entry, "xd5*", codec_mpeg, foreign_none},
    {ids_sample_entry, "vc-1", codec_container, foreign_vc1},
    {ids_sample_entry, "vp08", codec_container, foreign_vp8},
    {ids_sample_entry, "vp09", codec_container, foreign_vp9},
    {ids_sample_entry, "av01", codec_container, foreign_av1},
    {ids_sample_entry, "jpeg", codec_container, foreign_motion_jpeg},
    {ids_sample_entry, "mjpa", codec_container, foreign_motion_jpeg},
    {ids_sample_entry, "mjpb", codec_container, foreign_motion_jpeg},
    {ids_sample_entry, "apch", codec_container, foreign_prores},
    {ids_sample_entry, "apcn", codec_container, foreign_prores},
    {ids_sample_entry, "apcs", codec_container, foreign_prores},
    {ids_sample_entry, "apco", codec_container, foreign_prores},
    {ids_sample_entry, "ap4h", codec_container, foreign_prores},
    {ids_sample_entry, "ap4x", codec_container, foreign_prores},
    // Matroska CodecIDs.
    {ids_codec_id, "V_MPEG4/ISO/AVC", codec_avc, foreign_none},
    {ids_codec_id, "V_MPEGH/ISO/HEVC", codec_hevc, foreign_none},
    {ids_codec_id, "V_MPEG2", codec_mpeg, foreign_none}, {ids_codec_id, "V_MPEG1", codec_mpeg, foreign_none},
    {ids_codec_id, "V_MPEG4/ISO/SP", codec_mpeg4, foreign_none},
    {ids_codec_id, "V_MPEG4/ISO/ASP", codec_mpeg4, foreign_none},
    {ids_codec_id, "V_MPEG4/ISO/AP", codec_mpeg4, foreign_none},
    {ids_codec_id, "V_VP8", codec_container, foreign_vp8}, {ids_codec_id, "V_VP9", codec_container, foreign_vp9},
    {ids_codec_id, "V_AV1", codec_container, foreign_av1},
    {ids_codec_id, "V_MJPEG", codec_container, foreign_motion_jpeg},
    {ids_codec_id, "V_PRORES", codec_container, foreign_prores},
    // Transport stream types (0xEA: VC-1), and esds object types of MPEG-2 video (its
    // six profiles), MPEG-1 video and MPEG-4 video.
    {ids_stream_type, "\x01", codec_mpeg, foreign_none}, {ids_stream_type, "\x02", codec_mpeg, foreign_none},
    {ids_stream_type, "\x10", codec_mpeg4, foreign_none}, {ids_stream_type, "\x1B", codec_avc, foreign_none},
    {ids_stream_type, "\x24", codec_hevc, foreign_none}, {ids_stream_type, "\xEA", codec_vc1, foreign_none},
    {ids_object_type, "\x60", codec_mpeg, foreign_none},
    {ids_object_type, "\x61", codec_mpeg, foreign_none}, {ids_object_type, "\x62", codec_mpeg, foreign_none},
    {ids_object_type, "\x63", codec_mpeg, foreign_none}, {ids_object_type, "\x64", codec_mpeg, foreign_none},
    {ids_object_type, "\x65", codec_mpeg, foreign_none}, {ids_object_type, "\x6A", codec_mpeg, foreign_none},
    {ids_object_type, "\x20", codec_mpeg4, foreign_none},
    // FLV's codec ids: Sorenson Spark (Sorenson H.263), Screen Video and its
    // second version, On2 VP6 and VP6 with alpha, H.264.
    {ids_flv_codec, "\x02", codec_container, foreign_sorenson_spark},
    {ids_flv_codec, "\x03", codec_container, foreign_screen_video},
    {ids_flv_codec, "\x04", codec_container, foreign_vp6}, {ids_flv_codec, "\x05", codec_container, foreign_vp6},
    {ids_flv_codec, "\x06", codec_container, foreign_screen_video}, {ids_flv_codec, "\x07", codec_avc, foreign_none},
};

uint8_t folded(IdSpace space, uint8_t b) {
    return space == ids_fourcc ? static_cast<uint8_t>(std::tolower(b)) : b;
}

// Whether the id is the table's: the same bytes (four characters in any
// case), or where the table's ends in '*', the same first bytes.
bool id_is(const CodecId& entry, const uint8_t* id, uint32_t length) {
    uint32_t named = static_cast<uint32_t>(std::strlen(entry.id));
    bool any_ending = named > 0 && entry.id[named - 1] == '*';
    if (entry.space == ids_stream_type || entry.space == ids_object_type || entry.space == ids_flv_codec) named = 1;
    if (any_ending ? length < named - 1 : length != named) return false;
    for (uint32_t k = 0; k < (any_ending ? named - 1 : named); ++k) {
        if (folded(entry.space, id[k]) != static_cast<uint8_t>(entry.id[k])) return false;
    }
    return true;
}

}  // namespace

bool codec_of_id(IdSpace space, const uint8_t* id, uint32_t length, VideoCodec* codec, ForeignVideo* foreign) {
    for (const CodecId& entry : ids) {
        if (entry.space != space || !id_is(entry, id, length)) continue;
        *codec = entry.codec;
        *foreign = {entry.foreign, {}};
        return true;
    }
    return false;
}

ForeignVideo foreign_of_id(const uint8_t* id, uint32_t length) {
    ForeignVideo video = {foreign_other, {}};
    if (length >= foreign_id_capacity) length = foreign_id_capacity - 1;
    for (uint32_t k = 0; k < length; ++k) video.id[k] = id[k] >= 0x20 && id[k] < 0x7F ? static_cast<char>(id[k]) : '?';
    return video;
}

VideoCodec codec_of_fourcc(uint32_t code, ForeignVideo* foreign) {
    const uint8_t bytes[] = {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8),
                             static_cast<uint8_t>(code >> 16), static_cast<uint8_t>(code >> 24)};
    VideoCodec codec = codec_container;
    if (!codec_of_id(ids_fourcc, bytes, 4, &codec, foreign)) *foreign = foreign_of_id(bytes, 4);
    return codec;
}

VideoCodec codec_of_box_type(uint32_t type, ForeignVideo* foreign) {
    uint32_t code = (type >> 24) | (type >> 8 & 0xFF00) | (type << 8 & 0xFF0000) | type << 24;
    return codec_of_fourcc(code, foreign);
}
