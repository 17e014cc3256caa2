#include <gtest/gtest.h>

#include "analysis/header_analysis.h"
#include "support.h"

namespace {

SequenceHeaderInfo analyse(const Bytes& head, const Bytes& tail, int64_t tail_base) {
    SequenceHeaderInfo info = {};
    info.head_len = static_cast<uint32_t>(head.size());
    info.tail_len = static_cast<uint32_t>(tail.size());
    info.tail_base = tail_base;
    header_seek(head.data(), tail.data(), &info);
    header_parse(head.data(), tail.data(), &info);
    return info;
}

const Bytes pack_2_at_90000 = {0, 0, 1, 0xBA, 0x44, 0x00, 0x16, 0xFC, 0x84, 0x01, 0x01, 0x89, 0xC3, 0xF8};
const Bytes pack_2_at_0 = {0, 0, 1, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
const Bytes pal_header = {0, 0, 1, 0xB3, 0x2D, 0x02, 0x40, 0x33, 0x17, 0xED, 0x23, 0x80};
const Bytes extension = {0, 0, 1, 0xB5, 0x14, 0x8A};
const Bytes gop = {0, 0, 1, 0xB8, 0x00, 0x08};

TEST(PackHeaderParse, VersionAndClockExamples) {
    struct Case {
        uint8_t bytes[5];
        int32_t version;
        uint32_t clock;
    } cases[] = {
        {{0x44, 0x00, 0x16, 0xFC, 0x84}, 2, 90000},
        {{0x21, 0x00, 0x05, 0xBF, 0x21}, 1, 90000},
        {{0x64, 0x00, 0x04, 0x00, 0x2C}, 2, 5},  // clock bit 32 dropped
        {{0x00, 0x12, 0x34, 0x56, 0x78}, 0, 1},  // neither pattern
    };
    for (const Case& c : cases) {
        PackHeaderInfo pack = {0, 0};
        EXPECT_EQ(pack_header_parse(&pack, c.bytes), 0);
        EXPECT_EQ(pack.version, c.version);
        EXPECT_EQ(pack.clock, c.clock);
    }
}

TEST(PackHeaderParse, KnownVersionIsKept) {
    const uint8_t mpeg1_bytes[5] = {0x21, 0x00, 0x05, 0xBF, 0x21};
    PackHeaderInfo pack = {2, 0};
    pack_header_parse(&pack, mpeg1_bytes);
    EXPECT_EQ(pack.version, 2);
    EXPECT_EQ(scr_parse(mpeg1_bytes, 3), 1u);
}

TEST(SequenceHeaderParse, Examples) {
    const uint8_t pal[8] = {0x2D, 0x02, 0x40, 0x33, 0x17, 0xED, 0x23, 0x80};
    const uint8_t cif[8] = {0x16, 0x01, 0x20, 0x83, 0x02, 0xD0, 0x20, 0xA0};
    SequenceHeaderFields f = {};
    sequence_header_parse(&f, pal);
    EXPECT_EQ(f.horizontal_size, 720);
    EXPECT_EQ(f.vertical_size, 576);
    EXPECT_EQ(f.aspect_code, 3);
    EXPECT_EQ(f.frame_rate_code, 3);
    EXPECT_EQ(f.bit_rate_value, 24500u);
    sequence_header_parse(&f, cif);
    EXPECT_EQ(f.horizontal_size, 352);
    EXPECT_EQ(f.vertical_size, 288);
    EXPECT_EQ(f.aspect_code, 8);
    EXPECT_EQ(f.frame_rate_code, 3);
    EXPECT_EQ(f.bit_rate_value, 2880u);
}

TEST(HeaderAnalysis, ProgramStreamPositionsDurationAndVersion) {
    Bytes head = pack_2_at_0 + pal_header + extension + gop + Bytes(20, 0xFF);
    Bytes tail = Bytes{0x77} + pack_2_at_0 + gop + pack_2_at_90000 + Bytes{0, 0};
    SequenceHeaderInfo info = analyse(head, tail, 5000);
    EXPECT_EQ(info.not_mpeg, 0);
    EXPECT_EQ(info.first_pack_pos, 0);
    EXPECT_EQ(info.first_seqhdr_pos, 14);
    EXPECT_EQ(info.first_ext_pos, 26);
    EXPECT_EQ(info.last_pack_pos, 5000 + 1 + 14 + 6);  // the last of two packs
    EXPECT_DOUBLE_EQ(info.duration_sec, 1.0);
    EXPECT_EQ(info.horizontal_size, 720);
    EXPECT_EQ(info.aspect_code, 3);
    EXPECT_EQ(info.mpeg_version, 2);
}

TEST(HeaderAnalysis, ElementaryStreamHasNoDuration) {
    Bytes mpeg2 = pal_header + extension + gop;
    SequenceHeaderInfo info = analyse(mpeg2, mpeg2, 0);
    EXPECT_EQ(info.not_mpeg, 0);
    EXPECT_EQ(info.first_seqhdr_pos, 0);
    EXPECT_EQ(info.first_pack_pos, -1);
    EXPECT_EQ(info.duration_sec, 0.0);
    EXPECT_EQ(info.mpeg_version, 2);

    Bytes mpeg1 = pal_header + gop;
    EXPECT_EQ(analyse(mpeg1, mpeg1, 0).mpeg_version, 1);
}

TEST(HeaderAnalysis, TheVideoDecidesTheVersionWhateverThePacksSay) {
    const Bytes mpeg1_pack = {0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91};
    // MPEG-2 video in an MPEG-1 system stream: ffmpeg's default for .mpg.
    Bytes head = mpeg1_pack + pal_header + extension;
    EXPECT_EQ(analyse(head, head, 0).mpeg_version, 2);
    // MPEG-1 video in an MPEG-2 program stream.
    head = pack_2_at_0 + pal_header + gop;
    EXPECT_EQ(analyse(head, head, 0).mpeg_version, 1);
}

TEST(HeaderAnalysis, NotMpegUnlessTheHeadStartsWithAPrefix) {
    Bytes head = Bytes{0} + pack_2_at_0 + pal_header;
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_EQ(info.not_mpeg, 0xFF);
    EXPECT_EQ(info.first_pack_pos, 1);  // start codes are still found
    EXPECT_EQ(analyse(Bytes{0, 0}, Bytes{0, 0}, 0).not_mpeg, 0xFF);
}

TEST(HeaderAnalysis, OnlyTheFirstSequenceHeaderCounts) {
    Bytes other = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x83, 0x02, 0xD0, 0x20, 0xA0};
    Bytes head = pal_header + other;
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_EQ(info.aspect_code, 3);
    EXPECT_EQ(info.horizontal_size, 720);
}

TEST(HeaderAnalysis, MissingOrCutHeadersDecodeAsZeros) {
    Bytes head = pack_2_at_0 + Bytes(30, 0x55);
    SequenceHeaderInfo info = analyse(head, Bytes{0x55}, 0);
    EXPECT_EQ(info.first_seqhdr_pos, -1);
    EXPECT_EQ(info.horizontal_size, 0);
    EXPECT_EQ(info.aspect_code, 0);
    EXPECT_EQ(info.bit_rate_value, 0u);

    Bytes cut = {0, 0, 1, 0xB3, 0x2D, 0x02, 0x40};  // a header at the very end
    info = analyse(cut, cut, 0);
    EXPECT_EQ(info.horizontal_size, 720);
    EXPECT_EQ(info.vertical_size, 576);
    EXPECT_EQ(info.aspect_code, 0);
}

TEST(HeaderAnalysis, OnePackHeaderGivesNoPlayingTime) {
    Bytes head = pack_2_at_90000 + pal_header;
    EXPECT_EQ(analyse(head, Bytes(16, 0x55), 100).duration_sec, 0.0);
}

TEST(HeaderAnalysis, WrappedClockCountsForward) {
    // 0xFFFF0000 and 0x00010000 as MPEG-2 clock values: base bits 32-30,
    // 29-15 and 14-0 spread over the pack header with its markers.
    auto pack_at = [](uint32_t clock) {
        uint64_t scr = clock;
        Bytes p = {0, 0, 1, 0xBA, 0, 0, 0, 0, 0, 0x01, 0x01, 0x89, 0xC3, 0xF8};
        p[4] = static_cast<uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03));
        p[5] = static_cast<uint8_t>(scr >> 20);
        p[6] = static_cast<uint8_t>(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03));
        p[7] = static_cast<uint8_t>(scr >> 5);
        p[8] = static_cast<uint8_t>(((scr << 3) & 0xF8) | 0x04);
        return p;
    };
    Bytes head = pack_at(0xFFFF0000u) + pal_header;
    Bytes tail = Bytes{0x55} + pack_at(0x00010000u);
    EXPECT_NEAR(analyse(head, tail, 0).duration_sec, 131072.0 / 90000.0, 1e-12);
}

TEST(HeaderAnalysis, TailIndexZeroIsNeverExamined) {
    Bytes head = pack_2_at_0 + pal_header;
    Bytes tail = pack_2_at_90000 + Bytes(8, 0x55);
    EXPECT_EQ(analyse(head, tail, 0).last_pack_pos, -1);
    tail = Bytes{0x55} + tail;
    EXPECT_EQ(analyse(head, tail, 0).last_pack_pos, 1);
}

}  // namespace
