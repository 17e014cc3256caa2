#include "codecs/mpeg_video.h"

#include <cstring>

#include "codecs/bit_reader.h"
#include "codecs/framing.h"

namespace {

constexpr uint8_t extension_code = 0xB5;
constexpr uint8_t display_extension_id = 2;
constexpr uint8_t part2_sequence_code = 0xB0;

// A start code after the whole header: the first tells MPEG-2 (its
// sequence extension) from MPEG-1; an extension is read for a display
// size; any other start code ends what follows the header.
void start_code_after_header(VideoHeaderProbe* p, uint8_t code) {
    if (p->extension < 0) p->extension = code == extension_code ? 1 : 0;
    if (code == extension_code) {
        p->extension_have = 1;  // its first byte comes next
    } else {
        p->display = 0;
    }
}

// A byte of the extension being read: a sequence_display_extension gives
// its display size, after the colour description where it has one.
void extension_byte(VideoHeaderProbe* p, uint8_t b) {
    uint32_t k = p->extension_have - 1;
    p->extension_data[k] = b;
    ++p->extension_have;
    const uint8_t* d = p->extension_data;
    if (k == 0 && (b >> 4) != display_extension_id) {
        p->extension_have = 0;  // another extension: the next start code goes on
        return;
    }
    uint32_t size_at = (d[0] & 1) != 0 ? 4 : 1;
    if (k != size_at + 3) return;
    p->display_width = static_cast<uint16_t>((d[size_at] << 6) | (d[size_at + 1] >> 2));
    p->display_height = static_cast<uint16_t>(((d[size_at + 1] & 1) << 13) | (d[size_at + 2] << 5) |
                                              (d[size_at + 3] >> 3));
    p->display = 1;
    p->extension_have = 0;
}

// Where the wait for the next start code after the header may go on from:
// only bytes up to three before a 0x01 can end one, so a long run of
// anything else (picture data, zero padding) is passed over. The window's
// last byte must not be a 0x01 itself, since the byte at `from` would then
// end a start code.
uint32_t code_wait_skip(const VideoHeaderProbe* p, const uint8_t* bytes, uint32_t from, uint32_t n) {
    if (p->have != sequence_header_bytes || p->extension_have != 0 || (p->window & 0xFF) == 1) return from;
    const void* one = std::memchr(bytes + from, 1, n - from);
    uint32_t end = one == nullptr ? n : static_cast<uint32_t>(static_cast<const uint8_t*>(one) - bytes);
    return end - from > 3 ? end - 3 : from;
}

}  // namespace

int sequence_header_parse(SequenceHeaderFields* fields, const uint8_t* bytes) {
    BitReader r = {bytes, 8, 0, false};
    fields->horizontal_size = static_cast<int32_t>(bits_read(&r, 12));
    fields->vertical_size = static_cast<int32_t>(bits_read(&r, 12));
    fields->aspect_code = static_cast<uint8_t>(bits_read(&r, 4));
    fields->frame_rate_code = static_cast<uint8_t>(bits_read(&r, 4));
    fields->bit_rate_value = bits_read(&r, 18);
    return 0;
}

bool sequence_header_valid(const uint8_t* bytes) {
    SequenceHeaderFields f;
    sequence_header_parse(&f, bytes);
    bool marker = (bytes[sequence_marker_index] & sequence_marker_bit) != 0;
    return f.horizontal_size != 0 && f.vertical_size != 0 && f.frame_rate_code != 0 && marker;
}

void video_probe_init(VideoHeaderProbe* probe) {
    *probe = VideoHeaderProbe{};
    probe->window = code_window_empty;
    probe->code_pos = -1;
    probe->byte7_pos = -1;
    probe->extension = -1;
    probe->display = -1;
}

namespace {

// Collects a header's bytes after its start code; one that does not read
// as a sequence header is none, and its bytes are searched again, since a
// start code may lie among them.
void header_byte(VideoHeaderProbe* p, uint8_t b, int64_t pos);

void probe_byte(VideoHeaderProbe* p, uint8_t b, int64_t pos) {
    if (p->have > 0 && p->have < sequence_header_bytes) {
        header_byte(p, b, pos);
        return;
    }
    p->window = (p->window << 8) | b;
    if (p->have == 0 && p->window == sequence_header_code) {
        p->header[0] = 0;
        p->header[1] = 0;
        p->header[2] = 1;
        p->header[3] = b;
        p->have = 4;
        p->code_pos = pos;
        p->window = code_window_empty;
    } else if (p->have == 0 && code_window_complete(p->window)) {
        p->part2 = b == part2_sequence_code || b == mpeg4_vop_code;
    } else if (p->have == sequence_header_bytes && code_window_complete(p->window)) {
        start_code_after_header(p, b);
    } else if (p->extension_have > 0) {
        extension_byte(p, b);
    }
}

void header_byte(VideoHeaderProbe* p, uint8_t b, int64_t pos) {
    if (p->have == 7) p->byte7_pos = pos;
    p->header[p->have++] = b;
    if (p->have < sequence_header_bytes || sequence_header_valid(p->header + 4)) return;
    uint8_t after[sequence_header_bytes - 4];
    std::memcpy(after, p->header + 4, sizeof after);
    int64_t after_pos = pos - static_cast<int64_t>(sizeof after) + 1;
    p->have = 0;
    p->code_pos = -1;
    p->byte7_pos = -1;
    p->window = sequence_header_code;
    for (uint32_t k = 0; k < sizeof after && !video_probe_settled(p); ++k) probe_byte(p, after[k], after_pos + k);
}

}  // namespace

void video_probe_feed(VideoHeaderProbe* probe, const uint8_t* bytes, uint32_t n, int64_t pos) {
    for (uint32_t i = 0; i < n && !video_probe_settled(probe); ++i) {
        i = code_wait_skip(probe, bytes, i, n);
        probe_byte(probe, bytes[i], pos + i);
    }
}

void video_probe_gap(VideoHeaderProbe* probe) {
    probe->window = code_window_empty;
    probe->extension_have = 0;
    if (!video_probe_found(probe)) probe->have = 0;
}
