#include "codecs/sps.h"

namespace {

constexpr uint32_t sub_layers_most = 7;
constexpr uint32_t rps_sets_most = 64;
constexpr uint32_t rps_pictures_most = 32;
constexpr uint32_t picture_side_most = 16888;  // 8K and more

// general_profile_space to general_level_idc, then the sub-layers'.
void profile_tier_level_skip(BitReader* r, uint32_t sub_layers) {
    bits_skip(r, 96);
    bool profile[sub_layers_most] = {};
    bool level[sub_layers_most] = {};
    for (uint32_t i = 0; i < sub_layers; ++i) {
        profile[i] = bits_read(r, 1) != 0;
        level[i] = bits_read(r, 1) != 0;
    }
    if (sub_layers > 0) bits_skip(r, 2 * (8 - sub_layers));
    for (uint32_t i = 0; i < sub_layers; ++i) {
        if (profile[i]) bits_skip(r, 88);
        if (level[i]) bits_skip(r, 8);
    }
}

void scaling_list_data_skip(BitReader* r) {
    for (uint32_t size_id = 0; size_id < 4; ++size_id) {
        for (uint32_t matrix_id = 0; matrix_id < 6; matrix_id += size_id == 3 ? 3 : 1) {
            if (bits_read(r, 1) == 0) {  // scaling_list_pred_mode_flag
                bits_ue(r);
                continue;
            }
            uint32_t coefficients = size_id == 0 ? 16 : 64;
            if (size_id > 1) bits_se(r);  // scaling_list_dc_coef_minus8
            for (uint32_t i = 0; i < coefficients && !r->overrun; ++i) bits_se(r);
        }
    }
}

// The delta picture order counts of one short-term reference picture set:
// the next set may be predicted from it, and how many of its fields it has
// follows from their values.
struct ReferenceSet {
    uint32_t negative;
    uint32_t positive;
    int32_t delta_s0[rps_pictures_most];
    int32_t delta_s1[rps_pictures_most];
};

bool delta_add(int32_t* deltas, uint32_t* count, int32_t delta) {
    if (*count == rps_pictures_most) return false;
    deltas[(*count)++] = delta;
    return true;
}

// A set predicted from the one before it, derived as a decoder does.
bool predicted_set_read(BitReader* r, const ReferenceSet& ref, ReferenceSet* set) {
    bool sign = bits_read(r, 1) != 0;
    int64_t magnitude = int64_t{bits_ue(r)} + 1;
    if (magnitude > 0x8000) return false;
    int32_t delta_rps = static_cast<int32_t>(sign ? -magnitude : magnitude);
    bool use_delta[2 * rps_pictures_most + 1] = {};
    uint32_t total = ref.negative + ref.positive;
    for (uint32_t j = 0; j <= total; ++j) {
        bool used = bits_read(r, 1) != 0;
        use_delta[j] = used || bits_read(r, 1) != 0;
    }
    bool fits = true;
    set->negative = 0;
    for (uint32_t j = ref.positive; j-- > 0;) {
        int32_t d = ref.delta_s1[j] + delta_rps;
        if (d < 0 && use_delta[ref.negative + j]) fits &= delta_add(set->delta_s0, &set->negative, d);
    }
    if (delta_rps < 0 && use_delta[total]) fits &= delta_add(set->delta_s0, &set->negative, delta_rps);
    for (uint32_t j = 0; j < ref.negative; ++j) {
        int32_t d = ref.delta_s0[j] + delta_rps;
        if (d < 0 && use_delta[j]) fits &= delta_add(set->delta_s0, &set->negative, d);
    }
    set->positive = 0;
    for (uint32_t j = ref.negative; j-- > 0;) {
        int32_t d = ref.delta_s0[j] + delta_rps;
        if (d > 0 && use_delta[j]) fits &= delta_add(set->delta_s1, &set->positive, d);
    }
    if (delta_rps > 0 && use_delta[total]) fits &= delta_add(set->delta_s1, &set->positive, delta_rps);
    for (uint32_t j = 0; j < ref.positive; ++j) {
        int32_t d = ref.delta_s1[j] + delta_rps;
        if (d > 0 && use_delta[ref.negative + j]) fits &= delta_add(set->delta_s1, &set->positive, d);
    }
    return fits;
}

bool explicit_set_read(BitReader* r, ReferenceSet* set) {
    set->negative = bits_ue(r);
    set->positive = bits_ue(r);
    if (set->negative > rps_pictures_most || set->positive > rps_pictures_most) return false;
    int64_t poc = 0;
    for (uint32_t i = 0; i < set->negative && !r->overrun; ++i) {
        poc -= int64_t{bits_ue(r)} + 1;
        bits_skip(r, 1);  // used_by_curr_pic_s0_flag
        if (poc < -0x8000) return false;
        set->delta_s0[i] = static_cast<int32_t>(poc);
    }
    poc = 0;
    for (uint32_t i = 0; i < set->positive && !r->overrun; ++i) {
        poc += int64_t{bits_ue(r)} + 1;
        bits_skip(r, 1);
        if (poc > 0x8000) return false;
        set->delta_s1[i] = static_cast<int32_t>(poc);
    }
    return true;
}

// One st_ref_pic_set() of the parameter set.
bool short_term_set_read(BitReader* r, uint32_t index, ReferenceSet* sets) {
    bool predicted = index != 0 && bits_read(r, 1) != 0;
    return predicted ? predicted_set_read(r, sets[index - 1], &sets[index])
                     : explicit_set_read(r, &sets[index]);
}

// From the bit depths to the VUI flag. False when a count is out of range.
bool coding_tools_skip(BitReader* r, uint32_t sub_layers) {
    bits_ue(r);  // bit_depth_luma_minus8
    bits_ue(r);  // bit_depth_chroma_minus8
    uint32_t poc_lsb_bits = bits_ue(r) + 4;
    if (poc_lsb_bits > 16) return false;
    bool all_sub_layers = bits_read(r, 1) != 0;
    for (uint32_t i = all_sub_layers ? 0 : sub_layers; i <= sub_layers; ++i) {
        bits_ue(r);
        bits_ue(r);
        bits_ue(r);
    }
    for (int i = 0; i < 6; ++i) bits_ue(r);  // block sizes and transform depths
    if (bits_read(r, 1) != 0 && bits_read(r, 1) != 0) scaling_list_data_skip(r);
    bits_skip(r, 2);  // amp_enabled_flag, sample_adaptive_offset_enabled_flag
    if (bits_read(r, 1) != 0) {  // pcm_enabled_flag
        bits_skip(r, 8);
        bits_ue(r);
        bits_ue(r);
        bits_skip(r, 1);
    }
    uint32_t sets = bits_ue(r);
    if (sets > rps_sets_most) return false;
    ReferenceSet reference_sets[rps_sets_most];
    for (uint32_t i = 0; i < sets && !r->overrun; ++i) {
        if (!short_term_set_read(r, i, reference_sets)) return false;
    }
    if (bits_read(r, 1) != 0) {  // long_term_ref_pics_present_flag
        uint32_t long_term = bits_ue(r);
        if (long_term > 32) return false;
        for (uint32_t i = 0; i < long_term && !r->overrun; ++i) bits_skip(r, poc_lsb_bits + 1);
    }
    bits_skip(r, 2);  // temporal_mvp, strong_intra_smoothing
    return true;
}

}  // namespace

