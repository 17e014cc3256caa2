// Cut, joined and damaged program streams: with -r every header that the
// tests' own demuxer finds past the damage is rewritten, and no other byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "reference_demux.h"
#include "edit_run.h"
#include "judges.h"
#include "support.h"

namespace {

const char* const program_samples[] = {"dvd_ntsc_4x3.mpg", "vcd_pal.mpg", "svcd_pal.mpg",
                                       "mpeg1sys_mpeg2video.mpg"};

Bytes head(const Bytes& stream, size_t n) {
    return Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(n));
}

// The nth 00 00 01 with this byte after it.
size_t nth_code(const Bytes& stream, uint8_t id, size_t n) {
    for (size_t p = 0; p + 4 <= stream.size(); ++p) {
        if (stream[p] == 0 && stream[p + 1] == 0 && stream[p + 2] == 1 && stream[p + 3] == id && n-- == 0) {
            return p;
        }
    }
    return stream.size();
}

struct Damaged {
    std::string what;
    Bytes bytes;
};

// `head -c N a; cat a` at random points and at the awkward ones: inside a
// pack header, a PES header and a sequence header.
std::vector<Damaged> joins_of(const std::string& name, const Bytes& a, std::mt19937* random) {
    std::vector<size_t> cuts = {nth_code(a, 0xBA, 3) + 5, nth_code(a, 0xE0, 4) + 7,
                                nth_code(a, 0xB3, 1) + 3, nth_code(a, 0xB3, 1) + 9};
    for (int k = 0; k < 5; ++k) cuts.push_back(std::uniform_int_distribution<size_t>(1, a.size() - 1)(*random));
    std::vector<Damaged> joins;
    for (size_t cut : cuts) joins.push_back({name + " cut at " + std::to_string(cut), head(a, cut) + a});
    return joins;
}

// A stretch of the file overwritten in mid-file.
Damaged overwritten(const std::string& name, const Bytes& a, size_t at, size_t n, bool zeros,
                    std::mt19937* random) {
    Bytes b = a;
    for (size_t i = at; i < at + n; ++i) b[i] = zeros ? 0 : static_cast<uint8_t>((*random)());
    return {name + (zeros ? " zeroed at " : " garbled at ") + std::to_string(at), b};
}

std::vector<Damaged> damaged_streams() {
    std::mt19937 random(20261207);
    std::vector<Damaged> all;
    for (const char* name : program_samples) {
        Bytes a = read_bytes(sample_path(name));
        for (Damaged& d : joins_of(name, a, &random)) all.push_back(d);
        all.push_back(overwritten(name, a, a.size() / 3, 5000, true, &random));
        all.push_back(overwritten(name, a, a.size() / 2 + 77, 3000, false, &random));
    }
    // Two different recordings glued together.
    Bytes vcd = read_bytes(sample_path("vcd_pal.mpg"));
    Bytes svcd = read_bytes(sample_path("svcd_pal.mpg"));
    Bytes dvd = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    all.push_back({"vcd cut + svcd", head(vcd, 100001) + svcd});
    all.push_back({"svcd cut + dvd + vcd", head(svcd, 54321) + dvd + vcd});
    return all;
}

// A join of the stream to itself whose joint the walk cannot step over
// unnoticed: a packet cut by a joint that runs on into the zeros of a DVD
// navigation pack is followed by what looks like padding.
Bytes join_with_damage(const Bytes& a, size_t cut) {
    for (; cut < a.size(); cut += 1001) {
        Bytes joined = head(a, cut) + a;
        ProgramInfo info;
        program_video_payload(joined, false, &info);
        if (info.stopped_at >= 0) return joined;
    }
    return a;
}

class Damage : public ::testing::Test {
protected:
    ScratchDir dir_;
};

TEST_F(Damage, EveryJoinIsRewrittenExactlyWithRangeSearchAndUndoneWhole) {
    size_t lost_anywhere = 0;
    for (const Damaged& d : damaged_streams()) {
        SCOPED_TRACE(d.what);
        ProgramInfo info;
        std::vector<int64_t> headers = matching_headers(d.bytes, program_video_payload(d.bytes, true, &info));
        ASSERT_FALSE(headers.empty());
        lost_anywhere += info.sync_losses;
        fs::path video = dir_ / "joined.mpg";
        write_bytes(video, d.bytes);
        uint8_t target = d.bytes[headers[0]] >> 4 == 2 ? 3 : 2;
        EngineOutcome o = engine_outcome(video, target, mode_convert, true);
        EXPECT_EQ(o.result, ended_marker_created);
        EXPECT_TRUE(o.video == rewritten(d.bytes, headers, target));
        EngineOutcome undone = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(undone.result, ended_done);
        EXPECT_TRUE(undone.video == d.bytes);
    }
    EXPECT_GT(lost_anywhere, 20u);
}

