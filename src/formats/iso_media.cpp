#include "formats/iso_media.h"

#include "codecs/display_fields.h"
#include "codecs/payload.h"
#include "codecs/pixel_aspect.h"
#include "formats/codec_ids.h"
#include "fileio/result.h"

namespace {

// The visual sample entry's fields before its child boxes.
constexpr uint32_t entry_size_at = 24;
constexpr uint32_t entry_children_at = 78;
constexpr uint32_t tapt_size_at = 4;  // after version and flags
constexpr uint32_t descriptor_es = 3;
constexpr uint32_t descriptor_config = 4;
constexpr uint32_t descriptor_specific = 5;

// What a track's boxes say, on the way to its IsoTrack.
struct TrackRead {
    IsoTrack track;
    uint32_t handler;
    bool encrypted;
    uint32_t sample_type;  // the sample entry's, whether taken or not
    IsoPlace header_size;  // tkhd's width and height
    uint64_t header_width;
    uint64_t header_height;
    uint64_t clean_width;
    uint64_t clean_height;
    uint64_t encoded_width;  // tapt's enof: the picture size, where a file has it
    uint64_t encoded_height;
};

// The box's bytes from `at`, `want` of them; box_broken when the box ends
// before them, the box noted as the damage.
BoxRead box_bytes(BlockReader* r, const IsoBox* box, int64_t at, uint32_t want, const uint8_t** bytes,
                  int32_t* result) {
    bool within = at >= box->body && box->end - at >= want;
    uint32_t available = 0;
    if (within) *result = reader_fetch_sparse(r, at, want, bytes, &available);
    if (within && *result == 0 && available == want) return box_found;
    r->broken_at = box->start;
    return box_broken;
}

// A descriptor's tag and size (up to four bytes of seven bits); false when
// it runs past the bytes.
bool descriptor_read(const uint8_t* b, uint32_t length, uint32_t* at, uint32_t* tag, uint32_t* size) {
    if (*at >= length) return false;
    *tag = b[(*at)++];
    *size = 0;
    for (int k = 0; k < 4; ++k) {
        if (*at >= length) return false;
        uint8_t byte = b[(*at)++];
        *size = (*size << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) break;
    }
    return *size <= length - *at;
}

// An esds box: whether its object type is MPEG-1, MPEG-2 or MPEG-4 video,
// and the decoder specific information (the video's sequence header, or
// its VOL) where it has one. The descriptors are small: the box is read
// whole, as far as a VOL with an encoder's user data after it reaches.
BoxRead esds_read(BlockReader* r, const IsoBox* box, TrackRead* t, int32_t* result) {
    constexpr int64_t esds_most = 1024;
    uint32_t length = static_cast<uint32_t>(box->end - box->body > esds_most ? esds_most : box->end - box->body);
    const uint8_t* b = nullptr;
    BoxRead read = box_bytes(r, box, box->body, length, &b, result);
    if (read != box_found) return read;
    uint32_t at = 4;  // version and flags
    uint32_t tag = 0;
    uint32_t size = 0;
    if (!descriptor_read(b, length, &at, &tag, &size) || tag != descriptor_es || size < 3) return box_found;
    uint8_t flags = b[at + 2];
    at += 3 + ((flags & 0x80) ? 2 : 0) + ((flags & 0x20) ? 2 : 0);
    if ((flags & 0x40) && at < length) at += 1 + b[at];
    if (!descriptor_read(b, length, &at, &tag, &size) || tag != descriptor_config || size < 13) return box_found;
    ForeignVideo foreign = {};
    bool taken = codec_of_id(ids_object_type, b + at, 1, &t->track.codec, &foreign);
    if (!taken) t->track.entry = 0;  // JPEG and the like: not taken
    at += 13;
    if (taken && descriptor_read(b, length, &at, &tag, &size) && tag == descriptor_specific) {
        t->track.config = box->body + at;
        t->track.config_length = size;
    }
    return box_found;
}

// The codec a sample entry's type names, by the entries' own names or, as
// ffmpeg keeps an AVI's (xvid), by AVI's four characters; false for one
// whose frames the tool does not change, which *foreign names.
bool entry_codec(uint32_t type, VideoCodec* codec, ForeignVideo* foreign) {
    const uint8_t id[] = {static_cast<uint8_t>(type >> 24), static_cast<uint8_t>(type >> 16),
                          static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type)};
    if (!codec_of_id(ids_sample_entry, id, 4, codec, foreign)) *codec = codec_of_box_type(type, foreign);
    // VC-1's sequence headers in a sample entry's extradata and samples are
    // not read: it is known by name, and refused so.
    if (*codec == codec_vc1) {
        *codec = codec_container;
        *foreign = {foreign_vc1, {}};
    }
    return *codec != codec_container;
}

