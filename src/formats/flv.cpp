#include "formats/flv.h"

#include "codecs/payload.h"

namespace {

constexpr uint32_t flv_header_least = 9;
// Tag types: audio, video, script data.
constexpr uint8_t flv_tag_audio = 8;
constexpr uint8_t flv_tag_script = 18;

// The tag's head at pos, and as many of its first data bytes as `got`
// holds after it: false where its type is none of FLV's.
bool head_parse(const uint8_t* h, uint32_t got, int64_t pos, int64_t file_size, FlvTag* tag) {
    *tag = FlvTag{};
    tag->type = h[0] & 0x1F;
    tag->filtered = (h[0] & 0x20) != 0;
    bool known = tag->type == flv_tag_audio || tag->type == flv_tag_video || tag->type == flv_tag_script;
    if ((h[0] & 0xC0) != 0 || !known) return false;
    tag->start = pos;
    tag->body = pos + flv_tag_head_bytes;
    tag->end = tag->body + be24_at(h + 1);
    tag->time = be24_at(h + 4) | static_cast<uint32_t>(h[7]) << 24;
    tag->cut = tag->end > file_size;
    int64_t within = (tag->cut ? file_size : tag->end) - tag->body;
    uint32_t after = got > flv_tag_head_bytes ? got - flv_tag_head_bytes : 0;
    uint32_t held = after < flv_video_head_bytes ? after : flv_video_head_bytes;
    tag->head_length = within <= 0 ? 0 : static_cast<uint32_t>(within < held ? within : held);
    for (uint32_t k = 0; k < tag->head_length; ++k) tag->head[k] = h[flv_tag_head_bytes + k];
    return true;
}

}  // namespace

bool flv_opens(const uint8_t* head, uint32_t length) {
    return length >= flv_header_least && head[0] == 'F' && head[1] == 'L' && head[2] == 'V' && head[3] == 1 &&
           be32_at(head + 5) >= flv_header_least;
}

int64_t flv_first_tag(BlockReader* r, int32_t* result) {
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    *result = reader_fetch_sparse(r, 0, flv_header_least, &b, &got);
    return *result != 0 || got < flv_header_least ? 0 : int64_t{be32_at(b + 5)} + 4;
}

FlvRead flv_tag_read(BlockReader* r, int64_t pos, int64_t before, FlvTag* tag, int32_t* result) {
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    // The size that ends the tag before, with this tag's head and its first data bytes.
    *result = reader_fetch_sparse(r, pos - 4, 4 + flv_tag_head_bytes + flv_video_head_bytes, &b, &got);
    if (*result != 0) return flv_broken;
    if (got < 4) return flv_cut;
    if (be32_at(b) != before) {
        r->broken_at = pos - 4 - before;
        return flv_broken;
    }
    if (got == 4) return flv_end;
    if (got < 4 + flv_tag_head_bytes) return flv_cut;
    if (head_parse(b + 4, got - 4, pos, r->size, tag)) return flv_found;
    r->broken_at = pos;
    return flv_broken;
}

bool flv_last_time(BlockReader* r, uint32_t* time) {
    const uint8_t* b = nullptr;
    uint32_t got = 0;
    if (r->size < 4 || reader_fetch_sparse(r, r->size - 4, 4, &b, &got) != 0 || got != 4) return false;
    int64_t pos = r->size - 4 - be32_at(b);
    if (pos < 0 || reader_fetch_sparse(r, pos, flv_tag_head_bytes, &b, &got) != 0 || got != flv_tag_head_bytes) {
        return false;
    }
    FlvTag last = {};
    if (!head_parse(b, got, pos, r->size, &last) || last.end != r->size - 4) return false;
    *time = last.time;
    return true;
}
