#include "analysis/header_analysis.h"

#include <cstring>

#include "analysis/bit_reader.h"

namespace {

// Copies up to count bytes at offset; bytes past the buffer's end count as 0
// so that a start code near the end never reads outside it.
void copy_clipped(const uint8_t* buffer, uint32_t length, int64_t offset, uint8_t* out,
                  uint32_t count) {
    std::memset(out, 0, count);
    for (uint32_t i = 0; i < count; ++i) {
        int64_t at = offset + i;
        if (at >= 0 && at < static_cast<int64_t>(length)) out[i] = buffer[at];
    }
}

// Peeks n bits and shifts past them.
uint32_t take_bits(uint8_t* bits, uint32_t length, int n) {
    uint32_t value = n <= 8    ? peek_bits8(bits, n)
                     : n < 16 ? static_cast<uint32_t>(peek_bits16(bits, n))
                              : peek_bits32(bits, n);
    shift_bits_left(bits, length, static_cast<uint32_t>(n));
    return value;
}

void skip_bits(uint8_t* bits, uint32_t length, int n) {
    shift_bits_left(bits, length, static_cast<uint32_t>(n));
}

void scan_head(const uint8_t* headbuf, SequenceHeaderInfo* info) {
    uint32_t window = 0;
    bool gop_seen = false;
    for (uint32_t i = 0; i < info->head_len; ++i) {
        window = (window << 8) + headbuf[i];
        // Before index 3 the window still holds the initial zero bytes.
        if (i < 3) continue;
        int64_t at = static_cast<int64_t>(i) - 3;
        if (window == start_code_pack && info->first_pack_pos == -1) info->first_pack_pos = at;
        if (window == start_code_sequence && info->first_seqhdr_pos == -1) {
            info->first_seqhdr_pos = at;
        }
        if (window == start_code_extension && info->first_ext_pos == -1) {
            info->first_ext_pos = at;
        }
        if (window == start_code_gop) gop_seen = true;
        if (gop_seen && info->first_pack_pos != -1 && info->first_seqhdr_pos != -1 &&
            info->first_ext_pos != -1) {
            break;
        }
    }
}

void scan_tail(const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    uint32_t window = 0;
    bool gop_seen = false;
    // Index 0 is never examined.
    for (uint32_t j = info->tail_len; j-- > 1;) {
        window = (window >> 8) + (static_cast<uint32_t>(tailbuf[j]) << 24);
        if (window == start_code_pack && info->last_pack_pos == -1) {
            info->last_pack_pos = info->tail_base + j;
        }
        if (window == start_code_gop) gop_seen = true;
        if (gop_seen && info->last_pack_pos != -1) break;
    }
}

uint32_t pack_clock_at(const uint8_t* buffer, uint32_t length, int64_t offset) {
    uint8_t bytes[5];
    copy_clipped(buffer, length, offset + 4, bytes, sizeof bytes);
    PackHeaderInfo pack = {0, 0};
    pack_header_parse(&pack, bytes);
    return pack.clock;
}

}  // namespace

int header_seek(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    info->not_mpeg = 0xFF;
    info->first_pack_pos = -1;
    info->last_pack_pos = -1;
    info->first_seqhdr_pos = -1;
    info->first_ext_pos = -1;
    if (info->head_len >= 3 && headbuf[0] == 0 && headbuf[1] == 0 && headbuf[2] == 1) {
        info->not_mpeg = 0;
    }
    scan_head(headbuf, info);
    scan_tail(tailbuf, info);
    return 0;
}

int sequence_header_parse(SequenceHeaderFields* fields, const uint8_t* bytes) {
    uint8_t bits[8];
    std::memcpy(bits, bytes, sizeof bits);
    fields->horizontal_size = static_cast<int32_t>(take_bits(bits, 8, 12));
    fields->vertical_size = static_cast<int32_t>(take_bits(bits, 8, 12));
    fields->aspect_code = static_cast<uint8_t>(take_bits(bits, 8, 4));
    fields->frame_rate_code = static_cast<uint8_t>(take_bits(bits, 8, 4));
    fields->bit_rate_value = take_bits(bits, 8, 18);
    return 0;
}

uint32_t scr_parse(const uint8_t* bytes, int32_t version) {
    if (version != 1 && version != 2) return 1;
    uint8_t bits[5];
    std::memcpy(bits, bytes, sizeof bits);
    skip_bits(bits, 5, version == 2 ? 2 : 4);
    uint32_t hi = take_bits(bits, 5, 3);
    skip_bits(bits, 5, 1);  // marker
    uint32_t mid = take_bits(bits, 5, 15);
    skip_bits(bits, 5, 1);
    uint32_t lo = take_bits(bits, 5, 15);
    return (hi << 30) + (mid << 15) + lo;
}

int pack_header_parse(PackHeaderInfo* pack, const uint8_t* bytes) {
    if (pack->version == 0) {
        if ((bytes[0] & 0xC0) == 0x40) {
            pack->version = 2;
        } else if ((bytes[0] & 0xF0) == 0x20) {
            pack->version = 1;
        }
    }
    pack->clock = scr_parse(bytes, pack->version);
    return 0;
}

int header_parse(const uint8_t* headbuf, const uint8_t* tailbuf, SequenceHeaderInfo* info) {
    SequenceHeaderFields fields = {0, 0, 0, 0, 0};
    if (info->first_seqhdr_pos != -1) {
        uint8_t bytes[8];
        copy_clipped(headbuf, info->head_len, info->first_seqhdr_pos + 4, bytes, sizeof bytes);
        sequence_header_parse(&fields, bytes);
    }
    info->horizontal_size = fields.horizontal_size;
    info->vertical_size = fields.vertical_size;
    info->aspect_code = fields.aspect_code;
    info->frame_rate_code = fields.frame_rate_code;
    info->bit_rate_value = fields.bit_rate_value;

    // A playing time needs both ends; with one pack header missing a
    // difference would be a wrapped-around 13 hours.
    info->duration_sec = 0;
    if (info->first_pack_pos != -1 && info->last_pack_pos != -1) {
        uint32_t first_scr = pack_clock_at(headbuf, info->head_len, info->first_pack_pos);
        uint32_t last_scr = pack_clock_at(tailbuf, info->tail_len,
                                          info->last_pack_pos - info->tail_base);
        uint32_t ticks = last_scr - first_scr;
        info->duration_sec = static_cast<double>(static_cast<long double>(ticks) *
                                                 (1.0L / 90000.0L));
    }

    // The aspect nibble belongs to the video, so the video decides the
    // version: every MPEG-2 video stream carries extension start codes, and
    // the system layer around it may be of either kind.
    info->mpeg_version = info->first_ext_pos != -1 ? 2 : 1;
    return 0;
}