ForeignVideo entry_foreign(uint32_t type) {
    VideoCodec codec = codec_container;
    ForeignVideo foreign = {};
    entry_codec(type, &codec, &foreign);
    return foreign;
}

BoxRead size_read(BlockReader* r, const IsoBox* box, int64_t at, uint64_t* width, uint64_t* height,
                  int32_t* result);

// One child box of the video's sample entry.
BoxRead entry_child_read(BlockReader* r, const IsoBox* child, TrackRead* t, int32_t* result) {
    IsoTrack& v = t->track;
    if (child->type == box_type("sinf")) t->encrypted = true;
    if (child->type == box_type("pasp") && child->end - child->body >= 8) {
        v.pixel_aspect = child->body;
        uint64_t h = 0;
        uint64_t w = 0;
        BoxRead read = size_read(r, child, child->body, &h, &w, result);
        v.pixel_aspect_sar = {static_cast<uint32_t>(h), static_cast<uint32_t>(w)};
        if (read != box_found) return read;
    }
    if (child->type == box_type("esds") && v.entry == box_type("mp4v")) return esds_read(r, child, t, result);
    bool global = child->type == box_type("glbl") && v.codec == codec_mpeg4 && v.entry != box_type("mp4v");
    bool config = (child->type == box_type("avcC") && v.codec == codec_avc) ||
                  (child->type == box_type("hvcC") && v.codec == codec_hevc) || global;
    if (config && v.config < 0) {
        v.config = child->body;
        v.config_length = static_cast<uint32_t>(child->end - child->body);
        v.config_holder = global ? holder_mov_glbl : v.codec == codec_avc ? holder_avcc : holder_hvcc;
    }
    return box_found;
}

// The first sample entry of a video track's sample descriptions (stsd);
// other tracks' entries have other fields.
BoxRead sample_entry_read(BlockReader* r, const IsoBox* stsd, TrackRead* t, int32_t* result) {
    if (t->handler != box_type("vide")) return box_found;
    IsoBox entry;
    BoxRead read = box_read(r, stsd->body + 8, stsd->end, &entry, result);
    if (read != box_found) return read == box_none ? box_found : read;
    IsoTrack& v = t->track;
    v.entry = t->sample_type = entry.type;
    if (entry.type == box_type("encv")) t->encrypted = true;
    ForeignVideo foreign = {};
    if (!entry_codec(entry.type, &v.codec, &foreign)) v.entry = 0;
    const uint8_t* b = nullptr;
    read = box_bytes(r, &entry, entry.body + entry_size_at, 4, &b, result);
    if (read != box_found) return read;
    v.width = be16_at(b);
    v.height = be16_at(b + 2);
    IsoBox child;
    IsoBox pasp = {};
    IsoBox room = {};
    for (int64_t pos = entry.body + entry_children_at; pos < entry.end; pos = child.end) {
        read = box_read(r, pos, entry.end, &child, result);
        if (read == box_none) break;
        if (read == box_found) read = entry_child_read(r, &child, t, result);
        if (read != box_found) return read;
        bool whole_pasp = child.type == box_type("pasp") && child.end - child.start == pixel_aspect_box_bytes;
        if (whole_pasp && pasp.type == 0) pasp = child;
        if (iso_room_holds(&child) && room.type == 0) room = child;
    }
    // A pasp of another size is read as its pair alone.
    if (v.pixel_aspect >= 0 && (pasp.type == 0 || v.pixel_aspect != pasp.body)) return box_found;
    return iso_pair_place(r, stsd, &entry, pasp.type != 0 ? &pasp : nullptr, room.type != 0 ? &room : nullptr,
                          &v.pair, result);
}

// A box's children, each handed to `take`, which goes down where it must.
typedef BoxRead (*ChildTake)(BlockReader* r, const IsoBox* child, TrackRead* t, int32_t* result);

BoxRead children_read(BlockReader* r, const IsoBox* parent, TrackRead* t, ChildTake take, int32_t* result) {
    IsoBox child;
    for (int64_t pos = parent->body; pos < parent->end; pos = child.end) {
        BoxRead read = box_read(r, pos, parent->end, &child, result);
        if (read == box_none) break;
        if (read == box_found) read = take(r, &child, t, result);
        if (read != box_found) return read;
    }
    return box_found;
}

// A display size of 8 bytes at `at` in the box, with what it holds.
BoxRead size_read(BlockReader* r, const IsoBox* box, int64_t at, uint64_t* width, uint64_t* height,
                  int32_t* result) {
    const uint8_t* b = nullptr;
    BoxRead read = box_bytes(r, box, at, 8, &b, result);
    if (read == box_found) {
        *width = be32_at(b);
        *height = be32_at(b + 4);
    }
    return read;
}

