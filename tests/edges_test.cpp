// Edges that users meet: transport streams whose tables come late or whose
// video changes PID at a join, an undo after -r, and a Windows name with a
// trailing dot; another codec whose start codes look like MPEG's.
#include <gtest/gtest.h>

#include <cstdlib>

#include "judges.h"
#include "reference_demux.h"
#include "streams.h"
#include "support.h"

namespace {

constexpr size_t ts_packet_bytes = 188;

class Edges : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    ScratchDir dir_;
};

Bytes null_packets(size_t bytes) {
    Bytes nulls;
    nulls.reserve(bytes + ts_packet_bytes);
    for (size_t i = 0; nulls.size() < bytes; ++i) {
        Bytes packet = ts_packet(0x1FFF, false, static_cast<uint8_t>(i), Bytes(184, 0xFF));
        nulls.insert(nulls.end(), packet.begin(), packet.end());
    }
    return nulls;
}

// A recording that opens with 3 MiB of null packets, more than the head
// window: the tables and the video are looked for further on.
TEST_F(Edges, TransportStreamsThatOpenWithNullPackets) {
    Bytes nulls = null_packets(3 << 20);
    Bytes stream = nulls + read_bytes(sample_path("ts_sd_4x3.ts"));
    TransportInfo info;
    std::vector<int64_t> headers = matching_headers(stream, transport_video_payload(stream, &info));
    ASSERT_EQ(info.video_pid, 0x100);
    ASSERT_GE(headers.size(), 4u);
    write_bytes(dir_ / "late.ts", stream);
    RunResult r = run({"late.ts"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("MPEG-2 720x480 29.97fps"), std::string::npos);
    EXPECT_TRUE(read_bytes(dir_ / "late.ts") == rewritten(stream, headers, 3));

    // No video it rewrites anywhere in the file: refused untouched.
    for (const Bytes& none : {nulls + ts_tables_and_video(ts_type_avs_video), nulls}) {
        write_bytes(dir_ / "none.ts", none);
        r = run({"none.ts"});
        EXPECT_EQ(r.exit_code, 5);
        EXPECT_NE(r.out.find(console_bytes("MPEG-1/MPEG-2/MPEG-4/H.264/HEVC/DVのビデオがありません\n")), std::string::npos);
        EXPECT_TRUE(read_bytes(dir_ / "none.ts") == none);
    }
}

// Two recordings joined, the second with its video on PID 0x200: the first
// video is rewritten, and the user hears of the one left alone.
TEST_F(Edges, AJoinWithVideoOnAnotherPidSaysWhatItLeft) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    std::string command = "ffmpeg -loglevel quiet -y -i '" + sample_path("ts_sd_4x3.ts").string() +
                          "' -map 0 -c copy -mpegts_start_pid 0x200 -f mpegts '" +
                          (dir_ / "second.ts").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Bytes first = read_bytes(sample_path("ts_sd_4x3.ts"));
    Bytes second = read_bytes(dir_ / "second.ts");
    TransportInfo second_info;
    std::vector<int64_t> second_headers =
        matching_headers(second, transport_video_payload(second, &second_info));
    ASSERT_EQ(second_info.video_pid, 0x200);
    TransportInfo first_info;
    std::vector<int64_t> first_headers =
        matching_headers(first, transport_video_payload(first, &first_info));
    write_bytes(dir_ / "joined.ts", first + second);
    RunResult r = run({"joined.ts"});
    EXPECT_EQ(r.exit_code, 0);
    std::string left = "別のビデオストリーム(PID 0x200、sequence header " +
                       std::to_string(second_headers.size()) + "個)は変換していません\n";
    EXPECT_NE(r.out.find(console_bytes(left)), std::string::npos);
    EXPECT_TRUE(read_bytes(dir_ / "joined.ts") == rewritten(first, first_headers, 3) + second);
    EXPECT_EQ(run({"-u", "joined.ts"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "joined.ts") == first + second);
}

// A stray start code between two packs stops a walk without -r; an undo
// walks on past it by itself, so that it puts back what -r changed.
TEST_F(Edges, UndoAfterARangeSearchRewriteNeedsNoOption) {
    Bytes sample = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    size_t cut = 2048 * 40;
    ASSERT_EQ(Bytes(sample.begin() + cut, sample.begin() + cut + 4), (Bytes{0, 0, 1, 0xBA}));
    Bytes original = Bytes(sample.begin(), sample.begin() + cut) + Bytes{0, 0, 1, 0x00} +
                     Bytes(sample.begin() + cut, sample.end());
    write_bytes(dir_ / "damaged.mpg", original);
    ASSERT_EQ(run({"-r", "damaged.mpg"}).exit_code, 0);
    // The sample's own headers, those past the cut four bytes further on.
    std::vector<int64_t> headers = matching_headers(sample, program_video_payload(sample));
    for (int64_t& h : headers) h += h >= static_cast<int64_t>(cut) ? 4 : 0;
    ASSERT_TRUE(read_bytes(dir_ / "damaged.mpg") == rewritten(original, headers, 3));
    EXPECT_EQ(run({"-u", "damaged.mpg"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "damaged.mpg") == original);
    EXPECT_FALSE(fs::exists(dir_ / "damaged.ini"));

    // Damage before the first sequence header: the start code of the first
    // video packet overwritten. The undo walks past it all the same.
    Bytes early = sample;
    size_t video_packet = 0;
    while (Bytes(early.begin() + video_packet, early.begin() + video_packet + 4) != Bytes{0, 0, 1, 0xE0}) ++video_packet;
    ASSERT_LT(video_packet, 2092u);
    for (size_t k = 0; k < 4; ++k) early[video_packet + k] = 0xFF;
    write_bytes(dir_ / "early.mpg", early);
    ASSERT_EQ(run({"-r", "early.mpg"}).exit_code, 0);
    ASSERT_TRUE(read_bytes(dir_ / "early.mpg") != early);
    EXPECT_EQ(run({"-u", "early.mpg"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "early.mpg") == early);
    EXPECT_FALSE(fs::exists(dir_ / "early.ini"));
}

#ifdef _WIN32
// Windows drops a trailing dot: "td.mpg." is td.mpg, and so are its side
// files named.
TEST_F(Edges, ANameWithATrailingDotIsTheFileWindowsResolves) {
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "td.mpg");
    EXPECT_EQ(run({"td.mpg."}).exit_code, 0);
    EXPECT_TRUE(fs::exists(dir_ / "td.ini"));
    EXPECT_EQ(run({"-u", "td.mpg"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "td.mpg") == read_bytes(sample_path("dvd_ntsc_4x3.mpg")));
    EXPECT_EQ(run({"td.mpg. . "}).exit_code, 0);
    EXPECT_EQ(run({"-u", "td.mpg."}).exit_code, 0);
    EXPECT_FALSE(fs::exists(dir_ / "td.ini"));
}
#endif

}  // namespace

// MPEG-4 video opens its groups of VOPs with 00 00 01 B3 too: a raw stream
// and one in a program stream are taken for MPEG-4 by their other start
// codes, never for MPEG-1, and so is one in a container; its VOLs' table
// code of square samples has none for the 4:3 samples that 16:9 needs at
// 320x240, so the change is refused untouched. And a header whose marker
// bit after the bit rate is 0 is no header, though its first bytes are the
// first header's.
TEST_F(Edges, AnotherCodecsCodeIsNoSequenceHeader) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    ASSERT_TRUE(commands_run(dir_.path(),
                             "for f in m4v vob mp4 matroska; do ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 "
                             "-t 3 -c:v mpeg4 -g 25 -aspect 4:3 -f $f part2.$f || exit 1; done"));
    const std::string names[] = {"part2.m4v", "part2.vob", "part2.mp4", "part2.matroska"};
    for (const std::string& name : names) {
        Bytes before = read_bytes(dir_ / name);
        bool stream = name == names[0] || name == names[1];  // its group-of-VOP codes read 00 00 01 B3
        if (stream) {
            ASSERT_GE(sequence_header_positions(before).size(), 3u) << name;
        }
        RunResult r = run({"-l", name});
        EXPECT_EQ(r.exit_code, 0) << name;
        EXPECT_NE(r.out.find("MPEG-4 320x240 SAR 1:1->4:3"), std::string::npos) << name;
        EXPECT_EQ(r.out.find("MPEG-1"), std::string::npos) << name;
        r = run({name});
        EXPECT_EQ(r.exit_code, 12) << name;
        EXPECT_TRUE(read_bytes(dir_ / name) == before) << name;
        EXPECT_FALSE(fs::exists(dir_ / "part2.ini"));
    }

    Bytes stream = read_bytes(sample_path("es_mpeg2_16x9.m2v"));
    std::vector<size_t> headers = sequence_header_positions(stream);
    ASSERT_GE(headers.size(), 3u);
    stream[headers[1] + 10] &= ~0x20;
    write_bytes(dir_ / "marker.m2v", stream);
    RunResult r = run({"marker.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find(console_bytes("1個はsequence headerではない")), std::string::npos);
    Bytes after = read_bytes(dir_ / "marker.m2v");
    for (size_t i = 0; i < headers.size(); ++i) {
        EXPECT_EQ(after[headers[i] + 7] >> 4, i == 1 ? stream[headers[i] + 7] >> 4 : 2) << i;
    }
}
