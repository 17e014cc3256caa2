// Recordings as users have them: standard-definition H.264 and HEVC, one
// service cut out of a broadcast multiplex, two recordings joined, a
// camcorder's few packets, streams led by zero bytes, MPEG-2 with a display
// size of its own; and refusals that say why. Judged by ffmpeg, ffprobe and
// the bytes, and undone byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>

#include "judges.h"
#include "reference_demux.h"
#include "support.h"

namespace {

constexpr size_t packet_size = 188;

uint16_t pid_of(const Bytes& ts, size_t at) {
    return static_cast<uint16_t>((ts[at + 1] & 0x1F) << 8 | ts[at + 2]);
}

// The packets of the stream that the keep test keeps.
template <typename Keep>
Bytes packets_kept(const Bytes& ts, Keep keep) {
    Bytes kept;
    for (size_t at = 0; at + packet_size <= ts.size(); at += packet_size) {
        if (keep(at)) kept.insert(kept.end(), ts.begin() + static_cast<ptrdiff_t>(at),
                                  ts.begin() + static_cast<ptrdiff_t>(at + packet_size));
    }
    return kept;
}

uint32_t crc32_mpeg(const uint8_t* bytes, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= static_cast<uint32_t>(bytes[i]) << 24;
        for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// Every program association table of the stream lists first a program
// whose map table the file never carries, as a service recorded out of a
// multiplex lists the others.
Bytes with_absent_program(Bytes ts) {
    for (size_t at = 0; at + packet_size <= ts.size(); at += packet_size) {
        if (pid_of(ts, at) != 0) continue;
        uint8_t* section = &ts[at + 5 + ts[at + 4]];
        size_t length = ((section[1] & 0x0F) << 8 | section[2]) + 3;
        Bytes body(section + 8, section + length - 4);
        Bytes entry = {0x00, 0x09, 0xFF, 0xF0};  // program 9, map table on PID 0x1FF0
        Bytes programs = entry + body;
        size_t new_length = 8 + programs.size() + 4;
        section[1] = static_cast<uint8_t>((section[1] & 0xF0) | ((new_length - 3) >> 8));
        section[2] = static_cast<uint8_t>(new_length - 3);
        std::copy(programs.begin(), programs.end(), section + 8);
        uint32_t crc = crc32_mpeg(section, new_length - 4);
        for (int k = 0; k < 4; ++k) section[new_length - 4 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
    }
    return ts;
}

class Reach : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    bool says(const RunResult& r, const std::string& utf8) const {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    // The default run changes every parameter set to `aspect` and every
    // frame to `frame_sar`, and -u gives the file back.
    void expect_converted_and_undone(const std::string& name, const std::string& aspect,
                                     const std::string& frame_sar, const std::string& option = "") {
        fs::path file = dir_ / name;
        Bytes original = read_bytes(file);
        size_t sets = traced_aspects(file).size();
        ASSERT_GE(sets, 1u);
        std::vector<std::string> args = {name};
        if (!option.empty()) args.insert(args.begin(), option);
        RunResult r = run(args);
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(traced_aspects(file), std::vector<std::string>(sets, aspect));
        EXPECT_EQ(frame_aspects(file), std::set<std::string>{frame_sar});
        EXPECT_EQ(run({"-u", name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
    ScratchDir dir_;
};

// 720 and 704 samples by 480 or 576 lines show 4:3 or 16:9 on their 704
// active samples: the standard sample aspects, which the table names, so
// that every set takes the other shape in place.
TEST_F(Reach, StandardDefinitionTakesTheStandardSampleAspects) {
    struct Case {
        Encoding encoding;
        std::string option;
        std::string aspect;
        std::string frame_sar;
    };
    const Case cases[] = {
        {{"ntsc.264", "libx264", "720x480", "10/11", "keyint=10"}, "", "5", "40:33"},
        {{"pal.ts", "libx264", "720x576", "12/11", "keyint=10"}, "", "4", "16:11"},
        {{"wide.hevc", "libx265", "720x480", "40/33", "keyint=10"}, "", "3", "10:11"},
        {{"pal.hevc", "libx265", "704x576", "16/11", "keyint=10"}, "-o2", "2", "12:11"},
        // As ffmpeg's -aspect 16:9 leaves 720x576: explicit numbers stay explicit.
        {{"aspect.ts", "libx264", "720x576", "64/45", "keyint=10"}, "", "255 12:11", "12:11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding.name);
        ASSERT_TRUE(make_stream(dir_.path(), c.encoding));
        expect_converted_and_undone(c.encoding.name, c.aspect, c.frame_sar, c.option);
    }
}

// A program association table that lists programs whose map tables are not
// in the file, and a recording cut so that it has no tables at all.
TEST_F(Reach, AServiceOutOfAMultiplexAndACutRecordingFindTheirVideo) {
    ASSERT_TRUE(make_stream(dir_.path(), {"full.ts", "libx264", "480x360", "1", "keyint=10"}));
    Bytes full = read_bytes(dir_ / "full.ts");
    write_bytes(dir_ / "service.ts", with_absent_program(full));
    expect_converted_and_undone("service.ts", "14", "4:3");
    write_bytes(dir_ / "cut.ts", packets_kept(full, [&](size_t at) { return pid_of(full, at) == 0x100; }));
    expect_converted_and_undone("cut.ts", "14", "4:3");
}

// Two recordings joined whose parameter sets differ in id and size: the
// second keeps its own, and the run and the listing say so.
TEST_F(Reach, ParameterSetsOfAnotherIdOrSizeAreSaid) {
    ASSERT_TRUE(make_stream(dir_.path(), {"a.264", "libx264", "480x360", "1", "keyint=10"}));
    ASSERT_TRUE(make_stream(dir_.path(), {"b.264", "libx264", "1280x720", "1", "keyint=10:sps-id=1"}));
    Bytes a = read_bytes(dir_ / "a.264");
    write_bytes(dir_ / "joined.264", a + read_bytes(dir_ / "b.264"));
    size_t first_sets = traced_aspects(dir_ / "a.264").size();
    size_t second_sets = traced_aspects(dir_ / "joined.264").size() - first_sets;
    RunResult r = run({"joined.264"});
    EXPECT_EQ(r.exit_code, 11);
    EXPECT_TRUE(says(r, "SPS id 1、1280x720:最初のSPSと違うので、" + std::to_string(second_sets) + "個はそのままにしました"));
    std::vector<std::string> expected(first_sets, "14");
    expected.insert(expected.end(), second_sets, "1");
    EXPECT_EQ(traced_aspects(dir_ / "joined.264"), expected);
    RunResult listed = run({"-l", "joined.264"});
    EXPECT_EQ(listed.exit_code, 0);
    std::string list = read_text(dir_ / "joined.txt");
    size_t marked = 0;
    for (size_t at = 0; (at = list.find(" other id 1 1280x720\r\n", at)) != std::string::npos; ++at) ++marked;
    EXPECT_EQ(marked, second_sets);
}

// A camcorder's clip of seven packets with its tables and a parameter set,
// and an MPEG-2 elementary stream led by four zero bytes.
TEST_F(Reach, ShortAndZeroLedStreamsAreTaken) {
    ASSERT_TRUE(make_stream(dir_.path(), {"long.ts", "libx264", "480x360", "1", "keyint=10"}));
    Bytes full = read_bytes(dir_ / "long.ts");
    write_bytes(dir_ / "short.ts", Bytes(full.begin(), full.begin() + 7 * packet_size));
    EXPECT_EQ(run({"-l", "short.ts"}).exit_code, 0);
    RunResult r = run({"short.ts"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(run({"-u", "short.ts"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "short.ts") == Bytes(full.begin(), full.begin() + 7 * packet_size));

    Bytes sample = read_bytes(sample_path("es_mpeg2_16x9.m2v"));
    Bytes led = Bytes(4, 0) + sample;
    write_bytes(dir_ / "led.m2v", led);
    EXPECT_EQ(run({"led.m2v"}).exit_code, 0);
    std::vector<int64_t> every(led.size());
    for (size_t i = 0; i < led.size(); ++i) every[i] = static_cast<int64_t>(i);
    EXPECT_TRUE(read_bytes(dir_ / "led.m2v") == rewritten(led, matching_headers(led, {every}), 2));
    EXPECT_EQ(run({"-u", "led.m2v"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "led.m2v") == led);
}

// Video the tool cannot read is refused with the reason: scrambled, named
// in the tables but never carried, parameter sets of a kind it does not
// read. Nothing is written.
TEST_F(Reach, RefusalsSayWhy) {
    ASSERT_TRUE(make_stream(dir_.path(), {"ok.ts", "libx264", "480x360", "1", "keyint=10"}));
    Bytes full = read_bytes(dir_ / "ok.ts");
    Bytes scrambled = full;
    Bytes unreadable = full;
    for (size_t at = 0; at + packet_size <= full.size(); at += packet_size) {
        if (pid_of(full, at) != 0x100) continue;
        scrambled[at + 3] |= 0x80;
        for (size_t i = at + 4; i + 4 < at + packet_size; ++i) {
            // A parameter set's id past any a reader takes: ue(v) of 127 and more.
            if (full[i] == 0 && full[i + 1] == 0 && full[i + 2] == 1 && (full[i + 3] & 0x1F) == 7) unreadable[i + 7] = 0x01;
        }
    }
    struct Case {
        const char* name;
        Bytes bytes;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"scrambled.ts", scrambled, 5, "ビデオのパケットがスクランブルされているので読めません"},
        {"cut_scrambled.ts", packets_kept(scrambled, [&](size_t at) { return pid_of(full, at) == 0x100; }), 5,
         "スクランブルされたパケットがあり、MPEG-1/MPEG-2/MPEG-4/H.264/HEVC/DVのビデオが見つかりません"},
        {"empty.ts", packets_kept(full, [&](size_t at) { return pid_of(full, at) != 0x100; }), 6,
         "番組表にあるビデオのパケットがファイルにありません"},
        {"unreadable.ts", unreadable, 6, "SPSはありますが、このツールでは読めない形です"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(dir_ / c.name, c.bytes);
        RunResult r = run({c.name});
        EXPECT_EQ(r.exit_code, c.code);
        EXPECT_TRUE(says(r, c.says)) << r.out;
        EXPECT_TRUE(read_bytes(dir_ / c.name) == c.bytes);
    }
}

// MPEG-2 video whose sequence_display_extension says 540 of 720 samples:
// flagged 4:3, the most common players show it at 16:9 already, and do
// after a change to 16:9 too. The listing shows the size, the run says so,
// and ffprobe sees the same sample aspect before and after.
TEST_F(Reach, TheDisplayExtensionIsShownAndWeighed) {
    fs::path file = dir_ / "display.m2v";
    std::string command = "ffmpeg -loglevel quiet -y -f lavfi -i testsrc=size=720x480:rate=30000/1001 -t 1 "
                          "-c:v mpeg2video -aspect 4:3 -seq_disp_ext always -f mpeg2video " + quoted(file);
    ASSERT_EQ(std::system(command.c_str()), 0);
    Bytes bytes = read_bytes(file);
    size_t patched = 0;
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1 || bytes[i + 3] != 0xB5 ||
            (bytes[i + 4] >> 4) != 2) {
            continue;
        }
        size_t size_at = i + 4 + ((bytes[i + 4] & 1) != 0 ? 4 : 1);
        bytes[size_at] = static_cast<uint8_t>(540 >> 6);
        bytes[size_at + 1] = static_cast<uint8_t>(((540 & 0x3F) << 2) | (bytes[size_at + 1] & 0x03));
        ++patched;
    }
    ASSERT_GE(patched, 1u);
    write_bytes(file, bytes);
    std::set<std::string> before = frame_aspects(file);
    ASSERT_EQ(before, std::set<std::string>{"32:27"});  // 16:9 on 720x480
    RunResult listed = run({"-l", "display.m2v"});
    EXPECT_TRUE(says(listed, "sequence_display_extensionの表示サイズ:540x480\n"));
    RunResult r = run({"display.m2v"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(says(r, "sequence_display_extensionの表示サイズが540x480なので、よく使われるプレーヤーでは変換後も16:9のまま表示されます\n"));
    EXPECT_EQ(frame_aspects(file), before);
    std::vector<int64_t> every(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) every[i] = static_cast<int64_t>(i);
    EXPECT_TRUE(read_bytes(file) == rewritten(bytes, matching_headers(bytes, {every}), 3));
}

}  // namespace
