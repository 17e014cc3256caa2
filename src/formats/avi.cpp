#include "formats/avi.h"

#include "codecs/frame_aspect.h"
#include "formats/codec_ids.h"
#include "formats/site_reader.h"

namespace {

// A stream header's fields, a stream format's, and where its vprp or room lie.
struct StreamRead {
    uint32_t type;
    uint32_t handler;
    uint32_t scale;
    uint32_t rate;
    uint32_t length;
    uint32_t compression;
    uint32_t width;
    uint32_t height;
    int64_t format;  // the stream format's chunk, -1 without one
    int64_t format_body;
    int64_t format_size;
    int64_t vprp;    // -1 without one
    int64_t room;    // the first JUNK with room for a vprp, -1 without one
    uint8_t vprp_bytes[frame_aspect_span];
    uint32_t vprp_length;
};

// How much of a stream header and of a stream format is read.
constexpr uint32_t strh_read_bytes = 36;
constexpr uint32_t strf_read_bytes = 20;
constexpr uint32_t avih_read_bytes = 40;

// The stream's codec by its format's compression, else by its header's
// handler where the format names none (uncompressed pictures).
uint32_t codec_code(const StreamRead* s) {
    return s->compression != 0 || s->format < 0 ? s->compression : s->handler;
}

// The first `want` bytes of a chunk's data: false where it holds fewer.
bool data_fetch(BlockReader* r, const RiffChunk& c, uint32_t want, const uint8_t** bytes, int32_t* result) {
    return c.end - c.body >= want && reader_fetch_whole(r, c.body, want, bytes, result);
}

int32_t stream_child(BlockReader* r, const RiffChunk& c, StreamRead* s) {
    const uint8_t* b = nullptr;
    int32_t result = 0;
    if (c.code == riff_code("strh") && data_fetch(r, c, strh_read_bytes, &b, &result)) {
        s->type = le32_at(b);
        s->handler = le32_at(b + 4);
        s->scale = le32_at(b + 20);
        s->rate = le32_at(b + 24);
        s->length = le32_at(b + 32);
    }
    if (c.code == riff_code("strf") && data_fetch(r, c, strf_read_bytes, &b, &result)) {
        s->format = c.start;
        s->format_body = c.body;
        s->format_size = c.end - c.body;
        s->width = le32_at(b + 4);
        int32_t height = static_cast<int32_t>(le32_at(b + 8));  // below 0 for a picture stored top down
        s->height = height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height);
        s->compression = le32_at(b + 16);
    }
    if (c.code == riff_code("vprp") && s->vprp < 0) {
        s->vprp = c.start;
        int64_t length = c.end - c.start;
        s->vprp_length = static_cast<uint32_t>(length < frame_aspect_span ? length : frame_aspect_span);
        if (!reader_fetch_whole(r, c.start, s->vprp_length, &b, &result)) s->vprp_length = 0;
        for (uint32_t k = 0; k < s->vprp_length; ++k) s->vprp_bytes[k] = b[k];
    }
    if (c.code == riff_code("JUNK") && s->room < 0 && frame_aspect_room(static_cast<uint32_t>(c.end - c.body))) {
        s->room = c.start;
    }
    return result;
}

// Where the site of the stream's aspect lies, and what its vprp shows.
void place_settle(const RiffChunk& strl, const StreamRead& s, AviVideo* v) {
    v->place = s.vprp >= 0 ? s.vprp : s.room >= 0 ? s.room : s.format;
    v->roomless = s.vprp < 0 && s.room < 0;
    int64_t most = v->roomless ? riff_head_bytes : frame_aspect_span;
    v->place_length = static_cast<uint32_t>(strl.end - v->place < most ? strl.end - v->place : most);
    FrameAspectPlace vprp = {s.vprp_bytes, s.vprp_length, s.width, s.height, 0, false};
    if (s.vprp >= 0 && !frame_aspect_read(&vprp, &v->shown)) v->shown = {0, 0};
}

