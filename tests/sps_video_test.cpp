// H.264 and HEVC streams made by ffmpeg with libx264 and libx265, rewritten
// by the built tool and judged by ffmpeg and ffprobe: the aspect that every
// parameter set carries, the aspect of every decoded frame, decoding
// errors, which NAL units changed, and the way back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "judges.h"
#include "streams.h"
#include "support.h"

namespace {

// The NAL units of the video as ffmpeg copies them out of the file.
std::vector<Bytes> nal_units(const fs::path& file, bool hevc, const fs::path& scratch) {
    fs::path es = scratch / (hevc ? "copy.hevc" : "copy.264");
    std::system(("ffmpeg -loglevel quiet -y -i " + quoted(file) + " -c copy -f " +
                 (hevc ? "hevc " : "h264 ") + quoted(es)).c_str());
    Bytes bytes = read_bytes(es);
    std::vector<Bytes> units;
    for (size_t i = 0; i + 3 <= bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
            units.emplace_back();
            i += 2;
        } else if (!units.empty()) {
            units.back().push_back(bytes[i]);
        }
    }
    return units;
}

bool is_sps(const Bytes& unit, bool hevc) {
    if (unit.empty()) return false;
    return hevc ? (unit[0] >> 1 & 0x3F) == 33 : (unit[0] & 0x1F) == 7;
}

class SpsVideo : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    ScratchDir dir_;
};

}  // namespace

