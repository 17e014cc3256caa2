#include "codecs/sps.h"

namespace {

// More macroblocks across or down than any level allows: not a parameter
// set at all.
constexpr uint32_t picture_units_most = 4096;

// The profiles whose parameter sets carry chroma format, bit depths and
// scaling matrices.
bool high_profile(uint32_t profile_idc) {
    switch (profile_idc) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86:
    case 118: case 128: case 138: case 139: case 134: case 135:
        return true;
    default:
        return false;
    }
}

void scaling_list_skip(BitReader* r, uint32_t size) {
    int32_t last = 8;
    int32_t next = 8;
    for (uint32_t j = 0; j < size && !r->overrun; ++j) {
        if (next != 0) next = (last + bits_se(r) + 256) % 256;
        last = next == 0 ? last : next;
    }
}

// The chroma format (1 unless the profile says otherwise); false when the
// fields are out of their range.
bool high_profile_read(BitReader* r, uint32_t* chroma_array_type) {
    uint32_t chroma_format_idc = bits_ue(r);
    if (chroma_format_idc > 3) return false;
    bool separate_planes = chroma_format_idc == 3 && bits_read(r, 1) != 0;
    *chroma_array_type = separate_planes ? 0 : chroma_format_idc;
    bits_ue(r);  // bit_depth_luma_minus8
    bits_ue(r);  // bit_depth_chroma_minus8
    bits_skip(r, 1);  // qpprime_y_zero_transform_bypass_flag
    if (bits_read(r, 1) != 0) {  // seq_scaling_matrix_present_flag
        uint32_t lists = chroma_format_idc != 3 ? 8 : 12;
        for (uint32_t i = 0; i < lists; ++i) {
            if (bits_read(r, 1) != 0) scaling_list_skip(r, i < 6 ? 16 : 64);
        }
    }
    return true;
}

bool picture_order_skip(BitReader* r) {
    uint32_t type = bits_ue(r);
    if (type == 0) {
        bits_ue(r);  // log2_max_pic_order_cnt_lsb_minus4
    } else if (type == 1) {
        bits_skip(r, 1);
        bits_se(r);
        bits_se(r);
        uint32_t cycle = bits_ue(r);
        if (cycle > 255) return false;
        for (uint32_t i = 0; i < cycle; ++i) bits_se(r);
    } else if (type != 2) {
        return false;
    }
    return true;
}

}  // namespace

bool avc_sps_read(BitReader* r, SpsInfo* info) {
    uint32_t profile_idc = bits_read(r, 8);
    bits_skip(r, 16);  // constraint flags, level_idc
    info->sps_id = bits_ue(r);
    if (info->sps_id > 31) return false;
    uint32_t chroma_array_type = 1;
    if (high_profile(profile_idc) && !high_profile_read(r, &chroma_array_type)) return false;
    bits_ue(r);  // log2_max_frame_num_minus4
    if (!picture_order_skip(r)) return false;
    bits_ue(r);  // max_num_ref_frames
    bits_skip(r, 1);
    uint32_t width_mbs = bits_ue(r) + 1;
    uint32_t height_units = bits_ue(r) + 1;
    bool frames_only = bits_read(r, 1) != 0;
    if (!frames_only) bits_skip(r, 1);  // mb_adaptive_frame_field_flag
    bits_skip(r, 1);                     // direct_8x8_inference_flag
    uint32_t crop[4] = {0, 0, 0, 0};     // left, right, top, bottom
    if (bits_read(r, 1) != 0) {
        for (uint32_t& edge : crop) edge = bits_ue(r);
    }
    uint32_t unit_x = chroma_array_type == 1 || chroma_array_type == 2 ? 2 : 1;
    uint32_t unit_y = (chroma_array_type == 1 ? 2 : 1) * (frames_only ? 1 : 2);
    uint64_t width = uint64_t{width_mbs} * 16;
    uint64_t height = uint64_t{height_units} * 16 * (frames_only ? 1 : 2);
    uint64_t crop_x = uint64_t{unit_x} * (uint64_t{crop[0]} + crop[1]);
    uint64_t crop_y = uint64_t{unit_y} * (uint64_t{crop[2]} + crop[3]);
    if (r->overrun || width_mbs > picture_units_most || height_units > picture_units_most ||
        crop_x >= width || crop_y >= height) {
        return false;
    }
    info->width = static_cast<uint32_t>(width - crop_x);
    info->height = static_cast<uint32_t>(height - crop_y);
    if (bits_read(r, 1) == 0) return !r->overrun;  // vui_parameters_present_flag
    return vui_aspect_read(r, info);
}
