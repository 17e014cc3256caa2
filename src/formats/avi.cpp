#include "formats/avi.h"

#include <cctype>

#include "codecs/frame_aspect.h"
#include "formats/foreign_codecs.h"

namespace {

// The codecs that AVI's stream formats and stream headers name, by their
// four characters whatever their case, each kind's run together. DV is
// refused by its name.
struct FourccCodecs {
    VideoCodec codec;
    ForeignCodec foreign;
    bool refused;
    const char* codes;
};
constexpr FourccCodecs fourcc_codecs[] = {
    {codec_avc, foreign_none, false, "h264x264avc1davc"},
    {codec_hevc, foreign_none, false, "hevch265"},
    {codec_mpeg, foreign_none, false, "mpg1mpg2mpegpim1pim2"},
    {codec_mpeg4, foreign_none, false, "xviddivxdx50fmp4mp4vm4s23iv2xvixump4rmp4"},
    {codec_container, foreign_motion_jpeg, false, "mjpgavrnljpgjpgl"},
    {codec_container, foreign_other, true, "dvsddv25dv50dvhddvsldvh1cdvc"},
};

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
    int64_t vprp;    // -1 without one
    int64_t room;    // the first JUNK with room for a vprp, -1 without one
    uint8_t vprp_bytes[frame_aspect_span];
    uint32_t vprp_length;
};

// How much of a stream header and of a stream format is read.
constexpr uint32_t strh_read_bytes = 36;
constexpr uint32_t strf_read_bytes = 20;

const FourccCodecs* codec_named(uint32_t code) {
    for (const FourccCodecs& c : fourcc_codecs) {
        for (const char* named = c.codes; *named != '\0'; named += 4) {
            bool same = true;
            for (uint32_t k = 0; k < 4; ++k) same = same && std::tolower(static_cast<uint8_t>(code >> (8 * k))) == named[k];
            if (same) return &c;
        }
    }
    return nullptr;
}

// The stream's codec by its format's compression, else by its header's
// handler where the format names none (uncompressed pictures).
ForeignVideo foreign_of(uint32_t code) {
    const uint8_t bytes[] = {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8),
                             static_cast<uint8_t>(code >> 16), static_cast<uint8_t>(code >> 24)};
    return foreign_of_id(bytes, 4);
}

uint32_t codec_code(const StreamRead* s) {
    return s->compression != 0 || s->format < 0 ? s->compression : s->handler;
}

bool bytes_fetch(BlockReader* r, int64_t pos, uint32_t want, const uint8_t** bytes, int32_t* result) {
    uint32_t got = 0;
    *result = reader_fetch_sparse(r, pos, want, bytes, &got);
    return *result == 0 && got == want;
}

// The first `want` bytes of a chunk's data: false where it holds fewer.
bool data_fetch(BlockReader* r, const RiffChunk& c, uint32_t want, const uint8_t** bytes, int32_t* result) {
    return c.end - c.body >= want && bytes_fetch(r, c.body, want, bytes, result);
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
        s->width = le32_at(b + 4);
        int32_t height = static_cast<int32_t>(le32_at(b + 8));  // below 0 for a picture stored top down
        s->height = height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height);
        s->compression = le32_at(b + 16);
    }
    if (c.code == riff_code("vprp") && s->vprp < 0) {
        s->vprp = c.start;
        int64_t length = c.end - c.start;
        s->vprp_length = static_cast<uint32_t>(length < frame_aspect_span ? length : frame_aspect_span);
        if (!bytes_fetch(r, c.start, s->vprp_length, &b, &result)) s->vprp_length = 0;
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
    const FourccCodecs* known = codec_named(code);
    bool taken = known != nullptr && known->codec != codec_container;
    ForeignVideo foreign = taken ? ForeignVideo{} : foreign_of(code);
    if (known != nullptr && known->foreign != foreign_other) foreign = {known->foreign, {}};
    bool refused = type1_dv || (known != nullptr && known->refused);
    if (f->found || f->refused || (!refused && (s.format < 0 || s.width == 0 || s.height == 0))) {
        other_note(f, stream, foreign);
        return 0;
    }
    if (refused) {
        f->refused = true;
        f->refused_codec = foreign;
        return 0;
    }
    f->found = true;
    AviVideo& v = f->video;
    v = AviVideo{};
    v.stream = stream;
    v.codec = taken ? known->codec : codec_container;
    v.foreign = foreign;
    v.width = s.width;
    v.height = s.height;
    v.rate = s.rate;
    v.scale = s.scale;
    v.length = s.length;
    place_settle(strl, s, &v);
    return 0;
}

}  // namespace

bool avi_opens(const uint8_t* head, uint32_t length) {
    return riff_opens(head, length, riff_code("AVI "));
}

bool avi_frame_chunk(uint32_t code, uint32_t stream) {
    uint32_t digits = static_cast<uint32_t>('0' + stream / 10 % 10) | static_cast<uint32_t>('0' + stream % 10) << 8;
    uint32_t kind = code >> 16;
    return (code & 0xFFFF) == digits && (kind == ('d' | 'c' << 8) || kind == ('d' | 'b' << 8));
}

int32_t avi_header_read(BlockReader* r, AviFile* f) {
    *f = AviFile{};
    int32_t result = 0;
    if (riff_read(r, 0, r->size, true, &f->riff, &result) != riff_found) return result != 0 ? result : result_box_broken;
    uint32_t stream = 0;
    // The header list comes before the frames; nothing past them is read.
    result = riff_children_each(r, &f->riff, f->riff.cut, [&](const RiffChunk& list) {
        if (list.form != riff_code("hdrl")) return list.form == riff_code("movi") ? int32_t{result_found} : 0;
        int32_t read = riff_children_each(r, &list, false, [&](const RiffChunk& strl) {
            return strl.form == riff_code("strl") ? stream_read(r, f, strl, stream++) : 0;
        });
        return read != 0 ? read : int32_t{result_found};
    });
    return result == result_found ? 0 : result;
}
