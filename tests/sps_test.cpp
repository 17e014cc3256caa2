// The parameter set readers and the in-place aspect change, on parameter
// sets written here bit by bit, so that where each field lies is known
// apart from the tool's reading.
#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/sps.h"
#include "support.h"

namespace {

struct BitWriter {
    std::vector<bool> bits;
    void u(uint32_t n, uint32_t value) {
        for (uint32_t k = n; k-- > 0;) bits.push_back(((value >> k) & 1) != 0);
    }
    void ue(uint32_t value) {
        uint32_t n = 0;
        while ((value + 1) >> (n + 1) != 0) ++n;
        u(n, 0);
        u(n + 1, value + 1);
    }
    void se(int32_t value) { ue(value > 0 ? 2 * value - 1 : -2 * value); }
    size_t at() const { return bits.size(); }
    // With the stop bit and the alignment zeros.
    Bytes rbsp() {
        u(1, 1);
        while (bits.size() % 8 != 0) bits.push_back(false);
        Bytes out(bits.size() / 8, 0);
        for (size_t i = 0; i < bits.size(); ++i) {
            if (bits[i]) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
        return out;
    }
};

// Emulation prevention as the H.264 and H.265 texts give it.
Bytes escaped(const Bytes& rbsp) {
    Bytes out;
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros == 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

struct Aspect {
    bool present;
    uint8_t idc;
    uint16_t sar_width;
    uint16_t sar_height;
};

// The VUI's aspect fields, and where aspect_ratio_idc begins.
void vui_aspect_write(BitWriter* w, Aspect aspect, size_t* aspect_bit) {
    w->u(1, aspect.present);
    *aspect_bit = w->at();
    if (!aspect.present) return;
    w->u(8, aspect.idc);
    if (aspect.idc == 255) {
        w->u(16, aspect.sar_width);
        w->u(16, aspect.sar_height);
    }
}

// The High profile's fields: 4:2:0, 8 bits, and two scaling lists, one
// that stops at once (the default matrix) and one of all 64 entries.
void avc_high_fields(BitWriter* w) {
    w->ue(1);
    w->ue(0);
    w->ue(0);
    w->u(1, 0);
    w->u(1, 1);  // seq_scaling_matrix_present_flag
    for (int i = 0; i < 8; ++i) {
        w->u(1, i == 0 || i == 6);
        if (i == 0) w->se(-8);  // next scale 0: no more deltas
        if (i == 6) {
            for (int j = 0; j < 64; ++j) w->se(j % 2 == 0 ? 3 : -2);
        }
    }
}

// A Main- or High-profile H.264 parameter set of 720x480, cropped by two
// samples a side, with its aspect field: the NAL unit, and the bit of the
// RBSP where aspect_ratio_idc begins.
Bytes avc_sps(uint32_t id, uint32_t frame_num_bits, Aspect aspect, size_t* aspect_bit, bool high = false) {
    BitWriter w;
    w.u(8, high ? 100 : 77);  // profile_idc
    w.u(8, 0);
    w.u(8, 40);
    w.ue(id);
    if (high) avc_high_fields(&w);
    w.ue(frame_num_bits - 4);
    w.ue(0);  // pic_order_cnt_type
    w.ue(4);
    w.ue(3);
    w.u(1, 0);
    w.ue(45 - 1);  // 720 samples
    w.ue(30 - 1);  // 480 lines
    w.u(1, 1);     // frame_mbs_only_flag
    w.u(1, 1);
    w.u(1, 1);  // frame_cropping_flag: 1 unit (2 samples) each side
    for (int k = 0; k < 4; ++k) w.ue(1);
    w.u(1, 1);  // vui_parameters_present_flag
    vui_aspect_write(&w, aspect, aspect_bit);
    for (int k = 0; k < 9; ++k) w.u(1, 0);  // the other VUI flags
    return Bytes{0x67} + escaped(w.rbsp());
}

// An HEVC parameter set of 1920x1080 with four short-term reference
// picture sets, the later three predicted from the one before: how many
// flags each holds follows from the deltas of the one before it.
Bytes hevc_sps(Aspect aspect, size_t* aspect_bit) {
    BitWriter w;
    w.u(4, 0);
    w.u(3, 1);  // sps_max_sub_layers_minus1
    w.u(1, 1);
    w.u(32, 0x01600000);  // general profile space to compatibility flags
    w.u(32, 0x90000000);
    w.u(32, 0x0000005D);  // the rest of the constraint flags, level 93
    w.u(1, 1);            // sub_layer_profile_present_flag
    w.u(1, 0);
    w.u(14, 0);  // alignment bits for sub-layers 1 to 7
    w.u(32, 0);  // the sub-layer's 88 bits of profile
    w.u(32, 0);
    w.u(24, 0);
    w.ue(0);     // sps_seq_parameter_set_id
    w.ue(1);     // 4:2:0
    w.ue(1920);
    w.ue(1088);
    w.u(1, 1);  // conformance window: 8 lines off the bottom
    w.ue(0);
    w.ue(0);
    w.ue(0);
    w.ue(4);
    w.ue(0);
    w.ue(0);
    w.ue(4);    // log2_max_pic_order_cnt_lsb_minus4
    w.u(1, 1);  // sub-layer ordering for both
    for (int k = 0; k < 6; ++k) w.ue(k % 3);
    for (int k = 0; k < 6; ++k) w.ue(1);
    w.u(1, 0);  // scaling_list_enabled_flag
    w.u(1, 1);
    w.u(1, 1);
    w.u(1, 0);  // pcm
    w.ue(4);    // num_short_term_ref_pic_sets
    w.ue(2);    // set 0: two pictures before, none after
    w.ue(0);
    w.ue(0);  // -1
    w.u(1, 1);
    w.ue(1);  // -3
    w.u(1, 1);
    // Set 1 from set 0 moved by -1: -2, -4 and -1 itself, so 3 deltas.
    w.u(1, 1);
    w.u(1, 1);
    w.ue(0);
    for (int k = 0; k < 3; ++k) w.u(1, 1);
    // Set 2 from set 1 moved by +2: -1 and -4 give +1 and -2, and +2 is
    // the move itself; -2 gives 0, which no flag can keep: 3 deltas.
    w.u(1, 1);
    w.u(1, 0);
    w.ue(1);
    w.u(1, 1);  // -1 + 2 = +1, used
    w.u(1, 0);  // -2 + 2 = 0: neither used nor a delta
    w.u(1, 0);
    w.u(1, 0);  // -4 + 2 = -2, not used but kept
    w.u(1, 1);
    w.u(1, 1);  // +2 itself
    // Set 3 from set 2 moved by -1: 4 flags.
    w.u(1, 1);
    w.u(1, 1);
    w.ue(0);
    for (int k = 0; k < 4; ++k) w.u(1, 1);
    w.u(1, 0);  // long_term_ref_pics_present_flag
    w.u(1, 1);
    w.u(1, 1);
    w.u(1, 1);  // vui_parameters_present_flag
    vui_aspect_write(&w, aspect, aspect_bit);
    for (int k = 0; k < 12; ++k) w.u(1, 0);
    return Bytes{0x42, 0x01} + escaped(w.rbsp());
}

// The bytes an in-place change gives, as (index, value).
std::vector<std::pair<uint32_t, uint8_t>> edit_of(VideoCodec codec, const Bytes& nal, SarRatio target,
                                                  AspectEdit* result) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    *result = sps_aspect_edit(codec, nal.data(), static_cast<uint32_t>(nal.size()), target, changes, &count);
    std::vector<std::pair<uint32_t, uint8_t>> out;
    for (uint32_t k = 0; k < count; ++k) out.push_back({changes[k].index, changes[k].value});
    return out;
}

std::vector<std::pair<uint32_t, uint8_t>> difference(const Bytes& from, const Bytes& to) {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    for (uint32_t i = 0; i < from.size(); ++i) {
        if (from[i] != to[i]) out.push_back({i, to[i]});
    }
    return out;
}

}  // namespace

TEST(Sps, EscapingIsUndoneAndRedoneWithTheIndexOfEachByte) {
    const Bytes cases[] = {{0, 0, 0}, {0, 0, 1, 0, 0, 2}, {0, 0, 3}, {0, 0, 4, 0, 0}, {0, 0, 0, 0, 0}, {5}};
    for (const Bytes& rbsp : cases) {
        Bytes escaped_bytes = escaped(rbsp);
        uint8_t out[16];
        uint16_t index_of[16];
        uint32_t n = rbsp_unescape(escaped_bytes.data(), static_cast<uint32_t>(escaped_bytes.size()), out, index_of);
        ASSERT_EQ(Bytes(out, out + n), rbsp);
        for (uint32_t k = 0; k < n; ++k) EXPECT_EQ(escaped_bytes[index_of[k]], rbsp[k]);
        uint8_t again[16];
        uint32_t m = rbsp_escape(rbsp.data(), n, again, sizeof again);
        EXPECT_EQ(Bytes(again, again + m), escaped_bytes);
    }
}

TEST(Sps, SampleAspectOfEachDisplayAspectAndItsTableCode) {
    struct Case {
        uint32_t width, height, display_w, display_h;
        SarRatio sar;
        uint8_t code;
    };
    const Case cases[] = {
        {1440, 1080, 16, 9, {4, 3}, 14},  {1440, 1080, 4, 3, {1, 1}, 1},  {704, 480, 4, 3, {10, 11}, 3},
        {704, 480, 16, 9, {40, 33}, 5},   {704, 576, 4, 3, {12, 11}, 2},  {704, 576, 16, 9, {16, 11}, 4},
        {720, 480, 16, 9, {32, 27}, 0},   {720, 576, 4, 3, {16, 15}, 0},  {1920, 1080, 16, 9, {1, 1}, 1},
        {1920, 1080, 221, 100, {1989, 1600}, 0},
    };
    for (const Case& c : cases) {
        SpsInfo info{};
        info.width = c.width;
        info.height = c.height;
        SarRatio sar = sar_for_display(&info, c.display_w, c.display_h);
        EXPECT_EQ(sar.width, c.sar.width) << c.width << "x" << c.height;
        EXPECT_EQ(sar.height, c.sar.height) << c.width << "x" << c.height;
        EXPECT_EQ(sar_table_code(sar), c.code) << c.width << "x" << c.height;
    }
}

TEST(Sps, ReadersFindTheIdThePictureAfterCroppingAndTheAspectField) {
    size_t bit = 0;
    Bytes avc = avc_sps(3, 6, {true, 2, 0, 0}, &bit);
    SpsInfo info{};
    ASSERT_TRUE(sps_read(codec_avc, avc.data(), static_cast<uint32_t>(avc.size()), &info));
    EXPECT_EQ(info.sps_id, 3u);
    EXPECT_EQ(info.width, 716u);
    EXPECT_EQ(info.height, 476u);
    EXPECT_TRUE(info.aspect_present);
    EXPECT_EQ(info.aspect_bit, bit);
    EXPECT_EQ(info.idc, 2);
    Bytes high = avc_sps(3, 6, {true, 2, 0, 0}, &bit, true);
    ASSERT_TRUE(sps_read(codec_avc, high.data(), static_cast<uint32_t>(high.size()), &info));
    EXPECT_EQ(info.aspect_bit, bit);
    EXPECT_EQ(info.width, 716u);

    Bytes hevc = hevc_sps({true, 255, 4, 3}, &bit);
    ASSERT_TRUE(sps_read(codec_hevc, hevc.data(), static_cast<uint32_t>(hevc.size()), &info));
    EXPECT_EQ(info.width, 1920u);
    EXPECT_EQ(info.height, 1080u);
    EXPECT_EQ(info.aspect_bit, bit);
    EXPECT_EQ(info.sar_width, 4);
    EXPECT_EQ(info.sar_height, 3);

    // Cut short before the aspect, or no parameter set of the codec.
    EXPECT_FALSE(sps_read(codec_avc, avc.data(), 6, &info));
    EXPECT_FALSE(sps_read(codec_hevc, avc.data(), static_cast<uint32_t>(avc.size()), &info));
    EXPECT_FALSE(sps_read(codec_avc, hevc.data(), static_cast<uint32_t>(hevc.size()), &info));
}

// Every alignment of the field and many old and new aspects, against the
// parameter set written afresh with the new aspect: the change is made
// exactly when the escaped set keeps its length and differs only in the
// field's bytes, and then it gives those bytes.
TEST(Sps, AnInPlaceChangeIsTheNewSetOrNothing) {
    const Aspect olds[] = {{true, 1, 0, 0}, {true, 14, 0, 0}, {true, 255, 1, 256}, {true, 255, 0, 1}, {true, 255, 8, 9}};
    const SarRatio targets[] = {{1, 1}, {4, 3}, {10, 11}, {256, 1}, {1, 256}, {8, 9}, {65536, 1}};
    int changed = 0;
    int refused_for_escaping = 0;
    for (uint32_t id = 0; id < 8; ++id) {
        for (const Aspect& old : olds) {
            for (SarRatio target : targets) {
                size_t bit = 0;
                Bytes nal = avc_sps(id, 4 + id, old, &bit);
                uint8_t code = sar_table_code(target);
                Aspect fresh = old.idc == 255 ? Aspect{true, 255, static_cast<uint16_t>(target.width),
                                                       static_cast<uint16_t>(target.height)}
                                              : Aspect{true, code, 0, 0};
                Bytes wanted = avc_sps(id, 4 + id, fresh, &bit);
                AspectEdit result;
                auto edit = edit_of(codec_avc, nal, target, &result);
                if ((old.idc != 255 && code == 0) || target.width > 0xFFFF) {
                    EXPECT_EQ(result, aspect_edit_no_code);
                } else if (wanted == nal) {
                    EXPECT_EQ(result, aspect_edit_same);
                } else if (wanted.size() != nal.size()) {
                    EXPECT_EQ(result, aspect_edit_escaping);
                    ++refused_for_escaping;
                } else {
                    auto diff = difference(nal, wanted);
                    // Bytes outside the field differ where the escaping moved.
                    size_t first = 1 + bit / 8;
                    bool only_field = diff.front().first >= first && diff.back().first <= first + 6;
                    if (only_field && result == aspect_edit_changed) {
                        EXPECT_EQ(edit, diff);
                        ++changed;
                    } else {
                        EXPECT_EQ(result, aspect_edit_escaping);
                        ++refused_for_escaping;
                    }
                }
            }
        }
    }
    // Both kinds occur in the table: an aspect of 256:1 or 1:256 writes
    // 00 01 00 or 01 00 00 into the set.
    EXPECT_GT(changed, 50);
    EXPECT_GT(refused_for_escaping, 0);
}

TEST(Sps, WhatCannotChangeInPlaceIsSaid) {
    size_t bit = 0;
    AspectEdit result;
    edit_of(codec_avc, avc_sps(0, 4, {false, 0, 0, 0}, &bit), {4, 3}, &result);
    EXPECT_EQ(result, aspect_edit_no_field);
    edit_of(codec_avc, avc_sps(0, 4, {true, 1, 0, 0}, &bit), {32, 27}, &result);
    EXPECT_EQ(result, aspect_edit_no_code);
    edit_of(codec_hevc, avc_sps(0, 4, {true, 1, 0, 0}, &bit), {4, 3}, &result);
    EXPECT_EQ(result, aspect_edit_unread);

    Bytes hevc = hevc_sps({true, 1, 0, 0}, &bit);
    auto edit = edit_of(codec_hevc, hevc, {4, 3}, &result);
    ASSERT_EQ(result, aspect_edit_changed);
    Bytes wanted = hevc_sps({true, 14, 0, 0}, &bit);
    EXPECT_EQ(edit, difference(hevc, wanted));
    uint32_t indices[changes_most];
    uint32_t count = sps_field_bytes(codec_hevc, hevc.data(), static_cast<uint32_t>(hevc.size()), indices);
    EXPECT_EQ(count, bit % 8 == 0 ? 1u : 2u);
    for (const auto& change : edit) {
        EXPECT_NE(std::find(indices, indices + count, change.first), indices + count);
    }
}

TEST(Sps, AnnexBStreamsAreToldByTheirParameterSets) {
    size_t bit = 0;
    Bytes avc = Bytes{0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1} + avc_sps(0, 4, {true, 1, 0, 0}, &bit) + Bytes{0, 0, 1, 0x68};
    Bytes hevc = Bytes{0, 0, 1, 0x46, 0x01, 0x50, 0, 0, 1} + hevc_sps({true, 1, 0, 0}, &bit) + Bytes{0, 0, 1};
    EXPECT_EQ(nal_codec_detect(avc.data(), static_cast<uint32_t>(avc.size())), codec_avc);
    EXPECT_EQ(nal_codec_detect(hevc.data(), static_cast<uint32_t>(hevc.size())), codec_hevc);
    // MPEG video, a program stream, and a NAL stream without a set that reads.
    const Bytes others[] = {{0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x24}, {0, 0, 1, 0xBA, 0x44}, {0, 0, 1, 0x67, 0x42}};
    for (const Bytes& other : others) {
        EXPECT_EQ(nal_codec_detect(other.data(), static_cast<uint32_t>(other.size())), codec_mpeg);
    }
}
