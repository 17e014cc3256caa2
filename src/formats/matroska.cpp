#include "formats/matroska.h"

#include <cstring>

#include "codecs/display_elements.h"
#include "formats/codec_ids.h"
#include "formats/riff.h"
#include "formats/site_reader.h"
#include "fileio/result.h"

namespace {

constexpr uint64_t track_type_video = 1;
// How far past the head of the Void that gives room its bytes are taken:
// enough for the display elements and the Void's own new head.
constexpr uint32_t room_reach = 48;
constexpr uint32_t span_most = 1000;

// A track in AVI's manner: its CodecPrivate is an AVI stream format
// (BITMAPINFOHEADER, whose compression names the codec) and the codec's
// configuration after it.
constexpr char vfw_codec_id[] = "V_MS/VFW/FOURCC";
constexpr uint32_t compression_at = 16;

// An element's data, which must be short: false when it is longer.
bool data_read(BlockReader* r, const EbmlElement* e, uint32_t most, const uint8_t** bytes, uint32_t* length,
               int32_t* result) {
    int64_t size = e->end - e->body;
    if (e->unknown || size > most) return false;
    *length = static_cast<uint32_t>(size);
    uint32_t got = 0;
    *result = reader_fetch_sparse(r, e->body, *length, bytes, &got);
    return *result == 0 && got == *length;
}

uint64_t uint_read(BlockReader* r, const EbmlElement* e, uint64_t otherwise, int32_t* result) {
    const uint8_t* b = nullptr;
    uint32_t length = 0;
    return data_read(r, e, 8, &b, &length, result) ? ebml_uint(b, length) : otherwise;
}

// The children of a master, each handed to `take` until it says stop (a
// non-zero result) or the master ends.
template <typename Take>
int32_t children_each(BlockReader* r, const EbmlElement* parent, Take take) {
    EbmlElement child;
    int32_t result = 0;
    for (int64_t pos = parent->body; pos < parent->end; pos = child.end) {
        EbmlRead read = ebml_read(r, pos, parent->end, &child, &result);
        if (result != 0) return result;
        if (read == ebml_none) break;
        if (read == ebml_broken || child.unknown) return reader_broken(r, pos, result_element_broken);
        result = take(child);
        if (result != 0) return result;
    }
    return 0;
}

// What a track's elements say, on the way to its MkvTrack.
struct TrackRead {
    MkvTrack track;
    uint64_t type;
    bool taken_codec;
    ForeignVideo foreign;  // its codec, where not taken
    bool encoded;
    EbmlElement entry;
    EbmlElement video;
    bool has_video;
    bool vfw;  // its codec named by the four characters of a stream format
};

// The Video element's sizes and display elements.
struct VideoRead {
    uint64_t width;
    uint64_t height;
    uint64_t crop[4];
    int64_t display_start;  // the first of the display elements, -1 without them
    int64_t display_end;
    uint64_t display_width;  // 0 without them
    uint64_t display_height;
    int64_t room;           // a Void child, -1 without one
    uint8_t unit;
};

int32_t video_child(BlockReader* r, const EbmlElement& c, VideoRead* v) {
    int32_t result = 0;
    switch (c.id) {
    case mkv_id_pixel_width: v->width = uint_read(r, &c, 0, &result); break;
    case mkv_id_pixel_height: v->height = uint_read(r, &c, 0, &result); break;
    case mkv_id_crop_bottom: v->crop[0] = uint_read(r, &c, 0, &result); break;
    case mkv_id_crop_top: v->crop[1] = uint_read(r, &c, 0, &result); break;
    case mkv_id_crop_left: v->crop[2] = uint_read(r, &c, 0, &result); break;
    case mkv_id_crop_right: v->crop[3] = uint_read(r, &c, 0, &result); break;
    case display_id_unit: v->unit = static_cast<uint8_t>(uint_read(r, &c, 0, &result)); break;
    case display_id_width: v->display_width = uint_read(r, &c, 0, &result); break;
    case display_id_height: v->display_height = uint_read(r, &c, 0, &result); break;
    case ebml_id_void:
        if (v->room < 0) v->room = c.start;
        break;
    default: break;
    }
    if (c.id == display_id_width || c.id == display_id_height || c.id == display_id_unit) {
        if (v->display_start < 0) v->display_start = c.start;
        v->display_end = c.end;
    }
    return result;
}

int32_t entry_child(BlockReader* r, const EbmlElement& c, TrackRead* t) {
    int32_t result = 0;
    const uint8_t* b = nullptr;
    uint32_t length = 0;
    switch (c.id) {
    case mkv_id_track_number: t->track.number = uint_read(r, &c, 0, &result); break;
    case mkv_id_track_type: t->type = uint_read(r, &c, 0, &result); break;
    case mkv_id_content_encodings: t->encoded = true; break;
    case mkv_id_codec_private:
        t->track.codec_private = c.body;
        t->track.codec_private_length = static_cast<uint32_t>(c.end - c.body);
        break;
    case mkv_id_video:
        t->video = c;
        t->has_video = true;
        break;
    case mkv_id_codec_id:
        if (!data_read(r, &c, 32, &b, &length, &result)) break;
        length = ebml_string_length(b, length);
        t->vfw = length == std::strlen(vfw_codec_id) && std::memcmp(b, vfw_codec_id, length) == 0;
        if (!codec_of_id(ids_codec_id, b, length, &t->track.codec, &t->foreign)) {
            t->track.codec = codec_container;
            t->foreign = foreign_of_id(b, length);
        }
        t->taken_codec = t->track.codec != codec_container;
        break;
    default: break;
    }
    return result;
}

bool has_checksum(BlockReader* r, const EbmlElement* e) {
    EbmlElement first;
    int32_t result = 0;
    return ebml_read(r, e->body, e->end, &first, &result) == ebml_found && first.id == mkv_id_crc32;
}

// The Void where display elements may go: the first element from `from`
// on, one after the other through the tracks' ends, that is a Void, or
// the one right after the tracks; none when it is not near enough, or when
// the elements that would move for the display elements hold the track's
// CodecPrivate, whose own sites must stay where they are.
bool room_find(BlockReader* r, const MkvSegment* s, const TrackRead* t, int64_t from, EbmlElement* room,
               int32_t* result) {
    for (int64_t pos = from; pos <= s->tracks.end && pos - from < span_most; pos = room->end) {
        int64_t parent_end = pos < s->tracks.end ? s->tracks.end : s->segment.end;
        if (ebml_read(r, pos, parent_end, room, result) != ebml_found || room->unknown) return false;
        if (room->id == ebml_id_void) return true;
        if (pos >= s->tracks.end || room->body == t->track.codec_private) return false;
    }
    return false;
}

// Where the display elements are, or would go, and the elements that grow
// with them.
int32_t display_place(BlockReader* r, const MkvSegment* s, const TrackRead* t, const VideoRead* v, MkvDisplay* d) {
    int64_t from = v->display_start >= 0 ? v->display_start : v->room >= 0 ? v->room : t->video.end;
    int32_t result = 0;
    EbmlElement void_element = {};
    int64_t room = room_find(r, s, t, from, &void_element, &result) ? void_element.start : -1;
    // The span never reaches past the Void: the sites after it are its own.
    int64_t reach = room + room_reach < void_element.end ? room + room_reach : void_element.end;
    int64_t end = room >= 0 ? reach : v->display_end > 0 ? v->display_end : from;
    *d = MkvDisplay{};
    d->span = from;
    d->unit = v->unit;
    const EbmlElement* around[] = {&s->tracks, &t->entry, &t->video};
    for (const EbmlElement* e : around) {
        if (room < 0 || e->end > room) continue;
        d->size_pos[d->growing] = e->size_pos;
        d->size_length[d->growing++] = static_cast<uint8_t>(e->size_length);
        d->checksummed = d->checksummed || has_checksum(r, e);
    }
    // Without elements or room the site still has a byte, the one at its
    // start (an element's ID): it reads as square samples and takes nothing.
    if (end == from) end = from + 1;
    uint64_t fields = 0;
    for (uint32_t k = 0; k < d->growing; ++k) fields += d->size_length[k];
    int64_t most = static_cast<int64_t>(span_most - fields);
    d->span_length = static_cast<uint32_t>(end - from < most ? end - from : most);
    if (d->span + d->span_length > r->size) d->span_length = static_cast<uint32_t>(r->size - d->span);
    return result;
}

// The codec of a track in AVI's manner, by its stream format's four
// characters, as in an AVI file: its frames and the configuration after
// the format are the codec's as there; a codec the tool does not change
// stays its container's, named by its four characters.
int32_t vfw_codec_settle(BlockReader* r, TrackRead* t) {
    MkvTrack& k = t->track;
    if (k.codec_private < 0 || k.codec_private_length < stream_format_head_bytes) return 0;
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    int32_t result = reader_fetch_sparse(r, k.codec_private, stream_format_head_bytes, &b, &got);
    if (result != 0 || got < stream_format_head_bytes) return result;
    ForeignVideo foreign = {};
    VideoCodec codec = codec_of_fourcc(le32_at(b + compression_at), &foreign);
    if (codec == codec_container) {
        t->foreign = foreign;
        return 0;
    }
    k.codec = codec;
    k.config_at = stream_format_head_bytes;
    t->taken_codec = true;
    return 0;
}

int32_t track_read(BlockReader* r, MkvSegment* s, const EbmlElement& entry) {
    TrackRead t = {};
    t.entry = entry;
    t.track.codec_private = -1;
    int32_t result = children_each(r, &entry, [&](const EbmlElement& c) { return entry_child(r, c, &t); });
    if (result == 0 && t.vfw) result = vfw_codec_settle(r, &t);
    if (result != 0 || t.type != track_type_video) return result;
    VideoRead v = {};
    v.display_start = v.room = -1;
    if (!s->found && t.has_video) {
        result = children_each(r, &t.video, [&](const EbmlElement& c) { return video_child(r, c, &v); });
    }
    if (result != 0) return result;
    uint64_t crop_w = v.crop[2] + v.crop[3];
    uint64_t crop_h = v.crop[0] + v.crop[1];
    t.track.width = v.width > crop_w ? static_cast<uint32_t>(v.width - crop_w) : 0;
    t.track.height = v.height > crop_h ? static_cast<uint32_t>(v.height - crop_h) : 0;
    // A codec whose frames the tool does not change is taken for the
    // container's places, which need the picture's size.
    bool sized = t.track.width > 0 && t.track.height > 0;
    if (s->found || !t.has_video || !(t.taken_codec || sized)) {
        if (s->others++ > 0) return 0;
        s->other_number = t.track.number;
        s->other_codec = t.taken_codec ? ForeignVideo{} : t.foreign;
        return 0;
    }
    if (!t.taken_codec) {
        t.track.codec = codec_container;
        t.track.foreign = t.foreign;
    }
    t.track.shown = display_elements_sar(v.display_width, v.display_height, v.unit, t.track.width, t.track.height);
    s->found = true;
    s->encoded = t.encoded;
    s->video = t.track;
    return display_place(r, s, &t, &v, &s->video.display);
}

double float_of(const uint8_t* b, uint32_t length) {
    if (length == 4) {
        uint32_t bits = static_cast<uint32_t>(ebml_uint(b, 4));
        float f = 0;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    uint64_t bits = ebml_uint(b, 8);
    double d = 0;
    std::memcpy(&d, &bits, 8);
    return length == 8 ? d : 0;
}

int32_t info_read(BlockReader* r, MkvSegment* s, const EbmlElement& info) {
    uint64_t scale = 1000000;
    double duration = 0;
    int32_t result = children_each(r, &info, [&](const EbmlElement& c) {
        int32_t read = 0;
        const uint8_t* b = nullptr;
        uint32_t length = 0;
        if (c.id == mkv_id_timestamp_scale) scale = uint_read(r, &c, scale, &read);
        if (c.id == mkv_id_duration && data_read(r, &c, 8, &b, &length, &read)) duration = float_of(b, length);
        return read;
    });
    s->duration_sec = duration * static_cast<double>(scale) / 1e9;
    return result;
}

enum DocType { doc_none, doc_matroska, doc_webm };

// Longer than any DocType the tool takes, with the zeros a writer may pad
// it with.
constexpr uint32_t doc_type_most = 32;

DocType doc_type_of(const uint8_t* b, uint32_t length) {
    uint32_t n = ebml_string_length(b, length);
    if (n == 8 && std::memcmp(b, "matroska", 8) == 0) return doc_matroska;
    return n == 4 && std::memcmp(b, "webm", 4) == 0 ? doc_webm : doc_none;
}

}  // namespace

bool matroska_cluster_child(uint32_t id) {
    constexpr uint32_t children[] = {0xE7, 0x5854, 0xA7, 0xAB, 0xA3, 0xA0, 0xAF, mkv_id_crc32, ebml_id_void};
    for (uint32_t child : children) {
        if (child == id) return true;
    }
    return false;
}

bool matroska_opens(const uint8_t* head, uint32_t length) {
    EbmlElement header;
    if (ebml_header_parse(head, length, 0, length, &header) != ebml_found || header.id != mkv_id_ebml) return false;
    EbmlElement c;
    for (int64_t pos = header.body; pos < header.end; pos = c.end) {
        if (ebml_header_parse(head + pos, length - static_cast<uint32_t>(pos), pos, header.end, &c) != ebml_found) {
            return false;
        }
        if (c.id != mkv_id_doc_type) continue;
        return doc_type_of(head + c.body, static_cast<uint32_t>(c.end - c.body)) != doc_none;
    }
    return false;
}

int32_t matroska_segment_read(BlockReader* r, MkvSegment* s) {
    *s = MkvSegment{};
    EbmlElement e;
    int32_t result = 0;
    int64_t pos = 0;
    for (; pos < r->size; pos = e.end) {
        bool cut = false;
        EbmlRead read = ebml_read_to_cut(r, pos, &e, &cut, &result);
        if (read != ebml_found || (cut && e.id != mkv_id_segment)) {
            return result != 0 ? result : reader_broken(r, pos, result_element_broken);
        }
        if (e.id == mkv_id_segment) {
            s->cut = cut;
            if (cut) e.end = r->size;
            break;
        }
        if (e.id == mkv_id_ebml) result = children_each(r, &e, [&](const EbmlElement& c) {
            const uint8_t* b = nullptr;
            uint32_t length = 0;
            int32_t read = 0;
            if (c.id == mkv_id_doc_type && data_read(r, &c, doc_type_most, &b, &length, &read)) {
                s->webm = doc_type_of(b, length) == doc_webm;
            }
            return read;
        });
        if (result != 0) return result;
    }
    s->segment = e;
    // Its level-one elements, over clusters of unknown size too, until the tracks.
    for (pos = e.body; pos < s->segment.end && !s->tracks.end; pos = e.end) {
        EbmlRead read = ebml_read(r, pos, s->segment.end, &e, &result);
        if (result != 0) return result;
        if (read != ebml_found) return reader_broken(r, pos, result_element_broken);
        // Tracks after clusters of unknown size are not taken.
        if (e.unknown && e.id == mkv_id_cluster) return reader_broken(r, pos, result_element_broken);
        if (e.id == mkv_id_info) result = info_read(r, s, e);
        if (e.id == mkv_id_tracks) {
            s->tracks = e;
            result = children_each(r, &e, [&](const EbmlElement& c) {
                return c.id == mkv_id_track_entry ? track_read(r, s, c) : 0;
            });
        }
        if (result != 0) return result;
    }
    return 0;
}
