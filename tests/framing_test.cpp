// The framing of start codes and NAL units at the edges the readers rely
// on, and sites as their constructors make them.
#include <gtest/gtest.h>

#include "codecs/display_elements.h"
#include "codecs/display_fields.h"
#include "codecs/dvd_attributes.h"
#include "codecs/framing.h"
#include "codecs/header_scan.h"
#include "codecs/nal_scan.h"
#include "codecs/pixel_aspect.h"
#include "codecs/site.h"
#include "support.h"

namespace {

uint32_t size_of(const Bytes& b) {
    return static_cast<uint32_t>(b.size());
}

TEST(Framing, StartCodesOpenAfterAnyZerosAndAreSeenAcrossPieces) {
    uint32_t at = 99;
    EXPECT_TRUE(start_code_opens(Bytes{0, 0, 0, 0, 0, 1, 0xB3}.data(), 7, &at));
    EXPECT_EQ(at, 6u);
    EXPECT_TRUE(start_code_opens(Bytes{0, 0, 1}.data(), 3, &at));
    EXPECT_EQ(at, 3u);  // the code byte is past the end
    EXPECT_FALSE(start_code_opens(Bytes{0, 1, 0xB3}.data(), 3, &at));
    EXPECT_FALSE(start_code_opens(Bytes{0, 0, 2, 1}.data(), 4, &at));

    // A code split between two pieces is seen once; an empty window sees
    // none in the first bytes that only end like one.
    const uint32_t code = 0x000001B3;
    uint32_t window = code_window_empty;
    EXPECT_EQ(code_window_seek(&window, Bytes{0x01, 0xB3, 0x00, 0x00}.data(), 4, code), 4u);
    EXPECT_NE(window, code);
    EXPECT_EQ(code_window_seek(&window, Bytes{0x01, 0xB3, 0x7F}.data(), 3, code), 2u);
    EXPECT_EQ(window, code);
    EXPECT_EQ(code_window_seek(&window, Bytes{0x7F}.data(), 1, code), 1u);
    EXPECT_NE(window, code);

    Bytes b = {0, 0, 0, 1, 0x67, 0, 0, 1};
    EXPECT_EQ(start_code_next(b.data(), 0, size_of(b)), 4u);
    EXPECT_EQ(start_code_next(b.data(), 4, size_of(b)), size_of(b));  // no byte after the last
}

TEST(Framing, NalUnitsEndAtZeroRunsAndTheirLengthFieldsReadBigEndian) {
    Bytes b = {0x67, 0, 0, 3, 1, 0, 0, 2, 9};
    EXPECT_EQ(nal_unit_length(b.data(), 0, size_of(b)), 5u);  // 00 00 03 is an escape
    EXPECT_EQ(nal_unit_length(b.data(), 8, size_of(b)), 1u);
    EXPECT_EQ(nal_length_field(Bytes{0x81}.data(), 1), 0x81u);
    EXPECT_EQ(nal_length_field(Bytes{0x01, 0x02, 0x03, 0x04}.data(), 4), 0x01020304u);
    // An HEVC set of temporal id 0 (nuh_temporal_id_plus1 0) is none.
    EXPECT_TRUE(sps_nal_is(codec_hevc, Bytes{0x42, 0x01}.data(), 2));
    EXPECT_FALSE(sps_nal_is(codec_hevc, Bytes{0x42, 0x00}.data(), 2));
    EXPECT_FALSE(sps_nal_is(codec_avc, Bytes{0x87}.data(), 1));  // forbidden bit
    EXPECT_TRUE(nal_is_picture(codec_hevc, 0x26));               // IDR, type 19
    EXPECT_FALSE(nal_is_picture(codec_avc, 0x67));
}

TEST(Sites, EachIsMadeWholeAndOnlyASecondCopyReadsAgain) {
    uint8_t bytes[8] = {0x25};
    int64_t across[3] = {100, 101, 290};
    int64_t pos[8] = {10, 11, 12, 13, 14, 15, 16, 17};
    PayloadRange range = {0, 8, 0, 0, 0};
    AspectSite set = site_parameter_set_make(codec_avc, holder_stream, bytes, across, 3, &range, set_copy_once(true));
    EXPECT_TRUE(set.split);
    EXPECT_TRUE(set.cut);
    EXPECT_EQ(set.again_from, -1);
    SetCopy second = {false, false, 200};
    set = site_parameter_set_make(codec_hevc, holder_hvcc, bytes, pos, 3, &range, second);
    EXPECT_FALSE(set.split);
    EXPECT_EQ(set.again_from, 200);

    uint8_t record[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t lengths[3] = {1, 2, 8};
    DisplayFrame frame = {bytes, 8, 3, lengths, 720, 576, 0, true};
    PairFrame pair = {bytes, pos, 8, 0, 0, lengths};
    const AspectSite made[] = {
        site_sequence_header_make(bytes, pos, &range, record),
        site_dvd_attributes_make(bytes, pos, &range),
        site_display_size_make(codec_avc, holder_clean_aperture, bytes, pos, &range, 720, 576),
        site_pixel_aspect_make(codec_hevc, &pair, pos, &range),
        site_display_elements_make(codec_mpeg, &frame, pos, &range),
    };
    for (const AspectSite& site : made) {
        EXPECT_EQ(site.again_from, -1);
        EXPECT_EQ(site.range, &range);
        EXPECT_EQ(site.pos, pos);
    }
    EXPECT_EQ(made[0].list_record[7], 8);
    EXPECT_EQ(made[2].length, 8u);
    EXPECT_EQ(made[4].size_lengths[2], 8);
    EXPECT_TRUE(made[4].growth_checksummed);
    EXPECT_EQ(made[4].picture_height, 576u);
}

}  // namespace
