#include <gtest/gtest.h>

#include "formats/program_stream.h"
#include "run/analysis.h"
#include "streams.h"
#include "support.h"

namespace {

SequenceHeaderInfo analyse(const Bytes& head, const Bytes& tail, int64_t tail_base) {
    SequenceHeaderInfo info = {};
    info.head_len = static_cast<uint32_t>(head.size());
    info.tail_len = static_cast<uint32_t>(tail.size());
    info.tail_base = tail_base;
    header_seek(head.data(), &info);
    header_parse(head.data(), tail.data(), &info);
    return info;
}

const Bytes pack_2_at_90000 = {0, 0, 1, 0xBA, 0x44, 0x00, 0x16, 0xFC, 0x84, 0x01, 0x01, 0x89, 0xC3, 0xF8};
const Bytes pack_2_at_0 = {0, 0, 1, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
const Bytes pal_header = {0, 0, 1, 0xB3, 0x2D, 0x02, 0x40, 0x33, 0x17, 0xED, 0x23, 0x80};
const Bytes& extension = sequence_extension;
const Bytes& gop = gop_header;

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
    Bytes head = pack_2_at_0 + pes2(0xE0, pal_header + extension + gop) + Bytes(20, 0xFF);
    Bytes tail = Bytes{0x77} + pack_2_at_0 + gop + pack_2_at_90000 + Bytes{0, 0};
    SequenceHeaderInfo info = analyse(head, tail, 5000);
    EXPECT_EQ(info.not_mpeg, 0);
    EXPECT_EQ(info.layout.kind, stream_program);
    EXPECT_EQ(info.first_pack_pos, 0);
    EXPECT_EQ(info.first_seqhdr_pos, 14 + 14);
    EXPECT_EQ(info.video.byte7_pos, 14 + 14 + 7);
    EXPECT_EQ(info.video.extension, 1);
    EXPECT_EQ(info.last_pack_pos, 5000 + 1 + 14 + 8);  // the last of two packs
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

    Bytes mpeg1 = pal_header + gop + extension;  // only what follows the header counts
    EXPECT_EQ(analyse(mpeg1, mpeg1, 0).mpeg_version, 1);
}

TEST(HeaderAnalysis, TheVideoDecidesTheVersionWhateverThePacksSay) {
    const Bytes mpeg1_pack = {0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91};
    // MPEG-2 video in an MPEG-1 system stream: ffmpeg's default for .mpg.
    Bytes head = mpeg1_pack + packet(0xE0, {0x0F}, pal_header + extension);
    EXPECT_EQ(analyse(head, head, 0).mpeg_version, 2);
    // MPEG-1 video in an MPEG-2 program stream.
    head = pack_2_at_0 + pes2(0xE0, pal_header + gop);
    EXPECT_EQ(analyse(head, head, 0).mpeg_version, 1);
}

TEST(HeaderAnalysis, NotMpegUnlessTheHeadStartsWithAPrefix) {
    Bytes head = Bytes{0xFF} + pack_2_at_0 + pal_header;
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_EQ(info.not_mpeg, 0xFF);
    EXPECT_EQ(info.first_seqhdr_pos, -1);
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

    Bytes cut = {0, 0, 1, 0xB3, 0x2D, 0x02, 0x40};  // a header cut off by the end
    info = analyse(cut, cut, 0);
    EXPECT_EQ(info.first_seqhdr_pos, -1);
    EXPECT_EQ(info.horizontal_size, 0);
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

TEST(StreamLayout, KindsByTheirFirstBytes) {
    struct Case {
        Bytes head;
        StreamKind kind;
    } cases[] = {
        {pal_header, stream_elementary},
        {gop + pal_header, stream_elementary},  // an elementary stream cut before a GOP
        {Bytes{0, 0, 1, 0x00, 0x12}, stream_elementary},
        {pack_2_at_0, stream_program},
        {pes2(0xE0, pal_header), stream_program},
        {Bytes{0, 0, 1}, stream_program},
        // Zero bytes before the first start code, as decoders take them.
        {Bytes{0, 0, 0, 0, 1, 0xBA}, stream_program},
        {Bytes(4, 0) + pal_header, stream_elementary},
        {Bytes{0, 0, 2, 1, 0xBA}, stream_not_mpeg},
        {Bytes{0x47, 0x40, 0x00, 0x10}, stream_not_mpeg},  // one sync byte is no stream
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stream_layout_detect(c.head.data(), static_cast<uint32_t>(c.head.size())).kind, c.kind)
            << int(c.head[3]);
    }
}

TEST(StreamLayout, TransportStreamsOfEachPacketSizeAndCutInMidPacket) {
    for (uint32_t stride : {188u, 192u, 204u}) {
        for (uint32_t cut : {0u, 100u}) {
            Bytes stream;
            for (int i = 0; i < 12; ++i) {
                Bytes p = ts_packet(0x100, false, static_cast<uint8_t>(i), filler(184));
                if (stride == 192) p = Bytes{1, 2, 3, 4} + p;  // the time stamp comes first
                if (stride == 204) p = p + Bytes(16, 0xAA);
                stream = stream + p;
            }
            Bytes head(stream.begin() + cut, stream.end());
            StreamLayout layout = stream_layout_detect(head.data(), static_cast<uint32_t>(head.size()));
            EXPECT_EQ(layout.kind, stream_transport) << stride << " " << cut;
            EXPECT_EQ(layout.ts.stride, stride);
            uint32_t first = (stride == 192 ? 4 : 0) + (cut == 0 ? 0 : stride) - cut;
            EXPECT_EQ(layout.ts.first_sync, first) << stride << " " << cut;
        }
    }
}

// With two video streams, the one the walk rewrites decides: 0xE0.
TEST(HeaderAnalysis, TheReferenceIsStreamE0sFirstHeader) {
    Bytes other = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x83, 0x02, 0xD0, 0x20, 0xA0};
    Bytes head = pack_2_at_0 + pes2(0xE1, other + extension) + pes2(0xE0, pal_header + extension);
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_EQ(info.horizontal_size, 720);
    EXPECT_EQ(info.vertical_size, 576);
    EXPECT_EQ(info.first_seqhdr_pos, 14 + 14 + 12 + 10 + 14);
}