BoxRead aperture_take(BlockReader* r, const IsoBox* child, TrackRead* t, int32_t* result) {
    uint64_t width = 0;
    uint64_t height = 0;
    int64_t at = child->body + tapt_size_at;
    if (child->type == box_type("clef")) {
        t->track.clean_aperture = at;
        return size_read(r, child, at, &t->clean_width, &t->clean_height, result);
    }
    if (child->type == box_type("prof")) {
        t->track.production_aperture = at;
        return size_read(r, child, at, &width, &height, result);
    }
    if (child->type == box_type("enof")) return size_read(r, child, at, &t->encoded_width, &t->encoded_height, result);
    return box_found;
}

BoxRead media_take(BlockReader* r, const IsoBox* child, TrackRead* t, int32_t* result);

// The playing time, which is only shown: a box too short for it gives none.
BoxRead media_header_read(BlockReader* r, const IsoBox* mdhd, TrackRead* t, int32_t* result) {
    const uint8_t* b = nullptr;
    BoxRead read = box_bytes(r, mdhd, mdhd->body, 1, &b, result);
    bool wide = read == box_found && b[0] == 1;
    if (read == box_found) read = box_bytes(r, mdhd, mdhd->body, wide ? 32 : 20, &b, result);
    if (read != box_found) return *result != 0 ? box_broken : box_found;
    uint32_t timescale = be32_at(b + (wide ? 20 : 12));
    uint64_t duration = wide ? be64_at(b + 24) : be32_at(b + 16);
    t->track.timescale = timescale;
    t->track.duration_sec = timescale == 0 ? 0 : static_cast<double>(duration) / timescale;
    return box_found;
}

BoxRead media_take(BlockReader* r, const IsoBox* child, TrackRead* t, int32_t* result) {
    const uint8_t* b = nullptr;
    switch (child->type) {
    case box_type("mdhd"): return media_header_read(r, child, t, result);
    case box_type("hdlr"): {
        BoxRead read = box_bytes(r, child, child->body + 8, 4, &b, result);
        if (read == box_found && t->handler == 0) t->handler = be32_at(b);
        return read;
    }
    case box_type("minf"): return children_read(r, child, t, media_take, result);
    case box_type("stbl"):
        t->track.sample_table = *child;
        return children_read(r, child, t, media_take, result);
    case box_type("stsd"): return sample_entry_read(r, child, t, result);
    default: return box_found;
    }
}

BoxRead track_header_read(BlockReader* r, const IsoBox* tkhd, TrackRead* t, int32_t* result) {
    const uint8_t* b = nullptr;
    BoxRead read = box_bytes(r, tkhd, tkhd->body, 4, &b, result);
    if (read != box_found) return read;
    bool wide = b[0] == 1;
    int64_t id_at = tkhd->body + (wide ? 20 : 12);
    t->header_size = tkhd->body + (wide ? 88 : 76);
    read = box_bytes(r, tkhd, id_at, 4, &b, result);
    if (read == box_found) t->track.id = be32_at(b);
    if (read == box_found) read = size_read(r, tkhd, t->header_size, &t->header_width, &t->header_height, result);
    return read;
}

BoxRead track_take(BlockReader* r, const IsoBox* child, TrackRead* t, int32_t* result) {
    switch (child->type) {
    case box_type("tkhd"): return track_header_read(r, child, t, result);
    case box_type("mdia"): return children_read(r, child, t, media_take, result);
    case box_type("tapt"): return children_read(r, child, t, aperture_take, result);
    default: return box_found;
    }
}

// A QuickTime track with apertures may keep the picture's own size in its
// header (its enof's) and the display size in clef: then the header is no
// display size to change.
IsoPlace track_header_place(const TrackRead* t) {
    bool encoded = t->encoded_width == t->header_width && t->encoded_height == t->header_height;
    bool clean_differs = t->clean_width != t->header_width || t->clean_height != t->header_height;
    return t->track.clean_aperture >= 0 && encoded && clean_differs ? iso_place_none : t->header_size;
}

// What the display size that counts gives the picture: the header's where
// it is a place, else the clean aperture's.
SarRatio display_sar_of(const TrackRead* t, IsoPlace header) {
    SarRatio sar = {0, 0};
    const IsoTrack& v = t->track;
    if (header >= 0) display_size_sar(t->header_width, t->header_height, v.width, v.height, &sar);
    if (header < 0 && v.clean_aperture >= 0) display_size_sar(t->clean_width, t->clean_height, v.width, v.height, &sar);
    return sar;
}

