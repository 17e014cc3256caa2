// The walk of a Matroska or WebM file: the video track's display elements
// and CodecPrivate, then the parameter sets or sequence headers at the
// head of each of its frames, cluster by cluster, in the order of their
// positions. Only the elements' heads and the frames' first bytes are
// read; each element that keeps a CRC-32 over sites is handed over first.
#include <memory>

#include "codecs/display_elements.h"
#include "codecs/frame_headers.h"
#include "fileio/result.h"
#include "formats/dv_stream.h"
#include "formats/matroska.h"
#include "formats/site_reader.h"

namespace {

// A block's head: its track number, timestamp and flags, then the sizes of
// its laced frames, if any.
constexpr uint32_t block_head_least = 12;
constexpr uint32_t block_head_most = 4096;
constexpr uint32_t frames_most = 256;

struct MkvWalk {
    Walk* walk;
    MkvSegment segment;
    SiteReader sites;
    // The size of the length fields that frame the units of H.264 and HEVC
    // frames, or 0 for frames framed by start codes, as browsers and screen
    // recorders write them with no CodecPrivate: a track's CodecPrivate
    // says which, never a frame's bytes, where a length field may read as
    // a start code.
    uint32_t length_size;
    bool tracks_walked;
    bool frame_read;  // the first frame's header, where frames are not the tool's
};

// Frames the tool does not change are never visited: the walk ends once
// the tracks and, where its header may record an aspect, the first frame
// are taken.
bool walk_ended(const MkvWalk* mw) {
    const MkvTrack& v = mw->segment.video;
    if (v.codec != codec_container || !mw->tracks_walked) return false;
    return mw->frame_read || frame_header_bytes(v.foreign.codec) == 0;
}

// The element's CRC-32, where its first child is one, handed over.
int32_t checksum_hand(MkvWalk* mw, const EbmlElement* e) {
    const WalkSink& sink = mw->walk->sink;
    EbmlElement first;
    int32_t result = 0;
    if (sink.checksum == nullptr || ebml_read(&mw->walk->reader, e->body, e->end, &first, &result) != ebml_found ||
        first.id != mkv_id_crc32 || first.end - first.body != 4) {
        return result;
    }
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    result = reader_fetch_sparse(&mw->walk->reader, first.body, 4, &b, &got);
    if (result != 0) return result;
    if (got != 4) return reader_broken(&mw->walk->reader, first.start, result_element_broken);
    ChecksumRegion region = checksum_region_make(checksum_crc32, first.body, b, first.end, e->end);
    return sink.checksum(sink.context, &region);
}

int32_t display_hand(MkvWalk* mw) {
    const MkvTrack& v = mw->segment.video;
    const MkvDisplay& d = v.display;
    SiteReader* r = &mw->sites;
    uint32_t at = 0;
    int32_t result = 0;
    for (uint32_t k = 0; k < d.growing && result == 0; ++k) {
        result = site_reader_gather(r, at, d.size_pos[k], d.size_length[k]);
        at += d.size_length[k];
    }
    if (result == 0) result = site_reader_gather(r, at, d.span, d.span_length);
    if (result != 0) return result;
    DisplayFrame frame = {r->bytes, r->length, d.growing, d.size_length, v.width, v.height, d.unit, d.checksummed};
    AspectSite site = site_display_elements_make(r->codec, &frame, r->pos, site_reader_range(r, d.span));
    return site_reader_hand(r, &site);
}

// The CodecPrivate's places: in a track in AVI's manner, those of the
// configuration after its stream format.
int32_t codec_private_hand(MkvWalk* mw) {
    const MkvTrack& v = mw->segment.video;
    if (v.codec_private < 0 || v.codec == codec_container) return 0;
    return config_places_hand(&mw->sites, v.codec_private + v.config_at, v.codec_private_length - v.config_at,
                              holder_codec_private);
}

// How the units of the video's frames are framed, by its CodecPrivate
// alone: see MkvWalk. A track in AVI's manner has its frames framed as an
// AVI's of the same stream format.
uint32_t length_size_settle(MkvWalk* mw) {
    const MkvTrack& v = mw->segment.video;
    if (!codec_has_sets(v.codec)) return 0;
    if (v.codec_private < 0 || v.codec_private_length == 0) return 0;
    if (v.config_at == 0) return config_length_size(&mw->sites, v.codec_private, v.codec_private_length);
    return format_extra_length_size(&mw->sites, v.codec_private + v.config_at, v.codec_private_length - v.config_at);
}

// The display elements and the CodecPrivate, in the order of their positions.
int32_t tracks_walk(MkvWalk* mw, const EbmlElement* tracks) {
    int32_t result = checksum_hand(mw, tracks);
    const MkvTrack& v = mw->segment.video;
    bool display_first = v.codec_private < 0 || v.display.span < v.codec_private;
    if (result == 0) result = display_first ? display_hand(mw) : codec_private_hand(mw);
    if (result == 0) result = display_first ? codec_private_hand(mw) : display_hand(mw);
    return result;
}

// The frames of a block: after its track number, timestamp and flags, and
// the sizes its lacing gives them. False for a head that does not read.
bool frames_read(const uint8_t* b, uint32_t length, uint32_t size, uint32_t* head, uint32_t* sizes, uint32_t* count) {
    uint32_t number_length = ebml_vint_length(b[0]);
    uint32_t at = number_length + 3;
    if (number_length == 0 || at > length) return false;
    uint8_t lacing = (b[at - 1] >> 1) & 3;
    *count = 1;
    if (lacing != 0) {
        if (at >= length) return false;
        *count = b[at++] + 1u;
    }
    uint32_t laced = 0;
    for (uint32_t k = 0; k + 1 < *count; ++k) {
        uint64_t frame = 0;
        if (lacing == 1) {  // Xiph: runs of 255
            for (uint8_t byte = 255; byte == 255 && at < length; frame += byte) byte = b[at++];
        } else if (lacing == 3) {  // EBML: the first, then signed differences
            uint32_t n = at < length ? ebml_vint_length(b[at]) : 0;
            if (n == 0 || at + n > length) return false;
            uint64_t raw = ebml_vint_value(b + at, n);
            at += n;
            int64_t bias = (int64_t{1} << (7 * n - 1)) - 1;
            frame = k == 0 ? raw : static_cast<uint64_t>(static_cast<int64_t>(sizes[k - 1]) + static_cast<int64_t>(raw) - bias);
        } else {
            frame = (size - at) / *count;  // fixed: at is past the count
        }
        if (frame > size) return false;
        sizes[k] = static_cast<uint32_t>(frame);
        laced += sizes[k];
    }
    if (at > size || laced > size - at) return false;
    sizes[*count - 1] = size - at - laced;
    *head = at;
    return true;
}

// The element at pos in a parent; a parent that runs to the end of a file
// cut short (cut itself, or of unknown size) takes a child that the end
// cuts, and the walk notes the cut.
EbmlRead child_read(MkvWalk* mw, int64_t pos, const EbmlElement* parent, bool open, EbmlElement* child, bool* cut,
                    int32_t* result) {
    BlockReader* r = &mw->walk->reader;
    *cut = false;
    if (!open || parent->end != r->size) return ebml_read(r, pos, parent->end, child, result);
    EbmlRead read = ebml_read_to_cut(r, pos, child, cut, result);
    if (*cut) walk_cut_note(mw->walk, 0);
    return read;
}

int32_t frame_walk(MkvWalk* mw, int64_t at, uint32_t size) {
    if (codec_header_opens_frames(mw->segment.video.codec)) return mpeg_head_feed(&mw->sites, at, size);
    if (mw->segment.video.codec == codec_dv) return dv_frame_feed(mw->walk, at, size);
    if (mw->length_size == 0) return start_code_head_feed(&mw->sites, at, size);
    return unit_sets_hand(&mw->sites, at, size, mw->length_size);
}

// The frames of a block of the video track; another track's are passed
// over after a look at its number, which the read of its head brought in.
// A block the end of a file cut short cuts is read as far as it goes, and
// its frames that do not end before it are counted.
int32_t block_walk(MkvWalk* mw, const EbmlElement* block, bool cut) {
    BlockReader* r = &mw->walk->reader;
    if (block->end - block->body > UINT32_MAX) return reader_broken(r, block->start, result_element_broken);
    uint32_t size = static_cast<uint32_t>(block->end - block->body);
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    int32_t result = reader_fetch_sparse(r, block->body, size < block_head_least ? size : block_head_least, &b, &got);
    if (result != 0 || got == 0) return result;
    uint32_t number_length = ebml_vint_length(b[0]);
    if (number_length == 0 || number_length > got || ebml_vint_value(b, number_length) != mw->segment.video.number) return 0;
    bool laced = number_length + 3 <= got && ((b[number_length + 2] >> 1) & 3) != 0;
    if (laced) result = reader_fetch_sparse(r, block->body, size < block_head_most ? size : block_head_most, &b, &got);
    if (result != 0) return result;
    uint32_t sizes[frames_most];
    uint32_t count = 0;
    uint32_t head = 0;
    if (!frames_read(b, got, size, &head, sizes, &count) || count > frames_most) {
        if (!cut) return reader_broken(r, block->start, result_element_broken);
        walk_cut_note(mw->walk, 1);  // the end cut its head: one frame at least
        return 0;
    }
    int64_t at = block->body + head;
    if (mw->segment.video.codec == codec_container) {
        if (mw->frame_read) return 0;
        mw->frame_read = true;
        const MkvTrack& v = mw->segment.video;
        return frame_header_hand(&mw->sites, v.foreign.codec, v.width, v.height, at, sizes[0]);
    }
    uint64_t beyond = 0;
    for (uint32_t k = 0; k < count && result == 0; at += sizes[k++]) {
        if (at + sizes[k] > r->size) ++beyond;
        if (at < r->size) result = frame_walk(mw, at, sizes[k]);
    }
    if (beyond > 0) walk_cut_note(mw->walk, beyond);
    return result;
}

int32_t group_walk(MkvWalk* mw, const EbmlElement* group, bool cut) {
    int32_t result = checksum_hand(mw, group);
    EbmlElement within = *group;
    if (cut) within.end = mw->walk->reader.size;
    EbmlElement g;
    bool block_cut = false;
    for (int64_t in = group->body; result == 0 && in < within.end && !walk_ended(mw); in = g.end) {
        EbmlRead read = child_read(mw, in, &within, cut, &g, &block_cut, &result);
        if (read == ebml_none && block_cut) break;
        if (result != 0) return result;
        if (read != ebml_found) return reader_broken(&mw->walk->reader, in, result_element_broken);
        if (g.id == mkv_id_block) result = block_walk(mw, &g, block_cut);
    }
    return result;
}

// Where a cluster's children end, each read first: one of unknown size
// ends where an element that cannot be its child begins.
int32_t cluster_measure(MkvWalk* mw, const EbmlElement* cluster, const EbmlElement* within, bool open,
                        int64_t* end) {
    EbmlElement c;
    bool child_cut = false;
    int32_t result = 0;
    int64_t pos = cluster->body;
    for (; pos < within->end; pos = c.end) {
        EbmlRead read = child_read(mw, pos, within, open, &c, &child_cut, &result);
        if (result != 0) return result;
        if (read == ebml_none || (cluster->unknown && !matroska_cluster_child(c.id))) break;
        if (read == ebml_broken || c.unknown) return reader_broken(&mw->walk->reader, pos, result_element_broken);
    }
    *end = pos;
    return 0;
}

// A cluster's blocks of the video track; one of unknown size ends where an
// element that cannot be its child begins, which *end gets. One the end of
// a file cut short cuts is walked as far as the file goes; its CRC-32
// still covers the bytes its size gives. Where only its first frame is
// read, a cluster of known size is not measured: its other children are
// never reached.
int32_t cluster_walk(MkvWalk* mw, EbmlElement cluster, bool cut, int64_t* end) {
    bool open = cut || cluster.unknown;
    EbmlElement within = cluster;
    if (cut) within.end = mw->walk->reader.size;
    bool whole = cluster.unknown || mw->segment.video.codec != codec_container;
    int64_t pos = within.end;
    int32_t result = whole ? cluster_measure(mw, &cluster, &within, open, &pos) : 0;
    if (result != 0) return result;
    if (cluster.unknown) cluster.end = pos;
    if (pos < within.end) within.end = pos;
    *end = pos;
    result = checksum_hand(mw, &cluster);
    EbmlElement c;
    bool child_cut = false;
    for (pos = cluster.body; pos < within.end && result == 0 && !walk_ended(mw); pos = c.end) {
        child_read(mw, pos, &within, open, &c, &child_cut, &result);
        if (result == 0 && c.id == mkv_id_simple_block) result = block_walk(mw, &c, child_cut);
        if (result == 0 && c.id == mkv_id_block_group) result = group_walk(mw, &c, child_cut);
    }
    return result;
}

int32_t segment_walk(MkvWalk* mw) {
    const EbmlElement& segment = mw->segment.segment;
    bool open = segment.unknown || mw->segment.cut;
    if (mw->segment.cut) walk_cut_note(mw->walk, 0);
    EbmlElement e;
    int32_t result = 0;
    for (int64_t pos = segment.body; pos < segment.end && result == 0 && !walk_ended(mw); pos = e.end) {
        bool cut = false;
        EbmlRead read = child_read(mw, pos, &segment, open, &e, &cut, &result);
        if (result != 0) return result;
        if (read == ebml_none && cut) break;
        if (read != ebml_found) return reader_broken(&mw->walk->reader, pos, result_element_broken);
        if (e.id == mkv_id_tracks) result = tracks_walk(mw, &e);
        if (e.id == mkv_id_tracks) mw->tracks_walked = true;
        if (e.id == mkv_id_cluster) result = cluster_walk(mw, e, cut, &e.end);
    }
    return result;
}

}  // namespace

int32_t matroska_walk(Walk* w) {
    std::unique_ptr<MkvWalk> mw(new MkvWalk{});
    mw->walk = w;
    int32_t result = matroska_segment_read(&w->reader, &mw->segment);
    if (result == 0 && !mw->segment.found) return result_no_mpeg_video;
    if (result != 0) return result;
    site_reader_init(&mw->sites, w, mw->segment.video.codec, result_element_broken);
    mw->length_size = length_size_settle(mw.get());
    return segment_walk(mw.get());
}

int32_t matroska_look(BlockReader* reader, ContainerLook* look) {
    std::unique_ptr<MkvSegment> segment(new MkvSegment{});
    int32_t result = matroska_segment_read(reader, segment.get());
    bool taken = segment->found && !segment->encoded;
    ContainerName name = segment->webm ? container_webm : container_mkv;
    *look = {taken, segment->video.codec, segment->duration_sec, segment->others, segment->other_number,
             segment->found && segment->encoded, container_name_text(name), segment->video.shown,
             segment->other_codec, segment->video.foreign, segment->video.width, segment->video.height};
    return result;
}
