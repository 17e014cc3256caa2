// Files whose places disagree on the aspect, as ffmpeg and mkvmerge make
// them: a run goes by what the most common players show (a container's own
// field over the parameter sets), finishes and never swaps back, and where
// every place holds the target within the rounding its field allows it
// writes nothing and says so. Judged by ffprobe, mkvinfo, mediainfo and
// trace_headers; -u gives each file back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "codecs/sar.h"
#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y ";

std::string pattern(const std::string& size, const std::string& aspect) {
    return ff + "-f lavfi -i testsrc2=duration=2:size=" + size + ":rate=25 -aspect " + aspect +
           " -preset ultrafast -g 10 -c:v libx264 ";
}

// The sample aspect ffprobe gives the stream: what players of its family show.
std::string shown_of(const fs::path& file) {
    std::string out = output_of("ffprobe -v error -select_streams v -show_entries stream=sample_aspect_ratio "
                                "-of csv=p=0 " + quoted(file));
    return out.substr(0, out.find_first_of(",\r\n"));
}

bool every_set(const fs::path& file, const std::string& sar) {
    std::vector<std::string> sets = traced_aspects(file);
    auto holds = [&](const std::string& set) { return traced_sar(set) == sar; };
    return !sets.empty() && std::all_of(sets.begin(), sets.end(), holds);
}

bool says(const RunResult& r, const std::string& utf8) {
    return r.out.find(console_bytes(utf8)) != std::string::npos;
}

// The track header's display size of an MP4 file made by ffmpeg (version 0).
size_t display_size_at(const Bytes& file) {
    const std::string type = "tkhd";
    return static_cast<size_t>(std::search(file.begin(), file.end(), type.begin(), type.end()) - file.begin()) + 80;
}

class ShownAspect : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("mkvmerge --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no mkvtoolnix";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    // A run that finds nothing to do: exit 4, the file and its marker file as they were.
    void nothing_written(const std::vector<std::string>& args, const fs::path& file) {
        Bytes before = read_bytes(file);
        fs::path marker = fs::path(file).replace_extension(".ini");
        std::string record = fs::exists(marker) ? read_text(marker) : "";
        RunResult r = run(args);
        EXPECT_EQ(r.exit_code, 4);
        EXPECT_FALSE(says(r, "変換済"));
        EXPECT_TRUE(read_bytes(file) == before);
        EXPECT_EQ(fs::exists(marker) ? read_text(marker) : "", record);
    }
    ScratchDir dir_;
};

