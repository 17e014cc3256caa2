// FLV files as ffmpeg writes them: H.264 whose parameter sets lie in the
// sequence header's avcC alone, or in key frames too (dump_extra); each
// takes the target, as trace_headers and ffprobe read it, only listed
// bytes change, the pictures decode as before, and -u gives the file back
// byte for byte. Sorenson Spark, an SPS without aspect information, -c,
// and a damaged tag are refused untouched; a file cut short is walked as
// far as it goes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=duration=1:rate=25:size=";
const std::string x264 = "-c:v libx264 -preset ultrafast -g 10 ";

class Flv : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    bool says(const RunResult& r, const std::string& utf8) const {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    ScratchDir dir_;
};

// The lines of a list file that name a parameter set's position.
size_t listed_sets(const std::string& list) {
    size_t count = 0;
    for (size_t at = list.find("SAR "); at != std::string::npos; at = list.find("SAR ", at + 1)) ++count;
    return count;
}

TEST_F(Flv, EveryParameterSetTakesTheTargetAndUndoGivesTheFileBack) {
    struct Made {
        const char* name;
        std::string commands;
        size_t sets;  // as trace_headers reads them: the avcC's, then the key frames'
    };
    const Made cases[] = {
        {"header.flv", ff + "720x576 -aspect 16:9 " + x264 + "header.flv", 1},
        {"inband.flv", ff + "720x576 -aspect 16:9 " + x264 + "-bsf:v dump_extra inband.flv", 4},
    };
    for (const Made& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(make(c.commands));
        fs::path file = dir_ / c.name;
        Bytes original = read_bytes(file);
        std::string sums = frame_sums(file);
        ASSERT_EQ(traced_aspects(file), std::vector<std::string>(c.sets, "255 64:45"));

        ASSERT_EQ(run({"-l", c.name}).exit_code, 0);
        EXPECT_EQ(listed_sets(read_text(fs::path(file).replace_extension(".txt"))), c.sets);
        RunResult r = run({c.name});
        ASSERT_EQ(r.exit_code, 0);
        EXPECT_TRUE(says(r, "FLV H.264 720x576 SAR 64:45->12:11 0:00:00.960")) << r.out;
        EXPECT_EQ(traced_aspects(file), std::vector<std::string>(c.sets, "255 12:11"));
        EXPECT_EQ(output_of("ffprobe -v error -show_entries stream=sample_aspect_ratio -of csv=p=0 " + quoted(file)),
                  "12:11\n");
        EXPECT_EQ(read_bytes(file).size(), original.size());
        EXPECT_EQ(change_unlisted(original, read_bytes(file), fs::path(file).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(frame_sums(file), sums);

        EXPECT_EQ(run({c.name}).exit_code, 4);
        ASSERT_EQ(run({"-o3", c.name}).exit_code, 0);
        EXPECT_EQ(probed_display(file), "20:11");
        EXPECT_EQ(run({"-u", c.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
}

// Nothing is written where the file holds no place that takes the target:
// Spark's pictures record none, an SPS without aspect information cannot
// get one in place, and -c finds no place of the container's own; a tag
// whose type does not read is damage. A file cut short is done as far as
// it goes.
TEST_F(Flv, RefusalsChangeNothingAndACutFileIsWalkedToItsEnd) {
    ASSERT_TRUE(make(ff + "320x240 -c:v flv spark.flv && " + ff + "720x576 -vf setsar=0 " + x264 + "bare.flv && " + ff +
                     "720x576 -aspect 4:3 " + x264 + "-bsf:v dump_extra whole.flv"));
    Bytes whole = read_bytes(dir_ / "whole.flv");
    Bytes damaged = whole;
    // The first video tag's head, after the file's 9 bytes, their size and
    // ffmpeg's script data tag: its type no FLV tag has.
    size_t script_end = 13 + 11 + (size_t{whole[14]} << 16 | size_t{whole[15]} << 8 | whole[16]) + 4;
    ASSERT_EQ(whole[script_end], 9);
    damaged[script_end] = 7;
    write_bytes(dir_ / "damaged.flv", damaged);
    write_bytes(dir_ / "bare_c.flv", whole);
    struct Refused {
        std::vector<std::string> args;
        int exit_code;
        std::string said;
    };
    const Refused cases[] = {
        {{"spark.flv"}, 5, "Sorenson Sparkのビデオは変換できません"},
        {{"-o3", "bare.flv"}, 10, "SPSにアスペクト情報がないため"},
        {{"-c", "bare_c.flv"}, 12, "このファイルにはコンテナの場所がありません"},
        {{"damaged.flv"}, 6,
         "位置" + std::to_string(script_end) + "のタグの種類か大きさが、前後の記録と合いません"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.args.back());
        Bytes before = read_bytes(dir_ / c.args.back());
        RunResult r = run(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code);
        EXPECT_TRUE(says(r, c.said)) << r.out;
        EXPECT_TRUE(read_bytes(dir_ / c.args.back()) == before);
    }

    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 2 / 3));
    write_bytes(dir_ / "cut.flv", cut);
    RunResult r = run({"cut.flv"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(says(r, "ファイルは" + std::to_string(cut.size()) + "バイトで途切れています")) << r.out;
    std::vector<std::string> sets = traced_aspects(dir_ / "cut.flv");
    EXPECT_GE(sets.size(), 2u);
    for (const std::string& idc : sets) EXPECT_EQ(idc, "255 16:11");
    EXPECT_EQ(change_unlisted(cut, read_bytes(dir_ / "cut.flv"), dir_ / "cut.ini"), SIZE_MAX);
    EXPECT_EQ(run({"-u", "cut.flv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "cut.flv") == cut);
}

}  // namespace