// The codec's bytes in the stream format: after its BITMAPINFOHEADER, or
// from its start where it is a type-1 stream's DVINFO.
void extra_settle(const StreamRead& s, bool type1, AviVideo* v) {
    int64_t head = type1 ? 0 : stream_format_head_bytes;
    int64_t length = s.format < 0 ? 0 : s.format_size - head;
    v->extra = s.format_body + head;
    v->extra_length = length <= 0 ? 0 : length < UINT32_MAX ? static_cast<uint32_t>(length) : UINT32_MAX;
}

void other_note(AviFile* f, uint32_t stream, ForeignVideo codec) {
    if (f->others++ > 0) return;
    f->other_stream = stream;
    f->other_codec = codec;
}

int32_t stream_read(BlockReader* r, AviFile* f, const RiffChunk& strl, uint32_t stream) {
    StreamRead s = {};
    s.format = s.vprp = s.room = -1;
    int32_t result = riff_children_each(r, &strl, false, [&](const RiffChunk& c) { return stream_child(r, c, &s); });
    bool type1_dv = s.type == riff_code("iavs");
    if (result != 0 || (s.type != riff_code("vids") && !type1_dv)) return result;
    uint32_t code = type1_dv ? s.handler : codec_code(&s);
    ForeignVideo foreign = {};
    VideoCodec codec = type1_dv ? codec_dv : codec_of_fourcc(code, &foreign);
    // A type-1 stream's format is its DVINFO: the main header gives its frame.
    if (type1_dv) {
        s.width = f->main_width;
        s.height = f->main_height;
    }
    if (f->found || s.format < 0 || s.width == 0 || s.height == 0) {
        other_note(f, stream, foreign);
        return 0;
    }
    f->found = true;
    AviVideo& v = f->video;
    v = AviVideo{};
    v.stream = stream;
    v.codec = codec;
    v.foreign = foreign;
    extra_settle(s, type1_dv, &v);
    v.width = s.width;
    v.height = s.height;
    v.rate = s.rate;
    v.scale = s.scale;
    v.length = s.length;
    place_settle(strl, s, &v);
    return 0;
}

// The main header's frame size.
int32_t main_header_read(BlockReader* r, const RiffChunk& avih, AviFile* f) {
    const uint8_t* b = nullptr;
    int32_t result = 0;
    if (!data_fetch(r, avih, avih_read_bytes, &b, &result)) return result;
    f->main_width = le32_at(b + 32);
    f->main_height = le32_at(b + 36);
    return 0;
}

}  // namespace

bool avi_opens(const uint8_t* head, uint32_t length) {
    return riff_opens(head, length, riff_code("AVI "));
}

// Muxers name a video stream's frames dc or db, and a type-1 DV stream's
// otherwise; a palette change (pc) is no frame.
bool avi_frame_chunk(uint32_t code, uint32_t stream) {
    uint32_t digits = static_cast<uint32_t>('0' + stream / 10 % 10) | static_cast<uint32_t>('0' + stream % 10) << 8;
    return (code & 0xFFFF) == digits && (code >> 16) != static_cast<uint32_t>('p' | 'c' << 8);
}

int32_t avi_header_read(BlockReader* r, AviFile* f) {
    *f = AviFile{};
    int32_t result = 0;
    if (riff_read(r, 0, r->size, true, &f->riff, &result) != riff_found) {
        return result != 0 ? result : reader_broken(r, 0, result_chunk_broken);
    }
    uint32_t stream = 0;
    // The header list comes before the frames; nothing past them is read.
    result = riff_children_each(r, &f->riff, f->riff.cut, [&](const RiffChunk& list) {
        if (list.form != riff_code("hdrl")) return list.form == riff_code("movi") ? int32_t{result_found} : 0;
        int32_t read = riff_children_each(r, &list, false, [&](const RiffChunk& c) {
            if (c.code == riff_code("avih")) return main_header_read(r, c, f);
            return c.form == riff_code("strl") ? stream_read(r, f, c, stream++) : 0;
        });
        return read != 0 ? read : int32_t{result_found};
    });
    return result == result_found ? 0 : result;
}