TEST(HeaderAnalysis, AHeaderSplitAcrossVideoPacketsIsPutTogether) {
    Bytes first(pal_header.begin(), pal_header.begin() + 6);
    Bytes rest(pal_header.begin() + 6, pal_header.end());
    Bytes head = pack_2_at_0 + pes2(0xE0, first) + pes2(0xC0, filler(9)) + pes2(0xE0, rest + extension);
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_EQ(info.horizontal_size, 720);
    EXPECT_EQ(info.aspect_code, 3);
    EXPECT_EQ(info.mpeg_version, 2);
    EXPECT_EQ(info.video.byte7_pos, static_cast<int64_t>(head.size() - rest.size() - extension.size() + 1));
}

// A transport stream: program tables, the video PID's payload split over
// packets with another PID between, PCR for the playing time.
TEST(HeaderAnalysis, TransportStreamVideoAndClock) {
    Bytes payload = ts_video_pes(pal_header + extension);
    Bytes first(payload.begin(), payload.begin() + 20);
    Bytes rest(payload.begin() + 20, payload.end());
    Bytes head = ts_packet(0, true, 0, pat_section(1, 0x1000)) +
                 ts_packet(0x1000, true, 0, pmt_section(1, 0x1FF, 0x02, 0x1E1)) +
                 ts_packet(0x1FF, false, 0, {}, true, 900000) +
                 ts_packet(0x1E1, true, 0, first) + ts_packet(0x1C0, true, 0, filler(184)) +
                 ts_packet(0x1E1, false, 1, rest);
    for (uint8_t i = 0; i < 4; ++i) head = head + ts_packet(ts_pid_none, false, i, filler(184));
    Bytes tail = Bytes(50, 0x55) + ts_packet(0x1FF, false, 1, {}, true, 900000 + 180000) +
                 ts_packet(0x1E1, false, 2, filler(184));
    SequenceHeaderInfo info = analyse(head, tail, 10000);
    EXPECT_EQ(info.layout.kind, stream_transport);
    EXPECT_TRUE(info.program.found);
    EXPECT_EQ(info.program.video_pid, 0x1E1);
    EXPECT_EQ(info.horizontal_size, 720);
    EXPECT_EQ(info.mpeg_version, 2);
    EXPECT_DOUBLE_EQ(info.duration_sec, 2.0);
}

