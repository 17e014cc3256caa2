// The walk of an ASF file: its aspect records, those of the video stream
// and the whole file's, in the order they lie; where it has none, the
// head of its Header Extension Object, which takes none. VC-1's sequence
// headers too, in the stream's configuration and in the frames of the
// data packets; the frames of any other codec are never read.
#include <algorithm>
#include <memory>

#include "codecs/asf_aspect.h"
#include "formats/asf.h"
#include "formats/asf_packets.h"
#include "formats/format.h"
#include "formats/site_reader.h"

namespace {

struct AsfWalk {
    AsfFile file;
    SiteReader sites;
};

bool pair_of_video(const AsfFile& f, const AsfPair& pair) {
    return pair.holder == holder_asf_content || pair.stream == f.stream;
}

int32_t place_hand(AsfWalk* aw, int64_t pos, uint32_t length, SiteHolder holder) {
    const AsfFile& f = aw->file;
    SiteReader* r = &aw->sites;
    int32_t result = site_reader_gather(r, 0, pos, length);
    if (result != 0) return result;
    AspectSite site = site_asf_aspect_make(f.codec, holder, r->bytes, r->pos, r->length, site_reader_range(r, pos),
                                           f.width, f.height, f.stream);
    return site_reader_hand(r, &site);
}

// The video stream's own pair says its aspect in ffmpeg and the Windows
// players; the whole file's is what a stream without one shows.
SarRatio shown_of(const AsfFile& f) {
    SarRatio whole = {0, 0};
    for (uint32_t k = 0; k < f.pair_count; ++k) {
        const AsfPair& pair = f.pairs[k];
        if (pair.sar.width == 0 || !pair_of_video(f, pair)) continue;
        if (pair.holder != holder_asf_content) return pair.sar;
        whole = pair.sar;
    }
    return whole;
}

// VC-1's frames are walked where the packets have one size, as they must,
// and each is read whole at once.
bool frames_walked(const AsfFile& f) {
    return f.codec == codec_vc1 && f.data >= 0 && f.packet_size > 0 && f.packet_size <= reader_fetch_most;
}

int32_t extra_hand(AsfWalk* aw, bool* handed) {
    *handed = true;
    const AsfFile& f = aw->file;
    return f.extra < 0 ? 0 : config_places_hand(&aw->sites, f.extra, f.extra_length, holder_asf_stream);
}

// The records' places, or where there are none the room for them or the
// head that takes none.
int32_t pairs_hand(AsfWalk* aw, int64_t before, bool* extra_handed) {
    AsfFile& f = aw->file;
    int32_t result = 0;
    bool any = false;
    for (uint32_t k = 0; k < f.pair_count && result == 0; ++k) {
        if (!pair_of_video(f, f.pairs[k])) continue;
        any = true;
        if (!*extra_handed && f.pairs[k].pos > before) result = extra_hand(aw, extra_handed);
        if (result == 0) result = place_hand(aw, f.pairs[k].pos, f.pairs[k].length, f.pairs[k].holder);
    }
    if (any || result != 0) return result;
    int64_t head = f.room >= 0 ? f.room : f.extension >= 0 ? f.extension : 0;
    if (!*extra_handed && head > before) result = extra_hand(aw, extra_handed);
    if (result != 0) return result;
    if (f.room >= 0) return place_hand(aw, f.room, f.room_length, holder_asf_padding);
    return place_hand(aw, head, asf_object_head_bytes, holder_asf_header);
}

}  // namespace

int32_t asf_walk(Walk* w) {
    std::unique_ptr<AsfWalk> aw(new AsfWalk{});
    AsfFile& f = aw->file;
    int32_t result = asf_header_read(&w->reader, &f);
    if (result != 0) return result;
    if (!f.found) return result_no_mpeg_video;
    site_reader_init(&aw->sites, w, f.codec, result_object_broken);
    std::sort(f.pairs, f.pairs + f.pair_count, [](const AsfPair& a, const AsfPair& b) { return a.pos < b.pos; });
    // The configuration's places lie among the records', in file order.
    bool extra_handed = !frames_walked(f);
    result = pairs_hand(aw.get(), f.extra, &extra_handed);
    if (result == 0 && !extra_handed) result = extra_hand(aw.get(), &extra_handed);
    if (result != 0 || !frames_walked(f)) return result;
    return asf_packets_walk(w, &f);
}

int32_t asf_look(BlockReader* reader, ContainerLook* look) {
    std::unique_ptr<AsfFile> file(new AsfFile{});
    int32_t result = asf_header_read(reader, file.get());
    const AsfFile& f = *file;
    // Frames of a codec the tool changes are not walked here but VC-1's:
    // refused.
    bool unwalked = f.found && f.codec != codec_container && !frames_walked(f);
    *look = {f.found && !unwalked && !f.sealed, f.codec, f.duration_sec, f.others, f.other_stream, f.sealed,
             container_name_text(container_asf), shown_of(f), f.other_codec, f.foreign, f.width, f.height};
    look->unwalked = unwalked;
    return result;
}
