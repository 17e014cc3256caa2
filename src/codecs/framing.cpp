#include "codecs/framing.h"

#include <cstring>

uint32_t first_nonzero(const uint8_t* bytes, uint32_t n) {
    uint32_t i = 0;
    for (uint64_t word = 0; i + 8 <= n; i += 8) {
        std::memcpy(&word, bytes + i, 8);
        if (word != 0) break;
    }
    while (i < n && bytes[i] == 0) ++i;
    return i;
}

bool start_code_opens(const uint8_t* bytes, uint32_t length, uint32_t* code_at) {
    uint32_t zeros = first_nonzero(bytes, length);
    if (zeros < 2 || zeros >= length || bytes[zeros] != 1) return false;
    *code_at = zeros + 1;
    return true;
}

uint32_t start_code_next(const uint8_t* bytes, uint32_t from, uint32_t length) {
    for (uint32_t i = from; i + 3 < length; ++i) {
        if (start_code_at(bytes + i)) return i + 3;
    }
    return length;
}

uint32_t start_code_find(const uint8_t* bytes, uint32_t from, uint32_t length, uint8_t code) {
    for (uint32_t at = from + 3; at < length;) {
        const void* hit = std::memchr(bytes + at, code, length - at);
        if (hit == nullptr) break;
        at = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - bytes);
        if (start_code_at(bytes + at - 3)) return at - 3;
        ++at;
    }
    return length;
}

namespace {

uint32_t start_code_end_find(uint32_t window, const uint8_t* b, uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to;) {
        const void* hit = std::memchr(b + i, 0x01, to - i);
        if (hit == nullptr) return to;
        uint32_t at = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - b);
        uint8_t one_before = at > from ? b[at - 1] : static_cast<uint8_t>(window);
        uint8_t two_before = at > from + 1 ? b[at - 2]
                             : at > from   ? static_cast<uint8_t>(window)
                                           : static_cast<uint8_t>(window >> 8);
        if (one_before == 0 && two_before == 0) return at;
        i = at + 1;
    }
    return to;
}

}  // namespace

uint32_t start_code_seek(uint32_t* window, const uint8_t* b, uint32_t from, uint32_t to) {
    uint32_t code = start_code_end_find(*window, b, from, to);
    uint32_t last = code < to ? code + 1 : to;
    for (uint32_t k = last - from > 3 ? last - 3 : from; k < last; ++k) *window = ((*window << 8) | b[k]) & 0xFFFFFF;
    return code;
}

uint32_t code_window_seek(uint32_t* window, const uint8_t* bytes, uint32_t n, uint32_t code) {
    uint32_t w = *window;
    uint32_t i = 0;
    while (i < n) {
        w = w << 8 | bytes[i++];
        if (w == code) break;
    }
    *window = w;
    return i;
}

uint32_t nal_unit_length(const uint8_t* bytes, uint32_t from, uint32_t length) {
    for (uint32_t i = from; i + 2 < length; ++i) {
        uint32_t three = static_cast<uint32_t>(bytes[i]) << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        if (nal_end_is(three)) return i - from;
    }
    return length - from;
}

bool sps_nal_is(VideoCodec codec, const uint8_t* nal, uint32_t length) {
    if (codec != codec_avc && codec != codec_hevc && codec != codec_vc1) return false;
    if (length < nal_header_size(codec) || !nal_opens_sps(codec, nal[0])) return false;
    return codec != codec_hevc || ((nal[1] & 0xF8) == 0 && (nal[1] & 0x07) != 0);
}

bool nal_is_picture(VideoCodec codec, uint8_t header) {
    if (codec == codec_mpeg4) return header == mpeg4_vop_code;
    if (codec == codec_vc1) return header >= vc1_slice_code && header <= vc1_frame_code;
    uint8_t type = nal_type(codec, header);
    // HEVC's slices are types 0 to 31, H.264's 1 to 5.
    return codec == codec_hevc ? type < 32 : type >= 1 && type <= 5;
}

uint32_t nal_length_field(const uint8_t* field, uint32_t size) {
    uint32_t length = 0;
    for (uint32_t k = 0; k < size; ++k) length = length << 8 | field[k];
    return length;
}