bool hevc_sps_read(BitReader* r, SpsInfo* info) {
    bits_skip(r, 4);  // sps_video_parameter_set_id
    uint32_t sub_layers = bits_read(r, 3);
    if (sub_layers >= sub_layers_most) return false;
    bits_skip(r, 1);
    profile_tier_level_skip(r, sub_layers);
    info->sps_id = bits_ue(r);
    if (info->sps_id > 15) return false;
    uint32_t chroma_format_idc = bits_ue(r);
    if (chroma_format_idc > 3) return false;
    bool separate_planes = chroma_format_idc == 3 && bits_read(r, 1) != 0;
    uint32_t chroma_array_type = separate_planes ? 0 : chroma_format_idc;
    uint32_t width = bits_ue(r);
    uint32_t height = bits_ue(r);
    uint32_t window[4] = {0, 0, 0, 0};  // left, right, top, bottom
    if (bits_read(r, 1) != 0) {
        for (uint32_t& edge : window) edge = bits_ue(r);
    }
    uint32_t unit_x = chroma_array_type == 1 || chroma_array_type == 2 ? 2 : 1;
    uint32_t unit_y = chroma_array_type == 1 ? 2 : 1;
    uint64_t crop_x = uint64_t{unit_x} * (uint64_t{window[0]} + window[1]);
    uint64_t crop_y = uint64_t{unit_y} * (uint64_t{window[2]} + window[3]);
    if (r->overrun || width > picture_side_most || height > picture_side_most || crop_x >= width ||
        crop_y >= height) {
        return false;
    }
    info->width = width - static_cast<uint32_t>(crop_x);
    info->height = height - static_cast<uint32_t>(crop_y);
    if (!coding_tools_skip(r, sub_layers)) return false;
    if (bits_read(r, 1) == 0) return !r->overrun;  // vui_parameters_present_flag
    return vui_aspect_read(r, info);
}
