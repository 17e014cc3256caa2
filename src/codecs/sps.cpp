#include "codecs/sps.h"

#include <cstring>

#include "codecs/framing.h"

namespace {

// Sample aspects of aspect_ratio_idc 1 to 16 (the same table in both codecs).
constexpr SarRatio sar_table[] = {
    {1, 1},   {12, 11}, {10, 11}, {16, 11}, {40, 33}, {24, 11}, {20, 11}, {32, 11},
    {80, 33}, {18, 11}, {15, 11}, {64, 33}, {160, 99}, {4, 3},  {3, 2},   {2, 1},
};
constexpr uint8_t sar_table_size = sizeof sar_table / sizeof sar_table[0];

// A unit's RBSP, after its header (a parameter set's NAL header), and
// which escaped byte each of its bytes is.
struct SpsRbsp {
    uint8_t bytes[sps_bytes_most];
    uint16_t index_of[sps_bytes_most];
    uint32_t length;
};

// Unescapes the unit after its `header` bytes: false where it is longer
// than a kept set.
bool rbsp_take(const uint8_t* unit, uint32_t length, uint32_t header, SpsRbsp* rbsp) {
    if (length > sps_bytes_most || length < header) return false;
    rbsp->length = rbsp_unescape(unit + header, length - header, rbsp->bytes, rbsp->index_of);
    return true;
}

bool sps_parse(VideoCodec codec, const uint8_t* nal, uint32_t length, SpsRbsp* rbsp, SpsInfo* info) {
    if (!sps_nal_is(codec, nal, length) || !rbsp_take(nal, length, nal_header_size(codec), rbsp)) return false;
    BitReader r = {rbsp->bytes, rbsp->length, 0, false};
    *info = SpsInfo{};
    bool read = codec == codec_hevc ? hevc_sps_read(&r, info) : avc_sps_read(&r, info);
    return read && !r.overrun;
}

// The bits an in-place change may rewrite: the idc where the set uses a
// table code, the explicit numbers after the 255 where it has them.
struct AspectField {
    uint32_t bit;  // of the RBSP
    uint32_t bits;
};

AspectField aspect_field(const SpsInfo* info) {
    if (info->idc == sar_explicit) return {info->aspect_bit + 8, 32};
    return {info->aspect_bit, 8};
}

// The field's new value for the target, in the same form as the old one,
// so that the field keeps its width.
AspectEdit target_value(const SpsInfo* info, SarRatio target, uint32_t* value) {
    if (info->idc != sar_explicit) {
        uint8_t code = sar_table_code(target);
        if (code == 0) return aspect_edit_no_code;
        *value = code;
        return info->idc == code ? aspect_edit_same : aspect_edit_changed;
    }
    if (target.width > 0xFFFF || target.height > 0xFFFF || target.width == 0) return aspect_edit_no_code;
    *value = target.width << 16 | target.height;
    bool same = info->sar_width == target.width && info->sar_height == target.height;
    return same ? aspect_edit_same : aspect_edit_changed;
}

}  // namespace

bool sps_in(VideoCodec codec, const uint8_t* b, uint32_t length) {
    for (uint32_t nal = start_code_next(b, 0, length); nal < length; nal = start_code_next(b, nal, length)) {
        uint32_t n = nal_unit_length(b, nal, length);
        SpsInfo info;
        if (sps_nal_is(codec, b + nal, n) && sps_read(codec, b + nal, n, &info)) return true;
    }
    return false;
}

VideoCodec nal_codec_detect(const uint8_t* bytes, uint32_t length) {
    uint32_t code = 0;
    if (!start_code_opens(bytes, length, &code) || code >= length || nal_forbidden(bytes[code])) return codec_mpeg;
    if (sps_in(codec_avc, bytes, length)) return codec_avc;
    if (sps_in(codec_hevc, bytes, length)) return codec_hevc;
    return codec_mpeg;
}

uint32_t rbsp_unescape(const uint8_t* escaped, uint32_t length, uint8_t* rbsp, uint16_t* index_of) {
    uint32_t out = 0;
    uint32_t zeros = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = escaped[i];
        if (zeros >= 2 && b == 0x03) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        index_of[out] = static_cast<uint16_t>(i);
        rbsp[out++] = b;
    }
    return out;
}