TEST_F(SpsVideo, EveryParameterSetTakesTheTargetAndTheRunIsUndone) {
    struct Case {
        Encoding encoding;
        std::string option;
        std::string aspect;  // as trace_headers reads it
        std::string frame_sar;
    };
    const Case cases[] = {
        // 1080 lines are coded as 1088 and cropped.
        {{"hd.ts", "libx264", "1440x1080", "1", "keyint=10"}, "", "14", "4:3"},
        {{"sd.m2ts", "libx264", "720x480", "10/11", "keyint=10:crop-rect=8,0,8,0"}, "-o3", "5", "40:33"},
        // 16:9 on a 720-sample picture: the standard 40:33 of its 704 active samples.
        {{"square.264", "libx264", "720x480", "8/9", "keyint=10"}, "-o3", "255 40:33", "40:33"},
        {{"hd.hevc", "libx265", "1440x1080", "4/3", "keyint=10"}, "", "1", "1:1"},
        {{"pal.ts", "libx265", "720x576", "8/9", "keyint=10"}, "-o3", "255 16:11", "16:11"},
        {{"hd.m2ts", "libx265", "1440x1080", "1", "keyint=10"}, "-o4", "255 0:0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding.name);
        bool hevc = c.encoding.encoder == "libx265";
        fs::path file = dir_ / c.encoding.name;
        ASSERT_TRUE(make_stream(dir_.path(), c.encoding));
        Bytes original = read_bytes(file);
        size_t sets = traced_aspects(file).size();
        ASSERT_GE(sets, 5u);  // one at every key frame
        std::string errors_before = decode_errors(file);
        std::vector<Bytes> units_before = nal_units(file, hevc, dir_.path());

        std::vector<std::string> args = {c.encoding.name};
        if (!c.option.empty()) args.insert(args.begin(), c.option);
        RunResult r = run(args);
        if (c.frame_sar.empty()) {
            // 2.21:1 at 1440x1080 has no table code, and the sets use one.
            EXPECT_EQ(r.exit_code, 11) << r.out;
            EXPECT_TRUE(read_bytes(file) == original);
            EXPECT_FALSE(fs::exists(file.parent_path() / (file.stem().string() + ".ini")));
            continue;
        }
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(traced_aspects(file), std::vector<std::string>(sets, c.aspect));
        EXPECT_EQ(frame_aspects(file), std::set<std::string>{c.frame_sar});
        EXPECT_EQ(decode_errors(file), errors_before);
        Bytes changed = read_bytes(file);
        ASSERT_EQ(changed.size(), original.size());
        std::vector<Bytes> units_after = nal_units(file, hevc, dir_.path());
        ASSERT_EQ(units_after.size(), units_before.size());
        for (size_t k = 0; k < units_after.size(); ++k) {
            if (units_after[k] != units_before[k]) {
                EXPECT_TRUE(is_sps(units_before[k], hevc)) << k;
            }
        }

        EXPECT_EQ(run({"-u", c.encoding.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
        EXPECT_FALSE(fs::exists(file.parent_path() / (file.stem().string() + ".ini")));
    }
}

TEST_F(SpsVideo, ASecondRunAddsToTheRecordAndTheUndoGoesBackToTheFirst) {
    Encoding e = {"two.ts", "libx264", "704x480", "10/11", "keyint=10"};
    ASSERT_TRUE(make_stream(dir_.path(), e));
    Bytes original = read_bytes(dir_ / "two.ts");
    ASSERT_EQ(run({"-o3", "two.ts"}).exit_code, 0);
    ASSERT_EQ(run({"-o1", "two.ts"}).exit_code, 0);
    size_t sets = traced_aspects(dir_ / "two.ts").size();
    EXPECT_EQ(traced_aspects(dir_ / "two.ts"), std::vector<std::string>(sets, "1"));
    RunResult again = run({"-o1", "two.ts"});
    EXPECT_EQ(again.exit_code, 4);
    EXPECT_NE(again.out.find(console_bytes("すべてのSPSがすでにSAR 1:1(1.47:1)です")), std::string::npos) << again.out;
    // Every line after the first two is a position with its whole byte.
    std::string marker = read_text(dir_ / "two.ini");
    EXPECT_EQ(marker.substr(0, 3), "3\r\n");
    EXPECT_EQ(run({"-u", "two.ts"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "two.ts") == original);
}

TEST_F(SpsVideo, WhatCannotBeWrittenInPlaceLeavesTheFileAsItWas) {
    Encoding none = {"none.264", "libx264", "320x240", "0", "keyint=10"};
    ASSERT_TRUE(make_stream(dir_.path(), none));
    Bytes original = read_bytes(dir_ / "none.264");
    RunResult r = run({"none.264"});
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_NE(r.out.find(console_bytes("SPSにアスペクト情報がないため、その場では書き換えられません\n")),
              std::string::npos);
    // A listing still shows every set.
    EXPECT_EQ(run({"-l", "none.264"}).exit_code, 0);
    std::string list = read_text(dir_ / "none.txt");
    EXPECT_NE(list.find("SAR 0:0 (-)"), std::string::npos);

    Encoding sd = {"sd.hevc", "libx265", "544x576", "1", "keyint=10"};
    ASSERT_TRUE(make_stream(dir_.path(), sd));
    Bytes sd_original = read_bytes(dir_ / "sd.hevc");
    // 16:9 at 544x576 is 32:17, which has no table code.
    r = run({"-o3", "sd.hevc"});
    EXPECT_EQ(r.exit_code, 11);
    EXPECT_NE(r.out.find("SAR 32:17"), std::string::npos);
    for (const char* option : {"-o0", "-o5", "-o15", "-ox"}) {
        EXPECT_EQ(run({option, "sd.hevc"}).exit_code, 3) << option;
    }
    EXPECT_TRUE(read_bytes(dir_ / "none.264") == original);
    EXPECT_TRUE(read_bytes(dir_ / "sd.hevc") == sd_original);
    EXPECT_FALSE(fs::exists(dir_ / "none.ini"));
    EXPECT_FALSE(fs::exists(dir_ / "sd.ini"));
}

// A parameter set of the elementary stream: its bytes [first, end), and the
// byte that ends it, the last of the 00 00 0x after it.
struct SetSpan {
    size_t first;
    size_t end;
    size_t ended_by;
};

std::vector<SetSpan> avc_sets(const Bytes& es) {
    std::vector<SetSpan> sets;
    for (size_t i = 0; i + 4 < es.size(); ++i) {
        if (es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1 || (es[i + 3] & 0x1F) != 7) continue;
        size_t end = i + 3;
        while (end + 2 < es.size() && !(es[end] == 0 && es[end + 1] == 0 && es[end + 2] <= 2)) ++end;
        sets.push_back({i + 3, end, end + 2});
    }
    return sets;
}

// A second run with no option finds the first converted from its shape
// before the first change (explicit numbers, rebuilt from the recorded
// bytes), and swaps nothing back. A set whose aspect bytes hold what the
// tool never writes there keeps them under -u.
TEST_F(SpsVideo, ASecondRunNeverSwapsBackAndAnUndoKeepsWhatTheToolDidNotWrite) {
    Encoding e = {"alt.264", "libx264", "720x480", "8/9", "keyint=10"};
    ASSERT_TRUE(make_stream(dir_.path(), e));
    Bytes original = read_bytes(dir_ / "alt.264");
    ASSERT_EQ(run({"alt.264"}).exit_code, 0);
    RunResult again = run({"alt.264"});
    EXPECT_EQ(again.exit_code, 4);
    EXPECT_NE(again.out.find(console_bytes("SAR 8:9(4:3)からSAR 40:33(16:9)に変換してあります")), std::string::npos)
        << again.out;
    Bytes converted = read_bytes(dir_ / "alt.264");
    std::vector<SetSpan> sets = avc_sets(converted);
    ASSERT_GE(sets.size(), 3u);
    for (size_t at = sets[1].first; at < sets[1].end; ++at) {
        if (converted[at] != original[at]) converted[at] = 0xFF;  // SAR 65535:65535, never reduced
    }
    write_bytes(dir_ / "alt.264", converted);
    RunResult undone = run({"-u", "alt.264"});
    EXPECT_EQ(undone.exit_code, 8);
    EXPECT_NE(undone.out.find(console_bytes("このツールが書いた値ではなくなっているので、そのままにしました")),
              std::string::npos);
    Bytes expected = original;
    std::copy(converted.begin() + static_cast<ptrdiff_t>(sets[1].first),
              converted.begin() + static_cast<ptrdiff_t>(sets[1].end),
              expected.begin() + static_cast<ptrdiff_t>(sets[1].first));
    EXPECT_TRUE(read_bytes(dir_ / "alt.264") == expected);
}

// An elementary stream put into transport packets of a few bytes of
// payload, so that every parameter set lies across packets, some of them
// sent twice. A set that ends in a packet sent twice is rewritten in both
// copies, as in the elementary stream; one that goes on past a second copy
// is left alone in both, and counted.
TEST_F(SpsVideo, ParameterSetsAcrossPacketsAndPacketsSentTwice) {
    ASSERT_TRUE(make_stream(dir_.path(), {"alone.264", "libx264", "320x240", "1", "keyint=5"}));
    Bytes es = read_bytes(dir_ / "alone.264");
    ASSERT_EQ(run({"alone.264"}).exit_code, 0);
    Bytes es_done = read_bytes(dir_ / "alone.264");
    std::vector<SetSpan> sets = avc_sets(es);
    ASSERT_GE(sets.size(), 6u);

    // Packets of five bytes, but for every third set one packet from its
    // first changed byte to the byte that ends it, sent twice; for the next
    // set a packet in its middle, sent twice.
    constexpr size_t chunk = 5;
    std::vector<std::pair<size_t, size_t>> packets;  // [first, end) of the stream
    std::set<size_t> sent_twice;                      // by first byte
    size_t at = 0;
    for (size_t j = 0; j < sets.size(); ++j) {
        const SetSpan& set = sets[j];
        size_t changed = set.first;
        while (changed < set.end && es[changed] == es_done[changed]) ++changed;
        ASSERT_LT(changed, set.end);
        size_t twice_first = j % 3 == 0 ? changed : (set.first + set.end) / 2;
        size_t twice_end = j % 3 == 0 ? set.ended_by + 1 : twice_first + chunk;
        for (; at < twice_first; at += std::min(chunk, twice_first - at)) {
            packets.push_back({at, at + std::min(chunk, twice_first - at)});
        }
        if (j % 3 == 2) continue;
        packets.push_back({twice_first, twice_end});
        sent_twice.insert(twice_first);
        at = twice_end;
    }
    for (; at < es.size(); at += chunk) packets.push_back({at, std::min(es.size(), at + chunk)});

    Bytes ts = ts_packet(0, true, 0, pat_section(1, 0x1000)) +
               ts_packet(0x1000, true, 0, pmt_section(1, 0x100, 0x1B, 0x100));
    std::vector<std::vector<size_t>> copies_of(es.size());  // file positions of each byte
    std::vector<bool> twice(es.size(), false);
    uint8_t counter = 0;
    for (const auto& [first, end] : packets) {
        Bytes payload(es.begin() + first, es.begin() + end);
        Bytes p = ts_packet(0x100, first == 0, counter++, first == 0 ? ts_video_pes(payload) : payload);
        bool repeated = sent_twice.count(first) != 0;
        for (int copy = 0; copy < (repeated ? 2 : 1); ++copy) {
            size_t base = ts.size() + 188 - payload.size();
            for (size_t k = first; k < end; ++k) {
                copies_of[k].push_back(base + k - first);
                twice[k] = repeated;
            }
            ts.insert(ts.end(), p.begin(), p.end());
        }
    }

    Bytes expected = ts;
    size_t left = 0;
    for (const SetSpan& set : sets) {
        bool twice_inside = false;
        for (size_t k = set.first; k < set.end; ++k) twice_inside |= twice[k];
        bool cut = twice_inside && !twice[set.ended_by];
        left += cut ? 1 : 0;
        for (size_t k = set.first; k < set.end && !cut; ++k) {
            for (size_t at : copies_of[k]) expected[at] = es_done[k];
        }
    }
    ASSERT_GT(left, 0u);
    write_bytes(dir_ / "packets.ts", ts);
    RunResult r = run({"packets.ts"});
    EXPECT_EQ(r.exit_code, 11);
    EXPECT_NE(r.out.find(console_bytes("二度送られたパケットにまたがる" + std::to_string(left) + "個")),
              std::string::npos);
    EXPECT_TRUE(read_bytes(dir_ / "packets.ts") == expected);
    EXPECT_EQ(run({"-u", "packets.ts"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "packets.ts") == ts);
}
