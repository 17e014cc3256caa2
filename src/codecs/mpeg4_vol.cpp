#include "codecs/mpeg4_vol.h"

#include "codecs/bit_reader.h"
#include "codecs/sar.h"

namespace {

// Sample aspects of aspect_ratio_info 1 to 5.
constexpr SarRatio vol_table[] = {{1, 1}, {12, 11}, {10, 11}, {16, 11}, {40, 33}};
constexpr uint8_t vol_table_size = sizeof vol_table / sizeof vol_table[0];

enum VolShape : uint32_t { shape_rectangular = 0, shape_binary_only = 2, shape_grayscale = 3 };
constexpr uint32_t pair_bits = 16;  // par_width and par_height

uint8_t vol_table_code(SarRatio sar) {
    if (sar.width == 0 || sar.height == 0) return 0;
    for (uint8_t k = 0; k < vol_table_size; ++k) {
        if (sar_same(vol_table[k], sar)) return static_cast<uint8_t>(k + 1);
    }
    return 0;
}

// The bits needed for a time increment below the resolution, at least one.
uint32_t increment_bits(uint32_t resolution) {
    uint32_t bits = 1;
    while (bits < 16 && (resolution - 1) >> bits != 0) ++bits;
    return bits;
}

void vbv_skip(BitReader* r) {
    // bit rate 15+1+15+1, buffer size 15+1+3, occupancy 11+1+15+1
    bits_skip(r, 79);
}

// From vol_control_parameters to the picture size, which only a
// rectangular shape records.
void picture_read(BitReader* r, uint32_t verid, VolInfo* info) {
    if (bits_read(r, 1) != 0) {
        bits_skip(r, 3);  // chroma_format, low_delay
        if (bits_read(r, 1) != 0) vbv_skip(r);
    }
    uint32_t shape = bits_read(r, 2);
    if (shape == shape_grayscale && verid != 1) bits_skip(r, 4);
    bits_skip(r, 1);
    uint32_t resolution = bits_read(r, 16);
    bits_skip(r, 1);
    if (bits_read(r, 1) != 0) bits_skip(r, increment_bits(resolution));
    if (shape != shape_rectangular || resolution == 0) return;
    bits_skip(r, 1);
    uint32_t width = bits_read(r, 13);
    bits_skip(r, 1);
    uint32_t height = bits_read(r, 13);
    if (r->overrun) return;
    info->width = width;
    info->height = height;
}

// The bits an in-place change may rewrite: the code, or the pair after a 15.
void field_of(const VolInfo* info, uint32_t* bit, uint32_t* bits) {
    bool extended = info->aspect_info == vol_aspect_extended;
    *bit = extended ? info->aspect_bit + 4 : info->aspect_bit;
    *bits = extended ? pair_bits : 4;
}

}  // namespace

SarRatio par_code_sar(uint8_t code, uint8_t par_width, uint8_t par_height) {
    if (code == vol_aspect_extended) return sar_reduced(par_width, par_height);
    if (code == 0 || code > vol_table_size) return {0, 0};
    return vol_table[code - 1];
}

AspectEdit par_code_target(uint8_t code, SarRatio now, SarRatio target, uint32_t* value) {
    if (code != vol_aspect_extended) {
        uint8_t table = vol_table_code(target);
        if (table == 0) return aspect_edit_no_code;
        *value = table;
        return code == table ? aspect_edit_same : aspect_edit_changed;
    }
    SarRatio pair = sar_reduced(target.width, target.height);
    if (pair.width == 0 || pair.width > 0xFF || pair.height > 0xFF) return aspect_edit_no_code;
    *value = pair.width << 8 | pair.height;
    return sar_same(now, pair) ? aspect_edit_same : aspect_edit_changed;
}

uint32_t par_field_changes(const uint8_t* bytes, uint32_t length, uint32_t bit, uint32_t bits, uint32_t value,
                           ByteChange* changes) {
    uint8_t edited[vol_bytes_most];
    for (uint32_t k = 0; k < length; ++k) edited[k] = bytes[k];
    bits_put(edited, bit, bits, value);
    uint32_t count = 0;
    for (uint32_t k = bit / 8; k <= (bit + bits - 1) / 8; ++k) {
        if (edited[k] != bytes[k]) changes[count++] = {k, edited[k]};
    }
    return count;
}

bool vol_read(const uint8_t* bytes, uint32_t length, VolInfo* info) {
    *info = VolInfo{};
    if (length == 0 || !vol_code_is(bytes[0])) return false;
    BitReader r = {bytes, length, 8, false};
    bits_skip(&r, 9);  // random_accessible_vol, video_object_type_indication
    uint32_t verid = 1;
    if (bits_read(&r, 1) != 0) {
        verid = bits_read(&r, 4);
        bits_skip(&r, 3);  // video_object_layer_priority
    }
    info->aspect_bit = r.bit;
    info->aspect_info = static_cast<uint8_t>(bits_read(&r, 4));
    if (info->aspect_info == vol_aspect_extended) {
        info->par_width = static_cast<uint8_t>(bits_read(&r, 8));
        info->par_height = static_cast<uint8_t>(bits_read(&r, 8));
    }
    if (r.overrun) return false;
    picture_read(&r, verid, info);
    return true;
}

SarRatio vol_sar(const VolInfo* info) {
    return par_code_sar(info->aspect_info, info->par_width, info->par_height);
}

AspectEdit vol_aspect_edit(const uint8_t* bytes, uint32_t length, SarRatio target, ByteChange* changes,
                           uint32_t* count) {
    *count = 0;
    VolInfo info;
    if (length > vol_bytes_most || !vol_read(bytes, length, &info)) return aspect_edit_unread;
    uint32_t value = 0;
    AspectEdit edit = par_code_target(info.aspect_info, vol_sar(&info), target, &value);
    if (edit != aspect_edit_changed) return edit;
    uint32_t bit = 0;
    uint32_t bits = 0;
    field_of(&info, &bit, &bits);
    *count = par_field_changes(bytes, length, bit, bits, value, changes);
    return aspect_edit_changed;
}

uint32_t vol_field_bytes(const uint8_t* bytes, uint32_t length, uint32_t* indices) {
    VolInfo info;
    if (length > vol_bytes_most || !vol_read(bytes, length, &info)) return 0;
    uint32_t bit = 0;
    uint32_t bits = 0;
    field_of(&info, &bit, &bits);
    uint32_t count = 0;
    for (uint32_t k = bit / 8; k <= (bit + bits - 1) / 8; ++k) indices[count++] = k;
    return count;
}
