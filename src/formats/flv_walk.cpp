// The walk of an FLV file: tag by tag, the parameter sets of each H.264
// sequence header's avcC record and those at the head of each tag of
// units, framed by length fields as the last sequence header says. Only
// the tags' heads and the units' length fields up to the first slice are
// read. A file cut short is walked as far as it goes.
#include <cstdio>
#include <memory>

#include "formats/codec_ids.h"
#include "formats/flv.h"
#include "formats/site_reader.h"

namespace {

// A video tag's frame type that carries a command, not a picture.
constexpr uint8_t flv_frame_command = 5;
// An enhanced FLV tag names its codec by four characters after its first byte.
constexpr uint8_t flv_extended_header = 0x80;

struct FlvWalk {
    Walk* walk;
    SiteReader sites;
    uint32_t length_size;  // of the units' length fields, as the last sequence header says
};

bool avc_tag(const FlvTag& t) {
    return t.type == flv_tag_video && !t.filtered && t.head_length == flv_video_head_bytes &&
           (t.head[0] & flv_extended_header) == 0 && (t.head[0] & 0x0F) == flv_codec_avc &&
           (t.head[0] >> 4) != flv_frame_command;
}

int32_t tag_hand(FlvWalk* fw, const FlvTag& t) {
    if (t.type == flv_tag_video && t.cut) walk_cut_note(fw->walk, 1);
    if (!avc_tag(t)) return 0;
    int64_t data = t.body + flv_video_head_bytes;
    uint32_t size = static_cast<uint32_t>(t.end - data);
    if (t.head[1] == flv_avc_units) return unit_sets_hand(&fw->sites, data, size, fw->length_size);
    if (t.head[1] != flv_avc_sequence_header) return 0;
    // A record the end cuts is left as it is.
    if (t.cut) {
        ++fw->walk->met.cut_places;
        return 0;
    }
    fw->length_size = config_length_size(&fw->sites, data, size);
    return config_sets_hand(&fw->sites, data, size, holder_avcc);
}

// The codec the first video tag names: one the tool changes, or
// codec_container with *foreign naming it.
VideoCodec codec_of_tag(const FlvTag& t, ForeignVideo* foreign) {
    if ((t.head[0] & flv_extended_header) != 0) {
        *foreign = foreign_of_id(t.head + 1, t.head_length - 1);
        return codec_container;
    }
    uint8_t id = t.head[0] & 0x0F;
    VideoCodec codec = codec_container;
    if (codec_of_id(ids_flv_codec, &id, 1, &codec, foreign)) return codec;
    char named[foreign_id_capacity];
    int length = std::snprintf(named, sizeof named, "FLV codec %u", unsigned{id});
    *foreign = foreign_of_id(reinterpret_cast<const uint8_t*>(named), static_cast<uint32_t>(length));
    return codec_container;
}

}  // namespace

int32_t flv_walk(Walk* w) {
    std::unique_ptr<FlvWalk> fw(new FlvWalk{});
    fw->walk = w;
    fw->length_size = 4;
    site_reader_init(&fw->sites, w, w->layout.codec, result_tag_broken);
    bool cut = false;
    int32_t result = flv_tags_each(&w->reader, &cut, [&](const FlvTag& t) { return tag_hand(fw.get(), t); });
    if (cut) walk_cut_note(w, 0);
    return result;
}

int32_t flv_look(BlockReader* reader, ContainerLook* look) {
    FlvTag first = {};
    bool cut = false;
    int32_t result = flv_tags_each(reader, &cut, [&](const FlvTag& t) {
        if (t.type != flv_tag_video || t.head_length == 0) return 0;
        first = t;
        return int32_t{result_found};
    });
    *look = ContainerLook{};
    look->name = container_name_text(container_flv);
    look->fieldless = true;
    if (result != result_found) return result;
    ForeignVideo foreign = {};
    VideoCodec codec = codec_of_tag(first, &foreign);
    look->sealed = first.filtered;
    look->found = !first.filtered && codec != codec_container;
    look->codec = codec;
    if (!look->found && !look->sealed) look->other_codec = foreign;
    uint32_t last = 0;
    if (flv_last_time(reader, &last) && last >= first.time) look->duration_sec = (last - first.time) / 1000.0;
    return 0;
}