// The stream after a joint is found again: a join of a stream to itself
// has at least as many headers as the stream.
TEST_F(Damage, TheWholeSecondCopyOfAJoinIsReached) {
    std::mt19937 random(7);
    for (const char* name : program_samples) {
        Bytes a = read_bytes(sample_path(name));
        size_t whole = matching_headers(a, program_video_payload(a)).size();
        for (const Damaged& d : joins_of(name, a, &random)) {
            SCOPED_TRACE(d.what);
            EXPECT_GE(matching_headers(d.bytes, program_video_payload(d.bytes, true)).size(), whole);
        }
    }
}

TEST_F(Damage, TheRunSaysWhatWasSkippedAndFfmpegFindsNoNewErrors) {
    Bytes a = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    Bytes joined = join_with_damage(a, 123457);
    ProgramInfo info;
    program_video_payload(joined, true, &info);
    ASSERT_GT(info.sync_losses, 0u);
    write_bytes(dir_ / "joined.mpg", joined);
    RunResult r = run_tool({"-r", "joined.mpg"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    std::string said = "同期を" + std::to_string(info.sync_losses) + "回失い、" +
                       std::to_string(info.bytes_skipped) + "バイトを飛ばしました";
    EXPECT_NE(r.out.find(cp932(said)), std::string::npos) << said;

    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    write_bytes(dir_ / "before.mpg", joined);
    auto decode_errors = [&](const char* name) {
        std::string command = "cd '" + dir_.path().string() + "' && ffmpeg -v error -i " + name +
                              " -f null - 2>&1 | wc -l > errors.txt";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return std::stoi(read_text(dir_ / "errors.txt"));
    };
    EXPECT_LE(decode_errors("joined.mpg"), decode_errors("before.mpg"));
}

// Without -r the walk stops at the damage and says where, also when the
// damage comes before the first sequence header.
TEST_F(Damage, WithoutRangeSearchTheRunStopsAndSaysWhere) {
    Bytes a = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    Bytes early = a;
    for (size_t i = 2050; i < 2054; ++i) early[i] = 0xFF;
    const Damaged cases[] = {{"four bytes at 2050", early}, {"a join", join_with_damage(a, 200003)}};
    for (const Damaged& d : cases) {
        SCOPED_TRACE(d.what);
        ProgramInfo info;
        std::vector<int64_t> headers = matching_headers(d.bytes, program_video_payload(d.bytes, false, &info));
        ASSERT_GE(info.stopped_at, 0);
        write_bytes(dir_ / "damaged.mpg", d.bytes);
        RunResult r = run_tool({"damaged.mpg"}, dir_.path());
        EXPECT_EQ(r.exit_code, 6);
        std::string said = "位置" + std::to_string(info.stopped_at) + "からストリームが壊れています";
        EXPECT_NE(r.out.find(cp932(said)), std::string::npos) << said;
        EXPECT_TRUE(read_bytes(dir_ / "damaged.mpg") == rewritten(d.bytes, headers, 3));
        fs::remove(dir_ / "damaged.ini");
    }
}

// A container's damage says its own unit and where it lies: a frame chunk
// of an AVI whose size runs past its movi list, and a sample table box of
// an MP4 past its stbl, found here by their codes (the AVI's first frame
// after its movi list's).
TEST_F(Damage, AContainersDamagedUnitIsNamedWithItsPosition) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 0.4 -c:v mpeg2video ";
    ASSERT_TRUE(commands_run(dir_.path(), ff + "movie.avi && " + ff + "movie.mp4"));
    const struct {
        const char* name;
        const char* code;
        bool little_endian;  // its size field, before or after its code
        const char* unit;
    } cases[] = {{"movie.avi", "00dc", true, "チャンク"}, {"movie.mp4", "stsz", false, "ボックス"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = read_bytes(dir_ / c.name);
        std::string code = c.code;
        const std::string movi = "movi";
        auto from = c.little_endian ? std::search(b.begin(), b.end(), movi.begin(), movi.end()) : b.begin();
        size_t at = static_cast<size_t>(std::search(from, b.end(), code.begin(), code.end()) - b.begin());
        ASSERT_LT(at + 8, b.size());
        size_t unit = c.little_endian ? at : at - 4;
        size_t size_at = c.little_endian ? at + 4 : at - 4;
        for (size_t k = 0; k < 4; ++k) b[size_at + (c.little_endian ? 3 - k : k)] = 0x7F;  // past the file
        write_bytes(dir_ / c.name, b);
        RunResult r = run_tool({c.name}, dir_.path());
        EXPECT_EQ(r.exit_code, 6);
        std::string said = "位置" + std::to_string(unit) + "の" + c.unit + "の大きさが";
        EXPECT_NE(r.out.find(cp932(said)), std::string::npos) << said;
        EXPECT_TRUE(read_bytes(dir_ / c.name) == b);
    }
}

}  // namespace