TEST(HeaderAnalysis, TransportStreamVideoByStreamType) {
    Bytes head = ts_tables_and_video(ts_type_avs_video);
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_EQ(info.layout.kind, stream_transport);
    EXPECT_TRUE(info.program.tables_seen);
    EXPECT_FALSE(info.program.found);

    const std::pair<uint8_t, VideoCodec> types[] = {
        {0x02, codec_mpeg}, {0x1B, codec_avc}, {0x24, codec_hevc}, {ts_type_mpeg4_video, codec_mpeg4},
        {ts_type_vc1_video, codec_vc1}};
    for (const auto& [type, codec] : types) {
        head = ts_tables_and_video(type);
        info = analyse(head, head, 0);
        EXPECT_TRUE(info.program.found) << int{type};
        EXPECT_EQ(info.layout.codec, codec) << int{type};
    }
}

TEST(HeaderAnalysis, CutTransportStreamFindsItsVideoWithoutTables) {
    Bytes head;
    for (uint8_t i = 0; i < 4; ++i) {
        head = head + ts_packet(0x44, true, i, ts_video_pes(filler(100))) +
               ts_packet(0x45, true, i, ts_video_pes(i == 2 ? pal_header + extension : filler(60)));
    }
    SequenceHeaderInfo info = analyse(head, head, 0);
    EXPECT_FALSE(info.program.tables_seen);
    EXPECT_EQ(info.program.video_pid, 0x45);
    EXPECT_EQ(info.vertical_size, 576);
}

TEST(VideoProbe, AGapBreaksAHeaderAndAnotherStartCodeSettlesMpeg1) {
    VideoHeaderProbe probe;
    video_probe_init(&probe);
    video_probe_feed(&probe, pal_header.data(), 6, 100);
    video_probe_gap(&probe);
    video_probe_feed(&probe, pal_header.data() + 6, 6, 200);
    EXPECT_FALSE(video_probe_found(&probe));
    Bytes stream = Bytes{0x01, 0xB3, 0x99} + pal_header + Bytes{0, 0} + gop;
    video_probe_gap(&probe);  // the gap's bytes cannot lend a start code their zeros
    video_probe_feed(&probe, stream.data(), static_cast<uint32_t>(stream.size()), 1000);
    EXPECT_TRUE(video_probe_settled(&probe));
    EXPECT_EQ(probe.code_pos, 1000 + 3 + 3);
    EXPECT_EQ(probe.byte7_pos, 1000 + 3 + 7);
    EXPECT_EQ(probe.extension, 0);
}

// The wait for the start code after the header passes over runs of other
// bytes: cut anywhere, with 0x01 bytes that end no start code in the run,
// it still sees the extension, and only it.
TEST(VideoProbe, TheStartCodeAfterTheHeaderIsSeenHoweverThePayloadIsCut) {
    Bytes run(40, 0);
    run[4] = 0x22;
    run[5] = 1;
    run[16] = 0x22;
    run[17] = 1;
    run[18] = 1;
    Bytes stream = pal_header + run + Bytes{0, 0} + extension;
    for (uint32_t piece = 1; piece <= stream.size(); ++piece) {
        SCOPED_TRACE(piece);
        VideoHeaderProbe probe;
        video_probe_init(&probe);
        for (uint32_t at = 0; at < stream.size(); at += piece) {
            uint32_t n = std::min<uint32_t>(piece, static_cast<uint32_t>(stream.size()) - at);
            video_probe_feed(&probe, stream.data() + at, n, at);
        }
        EXPECT_EQ(probe.extension, 1);
    }
}

}  // namespace
