// The walk of an AVI file: the video stream's vprp, or the room for one,
// and the codec's extradata in its stream format, then the heads of its
// frames, chunk by chunk through the movi lists of the RIFF AVI chunk and
// of each RIFF AVIX after it. Only the chunks' heads and the frames' first
// bytes are read. A file cut short (a capture stopped by a crash: sizes
// that run past its end, or never written) is walked as far as it goes.
#include <climits>
#include <memory>

#include "codecs/frame_aspect.h"
#include "codecs/frame_headers.h"
#include "formats/avi.h"
#include "formats/dv_stream.h"
#include "formats/site_reader.h"

namespace {

// Ends the walk once frames the tool does not change have given what they
// give: no read or sink ever returns it.
constexpr int32_t walk_done = INT32_MAX;

struct AviWalk {
    Walk* walk;
    AviFile file;
    SiteReader sites;
    // H.264 and HEVC frames are framed as their stream format's extradata
    // says: by length fields of this size after an avcC or hvcC record,
    // else (0) by start codes.
    uint32_t length_size;
    bool frame_read;  // the first frame's header, where frames are not the tool's
};

// The vprp, or the room for one; none where the video records its own
// aspect and the file has neither, which the run has said.
int32_t vprp_hand(AviWalk* aw) {
    const AviVideo& v = aw->file.video;
    SiteReader* r = &aw->sites;
    if (v.roomless && v.codec != codec_container) return 0;
    int32_t result = site_reader_gather(r, 0, v.place, v.place_length);
    if (result != 0) return result;
    uint32_t refresh = v.scale == 0 ? 0 : static_cast<uint32_t>((uint64_t{v.rate} + v.scale / 2) / v.scale);
    AspectSite site = site_frame_aspect_make(v.codec, r->bytes, r->pos, r->length, site_reader_range(r, v.place),
                                             v.width, v.height, refresh);
    return site_reader_hand(r, &site);
}

// The places of the stream format's extradata: DV's copy of its pack,
// the codec's configuration.
int32_t extra_hand(AviWalk* aw) {
    const AviVideo& v = aw->file.video;
    return config_places_hand(&aw->sites, v.extra, v.extra_length, holder_avi_strf);
}

// The header list's places, in the order of their positions.
int32_t place_hand(AviWalk* aw) {
    bool format_first = aw->file.video.extra < aw->file.video.place;
    int32_t result = format_first ? extra_hand(aw) : vprp_hand(aw);
    if (result == 0) result = format_first ? vprp_hand(aw) : extra_hand(aw);
    return result;
}

// A frame of the video; one the end of a file cut short cuts is read as
// far as it goes, and counted.
int32_t frame_hand(AviWalk* aw, const RiffChunk& c) {
    const AviVideo& v = aw->file.video;
    uint32_t size = static_cast<uint32_t>(c.end - c.body);
    if (c.cut) walk_cut_note(aw->walk, 1);
    if (v.codec == codec_container) {
        aw->frame_read = true;
        int32_t result = frame_header_hand(&aw->sites, v.foreign.codec, v.width, v.height, c.body, size);
        return result != 0 ? result : walk_done;
    }
    if (codec_header_opens_frames(v.codec)) return mpeg_head_feed(&aw->sites, c.body, size);
    if (v.codec == codec_dv) return dv_frame_feed(aw->walk, c.body, size);
    // H.264, HEVC and MPEG-4 Part 2: the units before the first picture.
    if (aw->length_size != 0) return unit_sets_hand(&aw->sites, c.body, size, aw->length_size);
    return start_code_head_feed(&aw->sites, c.body, size);
}

// A movi list's frames of the video, inside rec lists too; the others'
// chunks and the index chunks are passed over by their heads.
int32_t frames_walk(AviWalk* aw, const RiffChunk& list) {
    BlockReader* r = &aw->walk->reader;
    return riff_children_each(r, &list, list.cut, [&](const RiffChunk& c) {
        if (c.form == riff_code("rec ")) return frames_walk(aw, c);
        bool frame = avi_frame_chunk(c.code, aw->file.video.stream) && c.end > c.body;
        return frame ? frame_hand(aw, c) : 0;
    });
}

// A RIFF chunk's lists: the header list's place in the first, the frames
// of every movi list.
int32_t riff_walk(AviWalk* aw, const RiffChunk& riff) {
    if (riff.cut) walk_cut_note(aw->walk, 0);
    return riff_children_each(&aw->walk->reader, &riff, riff.cut, [&](const RiffChunk& list) {
        if (list.form == riff_code("hdrl") && riff.start == 0) return place_hand(aw);
        return list.form == riff_code("movi") ? frames_walk(aw, list) : 0;
    });
}

// The RIFF AVI chunk, then each RIFF AVIX chunk that follows it.
int32_t file_walk(AviWalk* aw) {
    BlockReader* r = &aw->walk->reader;
    RiffChunk riff = aw->file.riff;
    int32_t result = riff_walk(aw, riff);
    for (int64_t pos = riff_next(&riff); result == 0 && pos < r->size; pos = riff_next(&riff)) {
        // Bytes after the last part that open none are no part of the file's video.
        RiffRead read = riff_read(r, pos, r->size, true, &riff, &result);
        if (result != 0 || read != riff_found || riff.code != riff_code("RIFF") || riff.form != riff_code("AVIX")) break;
        result = riff_walk(aw, riff);
    }
    return result == walk_done ? 0 : result;
}

}  // namespace

int32_t avi_walk(Walk* w) {
    std::unique_ptr<AviWalk> aw(new AviWalk{});
    int32_t result = avi_header_read(&w->reader, &aw->file);
    if (result != 0) return result;
    aw->walk = w;
    const AviVideo& v = aw->file.video;
    site_reader_init(&aw->sites, w, v.codec, result_chunk_broken);
    if (!aw->file.found) return result_no_mpeg_video;
    aw->length_size = format_extra_length_size(&aw->sites, v.extra, v.extra_length);
    return file_walk(aw.get());
}

int32_t avi_look(BlockReader* reader, ContainerLook* look) {
    std::unique_ptr<AviFile> file(new AviFile{});
    int32_t result = avi_header_read(reader, file.get());
    const AviVideo& v = file->video;
    double duration = v.rate == 0 ? 0 : static_cast<double>(v.length) * v.scale / v.rate;
    *look = {file->found, v.codec, duration, file->others, file->other_stream, false,
             container_name_text(container_avi), v.shown, file->other_codec, v.foreign, v.width, v.height};
    look->placeless = file->found && v.roomless && v.codec != codec_container;
    return result;
}
