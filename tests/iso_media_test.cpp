// MP4 and MOV files as ffmpeg and GStreamer write them: every place the
// aspect is recorded takes the target, as ffprobe, mediainfo and
// trace_headers read them; only bytes the marker file lists change; the
// pictures decode as before; -u gives the file back byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y ";
const std::string gst = "gst-launch-1.0 -q filesrc location=src.mkv ! matroskademux ! h264parse ! ";

// Two seconds of ffmpeg's test pattern at the size, with the display aspect.
std::string pattern(const std::string& size, const std::string& aspect) {
    return ff + "-f lavfi -i testsrc2=duration=2:size=" + size + ":rate=25 -aspect " + aspect +
           " -preset ultrafast -g 10 ";
}

struct Made {
    const char* name;
    std::string commands;
    const char* sar;    // every frame's and parameter set's sample aspect after the rewrite
    bool sets;          // H.264 or HEVC: parameter sets that trace_headers reads
    const char* shape;  // the display aspect mediainfo reads in the container
};

std::string shape_of(const fs::path& file) {
    std::string out = output_of("mediainfo --Inform='Video;%DisplayAspectRatio/String%' " + quoted(file));
    return out.substr(0, out.find_first_of("\r\n"));
}

class IsoMedia : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    ScratchDir dir_;
};

TEST_F(IsoMedia, EveryPlaceTakesTheTargetAndTheUndoGivesTheFileBack) {
    const std::string x264 = "-c:v libx264 ";
    const std::string x265 = "-c:v libx265 -x265-params log-level=none ";
    const std::string mpeg2 = "-c:v mpeg2video -b:v 2M ";
    const Made cases[] = {
        {"movie.mp4", pattern("720x576", "4:3") + x264 + "movie.mp4", "16:11", true, "16:9"},
        {"frag.mp4", pattern("720x576", "16:9") + x264 + "-movflags frag_keyframe+empty_moov frag.mp4", "12:11", true,
         "4:3"},
        {"apple.mov", pattern("720x480", "16:9") + x264 + "apple.mov", "10:11", true, "4:3"},
        // Parameter sets in the samples: a transport stream remuxed, as avc1 and as avc3.
        {"remux.mp4", pattern("720x480", "4:3") + x264 + "-f mpegts src.ts && " + ff + "-i src.ts -c copy remux.mp4",
         "40:33", true, "16:9"},
        {"avc3.mp4", pattern("720x576", "4:3") + x264 + "-f mpegts src.ts && " + ff +
                         "-i src.ts -c copy -tag:v avc3 avc3.mp4",
         "16:11", true, "16:9"},
        {"hevc.mp4", pattern("720x576", "4:3") + x265 + "-tag:v hvc1 hevc.mp4", "16:11", true, "16:9"},
        {"hev1.mp4", pattern("720x576", "16:9") + x265 + "-f mpegts src.ts && " + ff +
                         "-i src.ts -c copy -tag:v hev1 hev1.mp4",
         "12:11", true, "4:3"},
        // No pasp: the sample aspect only in the parameter sets, the track header square.
        {"nopasp.mp4", pattern("720x576", "4:3") + "-vf setsar=0 " + x264 + "-f h264 src.h264 && " + ff +
                           "-r 25 -i src.h264 -c copy -bsf:v h264_metadata=sample_aspect_ratio=16/15 nopasp.mp4",
         "16:11", true, "16:9"},
        {"mpeg2.mp4", pattern("720x576", "4:3") + mpeg2 + "mpeg2.mp4", "64:45", false, "16:9"},
        {"mpeg2.mov", pattern("720x480", "16:9") + mpeg2 + "mpeg2.mov", "8:9", false, "4:3"},
        {"gst.mp4", pattern("720x576", "4:3") + x264 + "src.mkv && " + gst + "mp4mux ! filesink location=gst.mp4",
         "16:11", true, "16:9"},
        {"gst.mov", pattern("720x576", "4:3") + x264 + "src.mkv && " + gst + "qtmux ! filesink location=gst.mov",
         "16:11", true, "16:9"},
    };
    bool gstreamer = std::system("gst-launch-1.0 --version > /dev/null 2>&1") == 0;
    bool mediainfo = std::system("mediainfo --version > /dev/null 2>&1") == 0;
    for (const Made& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.commands.find("gst-launch") != std::string::npos && !gstreamer) continue;
        ASSERT_TRUE(make(c.commands));
        fs::path file = dir_ / c.name;
        Bytes original = read_bytes(file);
        std::string errors = decode_errors(file);
        ASSERT_EQ(run_tool({c.name}, dir_.path()).exit_code, 0);

        EXPECT_EQ(frame_aspects(file), std::set<std::string>{c.sar});
        std::vector<std::string> sets = traced_aspects(file);
        EXPECT_EQ(sets.empty(), !c.sets);
        for (const std::string& idc : sets) EXPECT_EQ(traced_sar(idc), c.sar);
        if (mediainfo) {
            EXPECT_EQ(shape_of(file), c.shape);
        }
        EXPECT_EQ(decode_errors(file), errors);
        Bytes rewritten = read_bytes(file);
        ASSERT_EQ(rewritten.size(), original.size());
        EXPECT_EQ(change_unlisted(original, rewritten, fs::path(file).replace_extension(".ini")), SIZE_MAX);

        EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
        fs::remove_all(dir_.path());
        fs::create_directories(dir_.path());
    }
}