// Takes the track when it is the first video track; counts any other. One
// of a codec whose frames the tool does not change is taken for its
// container's places, which need the picture's size.
void track_weigh(TrackRead* t, IsoMovie* movie) {
    if (t->handler != box_type("vide")) return;
    IsoTrack& v = t->track;
    if (v.entry == 0 && t->sample_type != 0 && v.width > 0 && v.height > 0) {
        v.codec = codec_container;
        v.entry = t->sample_type;
        v.foreign = entry_foreign(t->sample_type);
    }
    bool takeable = t->track.entry != 0 && !t->encrypted;
    if (!movie->found && t->encrypted) {
        movie->encrypted = true;
        return;
    }
    if (movie->found || !takeable) {
        if (movie->others++ > 0) return;
        movie->other_id = t->track.id;
        bool foreign = t->track.entry == 0 && t->sample_type != 0 && !t->encrypted;
        movie->other_codec = foreign ? entry_foreign(t->sample_type) : ForeignVideo{};
        return;
    }
    movie->found = true;
    movie->video = t->track;
    movie->video.track_header = track_header_place(t);
    movie->video.display_sar = display_sar_of(t, movie->video.track_header);
}

BoxRead track_read(BlockReader* r, const IsoBox* trak, IsoMovie* movie, int32_t* result) {
    TrackRead t = {};
    t.header_size = iso_place_none;
    IsoTrack& v = t.track;
    v.track_header = v.pixel_aspect = v.clean_aperture = v.production_aperture = iso_place_none;
    v.pair.at = -1;
    v.config = -1;
    v.config_holder = holder_esds;
    BoxRead read = children_read(r, trak, &t, track_take, result);
    if (read == box_found) track_weigh(&t, movie);
    return read;
}

// The default sample size of the video track's movie fragments (trex).
BoxRead extends_read(BlockReader* r, const IsoBox* mvex, IsoMovie* movie, int32_t* result) {
    IsoBox trex;
    for (int64_t pos = mvex->body; pos < mvex->end; pos = trex.end) {
        BoxRead read = box_child_find(r, mvex, pos, box_type("trex"), &trex, result);
        if (read != box_found) return read == box_none ? box_found : read;
        const uint8_t* b = nullptr;
        read = box_bytes(r, &trex, trex.body, 24, &b, result);
        if (read != box_found) return read;
        if (be32_at(b + 4) != movie->video.id) continue;
        movie->video.default_duration = be32_at(b + 12);
        movie->video.default_size = be32_at(b + 16);
    }
    return box_found;
}

BoxRead movie_box_read(BlockReader* r, IsoMovie* movie, int32_t* result) {
    IsoBox child;
    int64_t extends = -1;
    for (int64_t pos = movie->movie.body; pos < movie->movie.end; pos = child.end) {
        BoxRead read = box_read(r, pos, movie->movie.end, &child, result);
        if (read == box_none) break;
        if (read == box_found && child.type == box_type("trak")) read = track_read(r, &child, movie, result);
        if (read != box_found) return read;
        if (child.type == box_type("mvex")) extends = child.start;
    }
    movie->fragmented = extends >= 0;
    if (!movie->fragmented || !movie->found) return box_found;
    BoxRead read = box_read(r, extends, movie->movie.end, &child, result);
    return read == box_found ? extends_read(r, &child, movie, result) : read;
}

int32_t result_of(BoxRead read, int32_t result) {
    if (result != 0) return result;
    return read == box_broken ? result_box_broken : 0;
}

}  // namespace

bool iso_media_opens(const uint8_t* head, uint32_t length) {
    IsoBox box;
    if (box_header_parse(head, length, 0, INT64_MAX, &box) != box_found) return false;
    constexpr uint32_t openings[] = {box_type("ftyp"), box_type("moov"), box_type("mdat"),
                                     box_type("free"), box_type("wide"), box_type("skip")};
    for (uint32_t type : openings) {
        if (box.type == type) return true;
    }
    return false;
}

int32_t iso_movie_read(BlockReader* reader, IsoMovie* movie) {
    *movie = IsoMovie{};
    movie->quicktime = true;
    IsoBox box;
    int32_t result = 0;
    for (int64_t pos = 0; pos < reader->size; pos = box.end) {
        BoxRead read = box_read(reader, pos, reader->size, &box, &result);
        if (result != 0) return result;
        if (read != box_found) return result_no_movie;  // a recording cut before its end
        if (box.type == box_type("ftyp")) {
            const uint8_t* b = nullptr;
            read = box_bytes(reader, &box, box.body, 4, &b, &result);
            if (read != box_found) return result_of(read, result);
            movie->quicktime = be32_at(b) == box_type("qt  ");
        }
        if (box.type == box_type("moov")) {
            movie->movie = box;
            return result_of(movie_box_read(reader, movie, &result), result);
        }
    }
    return result_no_movie;
}