uint32_t rbsp_escape(const uint8_t* rbsp, uint32_t length, uint8_t* escaped, uint32_t capacity) {
    uint32_t out = 0;
    uint32_t zeros = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = rbsp[i];
        if (zeros >= 2 && b <= 0x03) {
            if (out == capacity) return 0;
            escaped[out++] = 0x03;
            zeros = 0;
        }
        if (out == capacity) return 0;
        escaped[out++] = b;
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

bool vui_aspect_read(BitReader* r, SpsInfo* info) {
    info->aspect_present = bits_read(r, 1) != 0;
    if (!info->aspect_present) return !r->overrun;
    info->aspect_bit = r->bit;
    info->idc = static_cast<uint8_t>(bits_read(r, 8));
    if (info->idc == sar_explicit) {
        info->sar_width = static_cast<uint16_t>(bits_read(r, 16));
        info->sar_height = static_cast<uint16_t>(bits_read(r, 16));
    }
    return !r->overrun;
}

bool sps_read(VideoCodec codec, const uint8_t* nal, uint32_t length, SpsInfo* info) {
    SpsRbsp rbsp;
    return sps_parse(codec, nal, length, &rbsp, info);
}

SarRatio sps_sar(const SpsInfo* info) {
    if (!info->aspect_present) return {0, 0};
    if (info->idc == sar_explicit) {
        if (info->sar_width == 0 || info->sar_height == 0) return {0, 0};
        return sar_reduced(info->sar_width, info->sar_height);
    }
    return sar_of_table_code(info->idc);
}

SarRatio sar_of_table_code(uint8_t code) {
    if (code == 0 || code > sar_table_size) return {0, 0};
    return sar_table[code - 1];
}

SarRatio sar_for_display(const SpsInfo* info, uint32_t display_w, uint32_t display_h) {
    return sar_reduced(static_cast<uint64_t>(display_w) * info->height,
                       static_cast<uint64_t>(display_h) * info->width);
}

uint8_t sar_table_code(SarRatio sar) {
    if (sar.width == 0 || sar.height == 0) return 0;
    for (uint8_t k = 0; k < sar_table_size; ++k) {
        if (sar_same(sar_table[k], sar)) return static_cast<uint8_t>(k + 1);
    }
    return 0;
}

uint32_t sps_field_bytes(VideoCodec codec, const uint8_t* nal, uint32_t length, uint32_t* indices) {
    SpsRbsp rbsp;
    SpsInfo info;
    if (!sps_parse(codec, nal, length, &rbsp, &info) || !info.aspect_present) return 0;
    AspectField field = aspect_field(&info);
    return rbsp_field_bytes(nal, length, nal_header_size(codec), field.bit, field.bits, indices);
}

AspectEdit sps_aspect_edit(VideoCodec codec, const uint8_t* nal, uint32_t length, SarRatio target,
                        ByteChange* changes, uint32_t* count) {
    *count = 0;
    SpsRbsp rbsp;
    SpsInfo info;
    if (!sps_parse(codec, nal, length, &rbsp, &info)) return aspect_edit_unread;
    if (!info.aspect_present) return aspect_edit_no_field;
    uint32_t value = 0;
    AspectEdit wanted = target_value(&info, target, &value);
    if (wanted != aspect_edit_changed) return wanted;
    AspectField field = aspect_field(&info);
    return rbsp_field_edit(nal, length, nal_header_size(codec), field.bit, field.bits, value, changes, count);
}

uint32_t rbsp_field_bytes(const uint8_t* unit, uint32_t length, uint32_t header, uint32_t bit, uint32_t bits,
                          uint32_t* indices) {
    SpsRbsp rbsp;
    uint32_t last = (bit + bits - 1) / 8;
    if (!rbsp_take(unit, length, header, &rbsp) || last >= rbsp.length) return 0;
    uint32_t count = 0;
    for (uint32_t k = bit / 8; k <= last; ++k) indices[count++] = rbsp.index_of[k] + header;
    return count;
}

// The escaped bytes that differ must all hold bits of the field: a change
// in the escaping anywhere would move or alter other bytes.
AspectEdit rbsp_field_edit(const uint8_t* unit, uint32_t length, uint32_t header, uint32_t bit, uint32_t bits,
                           uint32_t value, ByteChange* changes, uint32_t* count) {
    *count = 0;
    SpsRbsp rbsp;
    uint32_t first = bit / 8;
    uint32_t last = (bit + bits - 1) / 8;
    if (!rbsp_take(unit, length, header, &rbsp) || last >= rbsp.length) return aspect_edit_unread;
    uint8_t edited[sps_bytes_most];
    uint8_t escaped[sps_bytes_most];
    std::memcpy(edited, rbsp.bytes, rbsp.length);
    bits_put(edited, bit, bits, value);
    uint32_t escaped_length = rbsp_escape(edited, rbsp.length, escaped, sizeof escaped);
    if (escaped_length != length - header) return aspect_edit_escaping;
    const uint8_t* old_bytes = unit + header;
    for (uint32_t i = 0; i < escaped_length; ++i) {
        if (old_bytes[i] == escaped[i]) continue;
        bool in_field = false;
        for (uint32_t k = first; k <= last && !in_field; ++k) in_field = rbsp.index_of[k] == i;
        if (!in_field || *count == changes_most) {
            *count = 0;
            return aspect_edit_escaping;
        }
        changes[(*count)++] = {i + header, escaped[i]};
    }
    return aspect_edit_changed;
}