// The index of a box's size field, found by its type.
size_t box_at(const Bytes& file, const char* type) {
    for (size_t i = 4; i + 4 <= file.size(); ++i) {
        if (std::equal(type, type + 4, file.begin() + static_cast<std::ptrdiff_t>(i))) return i - 4;
    }
    return 0;
}

void be32_put(Bytes* file, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) (*file)[at + k] = static_cast<uint8_t>(value >> (24 - 8 * k));
}

// Each is refused before a byte is written, with its own exit code.
TEST_F(IsoMedia, WhatCannotBeChangedWholeIsLeftAsItWas) {
    ASSERT_TRUE(make(pattern("720x576", "4:3") + "-c:v libx264 movie.mp4 && " + ff +
                     "-i movie.mp4 -c copy -encryption_scheme cenc-aes-ctr -encryption_key "
                     "76a6c65c5ea762046bd749a2e632ccbb -encryption_kid a7e61c373e219033c21091fa607bf3b8 "
                     "encrypted.mp4 && " + ff +
                     "-f lavfi -i testsrc2=duration=1:size=720x576 -vf setsar=0 -c:v libx264 noaspect.mp4"));
    Bytes movie = read_bytes(dir_ / "movie.mp4");
    Bytes cut(movie.begin(), movie.begin() + static_cast<std::ptrdiff_t>(movie.size() / 2));  // before its moov
    Bytes broken = movie;
    be32_put(&broken, box_at(movie, "trak"), 0x7FFFFFF0);
    Bytes outside = movie;
    be32_put(&outside, box_at(movie, "stco") + 16, static_cast<uint32_t>(movie.size()));
    Bytes no_height = movie;
    be32_put(&no_height, box_at(movie, "tkhd") + 8 + 80, 0);
    // Sample tables that leave samples out: none per chunk, no chunk runs,
    // no sizes.
    Bytes none_per_chunk = movie;
    be32_put(&none_per_chunk, box_at(movie, "stsc") + 20, 0);
    Bytes no_runs = movie;
    be32_put(&no_runs, box_at(movie, "stsc") + 12, 0);
    Bytes no_sizes = movie;
    be32_put(&no_sizes, box_at(movie, "stsz") + 16, 0);
    write_bytes(dir_ / "perchunk.mp4", none_per_chunk);
    write_bytes(dir_ / "noruns.mp4", no_runs);
    write_bytes(dir_ / "nosizes.mp4", no_sizes);
    write_bytes(dir_ / "cut.mp4", cut);
    write_bytes(dir_ / "broken.mp4", broken);
    write_bytes(dir_ / "outside.mp4", outside);
    write_bytes(dir_ / "noheight.mp4", no_height);
    const struct {
        const char* name;
        int exit_code;
    } cases[] = {{"encrypted.mp4", 5},  {"cut.mp4", 6},      {"broken.mp4", 6},      {"outside.mp4", 6},
                 {"perchunk.mp4", 6},   {"noruns.mp4", 6},   {"nosizes.mp4", 6},     {"noheight.mp4", 12},
                 {"noaspect.mp4", 4}};  // its SPS is no place: 720x576 shows 5:4, no default
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes before = read_bytes(dir_ / c.name);
        EXPECT_EQ(run_tool({c.name}, dir_.path()).exit_code, c.exit_code);
        EXPECT_TRUE(read_bytes(dir_ / c.name) == before);
        EXPECT_FALSE(fs::exists(fs::path(dir_ / c.name).replace_extension(".ini")));
    }
}

// A track whose header box is damaged (its type no longer reads) keeps
// its other places: they change, and nothing is written where the header
// would have told.
TEST_F(IsoMedia, ATrackWithoutItsHeaderChangesItsOtherPlacesOnly) {
    fs::path file = copy_sample(dir_, "mp4_h264.mp4");
    Bytes original = read_bytes(file);
    size_t header = box_at(original, "tkhd");
    original[header + 7] = 'x';
    write_bytes(file, original);
    EXPECT_EQ(run_tool({"mp4_h264.mp4"}, dir_.path()).exit_code, 0);
    Bytes rewritten = read_bytes(file);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 64, rewritten.begin()));
    EXPECT_TRUE(std::equal(original.begin() + static_cast<std::ptrdiff_t>(header),
                           original.begin() + static_cast<std::ptrdiff_t>(header) + 92,
                           rewritten.begin() + static_cast<std::ptrdiff_t>(header)));
    EXPECT_EQ(frame_aspects(file), std::set<std::string>{"16:11"});
    EXPECT_EQ(run_tool({"-u", "mp4_h264.mp4"}, dir_.path()).exit_code, 0);
    EXPECT_TRUE(read_bytes(file) == original);
}

}  // namespace