// 16:9 in the container over 4:3 parameter sets: the first run makes it
// 4:3 everywhere, the next ones say it was converted from 16:9 already.
TEST_F(ShownAspect, ContainerOverSetsConvertsOnceFromWhatItShows) {
    const std::string source = pattern("720x576", "4:3");
    // Matroska's display width is whole pixels: 785 for 785.45.
    const struct {
        const char* name;
        std::string commands;
        const char* shown_after;
    } cases[] = {
        {"copy.mp4", source + "src.mp4 && " + ff + "-i src.mp4 -c copy -aspect 16:9 copy.mp4", "12:11"},
        {"ratio.mkv", source + "-f h264 src.h264 && mkvmerge -q -o ratio.mkv --aspect-ratio 0:16/9 src.h264",
         "157:144"},
        {"dims.mkv", source + "-f h264 src.h264 && mkvmerge -q -o dims.mkv --display-dimensions 0:1024x576 src.h264",
         "157:144"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(make(c.commands));
        fs::path file = dir_ / c.name;
        ASSERT_EQ(shown_of(file), "64:45");
        ASSERT_TRUE(every_set(file, "16:15"));
        Bytes original = read_bytes(file);
        EXPECT_EQ(run({c.name}).exit_code, 0);
        EXPECT_EQ(shown_of(file), c.shown_after);
        EXPECT_TRUE(every_set(file, "12:11"));
        for (int again = 0; again < 2; ++again) {
            nothing_written({c.name}, file);
        }
        EXPECT_EQ(run({"-u", c.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
}

// Square samples in the container over 4:3 parameter sets: a shape that
// is neither 4:3 nor 16:9 has no default; -o3 makes every place 16:9.
TEST_F(ShownAspect, ASquareContainerWaitsForTheTargetToBeGiven) {
    ASSERT_TRUE(make(pattern("720x576", "4:3") + "src.mp4 && " + ff + "-i src.mp4 -c copy -aspect 5:4 square.mp4"));
    fs::path file = dir_ / "square.mp4";
    ASSERT_EQ(shown_of(file), "1:1");
    nothing_written({"square.mp4"}, file);
    EXPECT_EQ(run({"-o3", "square.mp4"}).exit_code, 0);
    EXPECT_EQ(shown_of(file), "16:11");
    EXPECT_TRUE(every_set(file, "16:11"));
}

// Each field judged with the rounding it allows: mkvmerge's display width
// in whole pixels (1047 for 1047.27), ffmpeg's 16.16 track header width
// (853.3333); a track header of 0x0 is no place, and is listed as such.
TEST_F(ShownAspect, EveryPlaceHoldingTheTargetAsNearAsItCanIsDone) {
    ASSERT_TRUE(make(pattern("720x576", "20:11") + "-f h264 src.h264 && mkvmerge -q -o rounded.mkv src.h264 && " +
                     pattern("640x480", "16:9") + "exact.mp4 && " + pattern("720x576", "20:11") + "header.mp4"));
    ASSERT_NE(output_of("mkvinfo " + quoted(dir_ / "rounded.mkv")).find("Display width: 1047"), std::string::npos);
    Bytes header = read_bytes(dir_ / "header.mp4");
    std::fill_n(header.begin() + static_cast<std::ptrdiff_t>(display_size_at(header)), 8, 0);
    write_bytes(dir_ / "header.mp4", header);
    for (const char* name : {"rounded.mkv", "exact.mp4", "header.mp4"}) {
        SCOPED_TRACE(name);
        nothing_written({"-o3", name}, dir_ / name);
        EXPECT_FALSE(fs::exists(fs::path(dir_ / name).replace_extension(".ini")));
    }
    EXPECT_EQ(run({"-l", "header.mp4"}).exit_code, 0);
    EXPECT_NE(read_text(dir_ / "header.txt").find(cp932("tkhd 0x0 表示サイズなし")), std::string::npos);
}

// An SPS whose aspect_ratio_idc is 0 says nothing: the track header of
// the picture's size shows square samples, 4:3 at 640x480, and the run
// makes it 16:9, the SPS taking the table's 4:3 samples.
TEST_F(ShownAspect, AnUnspecifiedSetGoesByTheContainer) {
    ASSERT_TRUE(make(ff + "-f lavfi -i testsrc2=duration=1:size=640x480:rate=25 -vf setsar=1 -c:v libx264 "
                     "-f h264 src.h264"));
    std::string trace = output_of("ffmpeg -hide_banner -i " + quoted(dir_ / "src.h264") +
                                  " -c copy -bsf:v trace_headers -f null - 2>&1");
    size_t field = trace.find(" aspect_ratio_idc ");
    ASSERT_NE(field, std::string::npos);
    size_t bit = static_cast<size_t>(std::atoi(trace.c_str() + trace.rfind(']', field) + 1));
    // The raw stream opens with the SPS after a four-byte start code; each
    // copy of it gets the eight bits of its idc cleared.
    Bytes stream = read_bytes(dir_ / "src.h264");
    Bytes set(stream.begin() + 4, stream.begin() + 4 + static_cast<std::ptrdiff_t>(bit / 8 + 2));
    for (auto at = stream.begin(); (at = std::search(at, stream.end(), set.begin(), set.end())) != stream.end(); ++at) {
        for (size_t b = bit; b < bit + 8; ++b) {
            at[static_cast<std::ptrdiff_t>(b / 8)] &= static_cast<uint8_t>(~(0x80 >> (b % 8)));
        }
    }
    write_bytes(dir_ / "src.h264", stream);
    ASSERT_TRUE(make(ff + "-r 25 -i src.h264 -c copy unspecified.mp4"));
    fs::path file = dir_ / "unspecified.mp4";
    std::vector<std::string> sets = traced_aspects(file);
    ASSERT_FALSE(sets.empty());
    ASSERT_EQ(sets, std::vector<std::string>(sets.size(), "0"));
    Bytes original = read_bytes(file);
    EXPECT_EQ(run({"unspecified.mp4"}).exit_code, 0);
    EXPECT_TRUE(every_set(file, "4:3"));
    EXPECT_EQ(output_of("mediainfo --Inform='Video;%DisplayAspectRatio/String%' " + quoted(file)).substr(0, 4), "16:9");
    EXPECT_EQ(run({"-u", "unspecified.mp4"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(file) == original);
}

// Earlier builds wrote whole pixels into the track header and no shown=
// line: their undo still takes it back, and so does one after a rerun
// that made the width exact.
TEST_F(ShownAspect, AWholePixelWidthOfAnEarlierBuildIsUndone) {
    ASSERT_TRUE(make(pattern("720x576", "4:3") + "movie.mp4"));
    fs::path file = dir_ / "movie.mp4";
    Bytes original = read_bytes(file);
    ASSERT_EQ(run({"movie.mp4"}).exit_code, 0);
    Bytes earlier = read_bytes(file);
    size_t width = display_size_at(earlier);
    earlier[width + 2] = earlier[width + 3] = 0;  // 1047.27 as 1047
    std::string marker = read_text(dir_ / "movie.ini");
    size_t shown = marker.find("shown=");
    ASSERT_NE(shown, std::string::npos);
    marker.erase(shown, marker.find('\n', shown) + 1 - shown);
    for (bool rerun : {false, true}) {
        SCOPED_TRACE(rerun ? "after a rerun" : "as it was left");
        write_bytes(file, earlier);
        write_bytes(dir_ / "movie.ini", Bytes(marker.begin(), marker.end()));
        if (rerun) {
            EXPECT_EQ(run({"movie.mp4"}).exit_code, 0);
        }
        EXPECT_EQ(run({"-u", "movie.mp4"}).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
}

// A width reads as the simplest aspect that rounds to it, as a change
// writes it; one that no simpler aspect gives reads exactly.
TEST(WidthReading, AWidthReadsAsTheAspectThatWritesIt) {
    auto same = [](SarRatio a, uint32_t w, uint32_t h) { return a.width == w && a.height == h; };
    EXPECT_TRUE(same(sar_of_width(1047, 576, 720, 576), 16, 11));
    EXPECT_TRUE(same(sar_of_width(0x3555555, 480 << 16, 640, 480), 4, 3));
    EXPECT_TRUE(same(sar_of_width(uint64_t{1047} << 16, uint64_t{576} << 16, 720, 576), 349, 240));
    EXPECT_TRUE(same(sar_of_width(0, 576, 720, 576), 0, 0));
    uint64_t across = (uint64_t{480} << 16) * 640;
    EXPECT_TRUE(scaled_within_one(0x3555555, across, 4, 480 * 3));
    EXPECT_FALSE(scaled_within_one(uint64_t{853} << 16, across, 4, 480 * 3));
}

}  // namespace
