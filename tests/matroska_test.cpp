// Matroska files as ffmpeg and mkvmerge write them: the display elements
// and every parameter set or sequence header take the target, as mkvinfo,
// ffprobe and trace_headers read them; every CRC-32 element still holds
// the CRC of its parent's bytes (checked here, with a CRC of the tests'
// own); only listed bytes change; the pictures decode as before; -u gives
// the file back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y ";

std::string pattern(const std::string& size, const std::string& aspect) {
    return ff + "-f lavfi -i testsrc2=duration=2:size=" + size + ":rate=25 -aspect " + aspect +
           " -preset ultrafast -g 10 ";
}

struct Made {
    const char* name;
    std::string commands;
    // Every frame's sample aspect after the rewrite, as the display
    // elements give it where they are in whole pixels.
    const char* frame_sar;
    const char* set_sar;  // every parameter set's, exactly; "" for MPEG-2 video
    const char* display;  // the display elements
};

class Matroska : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("mkvmerge --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no mkvtoolnix";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    ScratchDir dir_;
};

TEST_F(Matroska, EveryPlaceTakesTheTargetAndTheUndoGivesTheFileBack) {
    const std::string x264 = "-c:v libx264 ";
    const Made cases[] = {
        // ffmpeg: the display aspect itself (DisplayUnit 3), CRC-32 elements.
        {"ffmpeg.mkv", pattern("720x576", "4:3") + x264 + "ffmpeg.mkv", "16:11", "16:11", "20x11"},
        {"inband.mkv", pattern("720x480", "4:3") + x264 + "-f mpegts src.ts && " + ff + "-i src.ts -c copy inband.mkv",
         "40:33", "40:33", "20x11"},
        {"hevc.mkv", pattern("720x576", "16:9") + "-c:v libx265 -x265-params log-level=none hevc.mkv", "12:11",
         "12:11", "15x11"},
        {"mpeg2.mkv", pattern("720x576", "4:3") + "-c:v mpeg2video mpeg2.mkv", "64:45", "", "16x9"},
        // mkvmerge: display sizes in pixels.
        {"merged.mkv", pattern("720x576", "4:3") + x264 + "-f h264 src.h264 && mkvmerge -q -o merged.mkv src.h264",
         "349:240", "16:11", "1047x576"},
        {"merged_hevc.mkv", pattern("720x480", "16:9") + "-c:v libx265 -x265-params log-level=none -f hevc src.hevc && "
                                                         "mkvmerge -q -o merged_hevc.mkv src.hevc",
         "131:144", "10:11", "655x480"},
        {"merged_mpeg2.mkv", pattern("720x480", "16:9") + "-c:v mpeg2video -f mpeg2video src.m2v && "
                                                           "mkvmerge -q -o merged_mpeg2.mkv src.m2v",
         "8:9", "", "640x480"},
    };
    int checksums_seen = 0;
    for (const Made& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(make(c.commands));
        fs::path file = dir_ / c.name;
        Bytes original = read_bytes(file);
        std::string errors = decode_errors(file);
        ASSERT_EQ(run_tool({c.name}, dir_.path()).exit_code, 0);

        EXPECT_EQ(frame_aspects(file), std::set<std::string>{c.frame_sar});
        std::vector<std::string> sets = traced_aspects(file);
        EXPECT_EQ(sets.empty(), std::string(c.set_sar).empty());
        for (const std::string& idc : sets) EXPECT_EQ(traced_sar(idc), c.set_sar);
        EXPECT_EQ(display_of(file), c.display);
        EXPECT_EQ(std::system(("mkvmerge -i " + quoted(file) + " > /dev/null").c_str()), 0);
        EXPECT_EQ(decode_errors(file), errors);
        int checksums = 0;
        EXPECT_EQ(crc_mismatches(file, &checksums), 0);
        checksums_seen += checksums;
        Bytes rewritten = read_bytes(file);
        ASSERT_EQ(rewritten.size(), original.size());
        EXPECT_EQ(change_unlisted(original, rewritten, fs::path(file).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
        fs::remove_all(dir_.path());
        fs::create_directories(dir_.path());
    }
    EXPECT_GT(checksums_seen, 10);  // ffmpeg's files have them
}

// The index of the first element with the ID's bytes.
size_t element_at(const Bytes& file, const Bytes& id) {
    return static_cast<size_t>(std::search(file.begin(), file.end(), id.begin(), id.end()) - file.begin());
}

// A file whose display elements gave way to a Void gets them back in its
// room, and -u takes them out again; a file whose room lies behind its
// CodecPrivate, or whose frames are compressed, or whose Tracks run past
// the file, is left as it was, with the exit code of each.
TEST_F(Matroska, DisplayElementsGoIntoRoomOrNothingIsWritten) {
    ASSERT_TRUE(make(pattern("720x576", "4:3") + "-c:v libx264 -f h264 src.h264 && "
                     "mkvmerge -q -o room.mkv src.h264 && cp room.mkv deleted.mkv && "
                     "mkvpropedit -q deleted.mkv --edit track:v1 --delete display-width --delete display-height && "
                     "mkvmerge -q -o zlib.mkv --compression 0:zlib src.h264"));
    Bytes room = read_bytes(dir_ / "room.mkv");
    size_t width = element_at(room, {0x54, 0xB0});
    ASSERT_EQ(element_at(room, {0x54, 0xBA}), width + 7);  // two elements of 4 data bytes
    Bytes voided = room;
    std::fill(voided.begin() + static_cast<std::ptrdiff_t>(width), voided.begin() + static_cast<std::ptrdiff_t>(width) + 14, 0);
    voided[width] = 0xEC;
    voided[width + 1] = 0x80 | 12;
    write_bytes(dir_ / "room.mkv", voided);
    EXPECT_EQ(display_of(dir_ / "room.mkv"), "-x-");

    EXPECT_EQ(run_tool({"-o3", "room.mkv"}, dir_.path()).exit_code, 0);
    EXPECT_EQ(display_of(dir_ / "room.mkv"), "1047x576");
    EXPECT_EQ(frame_aspects(dir_ / "room.mkv"), std::set<std::string>{"349:240"});
    EXPECT_EQ(run_tool({"-u", "room.mkv"}, dir_.path()).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "room.mkv") == voided);

    Bytes broken = read_bytes(dir_ / "deleted.mkv");
    size_t tracks = element_at(broken, {0x16, 0x54, 0xAE, 0x6B});
    broken[tracks + 4] = 0x01;  // an eight-byte size
    std::fill(broken.begin() + static_cast<std::ptrdiff_t>(tracks) + 5, broken.begin() + static_cast<std::ptrdiff_t>(tracks) + 12, 0x7F);
    write_bytes(dir_ / "broken.mkv", broken);
    const struct {
        const char* name;
        int exit_code;
    } cases[] = {{"deleted.mkv", 12}, {"zlib.mkv", 5}, {"broken.mkv", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes before = read_bytes(dir_ / c.name);
        EXPECT_EQ(run_tool({"-o3", c.name}, dir_.path()).exit_code, c.exit_code);
        EXPECT_TRUE(read_bytes(dir_ / c.name) == before);
        EXPECT_FALSE(fs::exists(fs::path(dir_ / c.name).replace_extension(".ini")));
    }
}

// Display elements in pixels too small to round to the target at their
// height (4x3 on a 384x288 picture, where 16:9 would round to 5x3, a 5:3
// picture) take its shape exactly.
TEST_F(Matroska, TinyDisplayElementsTakeTheTargetsShapeExactly) {
    ASSERT_TRUE(make(pattern("384x288", "1:1") + "-c:v libx264 -f h264 src.h264 && "
                     "mkvmerge -q -o tiny.mkv --display-dimensions 0:4x3 src.h264"));
    ASSERT_EQ(display_of(dir_ / "tiny.mkv"), "4x3");
    Bytes before = read_bytes(dir_ / "tiny.mkv");
    EXPECT_EQ(run_tool({"tiny.mkv"}, dir_.path()).exit_code, 0);
    EXPECT_EQ(display_of(dir_ / "tiny.mkv"), "16x9");
    EXPECT_EQ(probed_display(dir_ / "tiny.mkv"), "16:9");
    EXPECT_EQ(run_tool({"tiny.mkv"}, dir_.path()).exit_code, 4);
    EXPECT_EQ(run_tool({"-u", "tiny.mkv"}, dir_.path()).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "tiny.mkv") == before);
}

// GStreamer's muxers pad the EBML header's DocType and each CodecID with a
// zero byte ("matroska\0", "webm\0"), which EBML allows: their files are
// converted as any other (the display elements and the codec's own places,
// as mkvinfo, ffprobe, trace_headers and the tests' readers see them), and
// -u gives them back. Each encoder is GStreamer's own.
TEST_F(Matroska, GStreamersZeroPaddedStringsReadAsTheirText) {
    struct Muxed {
        const char* name;
        const char* encoder;
        const char* display;  // mkvinfo's, after the run
        const char* shown;    // ffprobe's display aspect
    };
    const Muxed cases[] = {
        {"x264.mkv", "x264enc ! matroskamux", "1047x576", "349:192"},
        {"mpeg4.mkv", "avenc_mpeg4 ! matroskamux", "1047x576", "349:192"},
        {"dv.mkv", "avenc_dvvideo ! matroskamux", "1024x576", "16:9"},
        {"vp8.webm", "vp8enc ! webmmux", "1047x576", "349:192"},
    };
    if (std::system("gst-inspect-1.0 x264enc > /dev/null 2>&1 && "
                    "gst-inspect-1.0 avenc_dvvideo > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no GStreamer encoders";
    }
    for (const Muxed& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = dir_ / c.name;
        ASSERT_TRUE(make(std::string("gst-launch-1.0 -q videotestsrc num-buffers=25 ! "
                                     "video/x-raw,width=720,height=576,pixel-aspect-ratio=16/15 ! ") +
                         c.encoder + " ! filesink location=" + c.name));
        Bytes original = read_bytes(file);
        std::string padded = file.extension() == ".webm" ? std::string("webm\0", 5) : std::string("matroska\0", 9);
        ASSERT_NE(std::search(original.begin(), original.begin() + 40, padded.begin(), padded.end()),
                  original.begin() + 40);
        ASSERT_EQ(run_tool({c.name}, dir_.path()).exit_code, 0);
        EXPECT_EQ(display_of(file), c.display);
        EXPECT_EQ(probed_display(file), c.shown);
        Bytes rewritten = read_bytes(file);
        for (const std::string& idc : traced_aspects(file)) EXPECT_EQ(idc, "255 16:11");
        for (const VolAspect& vol : vol_aspects(rewritten)) EXPECT_EQ(vol.aspect, "15 16:11");
        if (file.stem() == "dv") {
            EXPECT_EQ(disps(demuxed_packs(file)), std::set<int>{2});  // 16:9
        }
        EXPECT_EQ(change_unlisted(original, rewritten, fs::path(file).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
}

#ifndef _WIN32
// A run killed at any of its writes, whether before or after a cluster's
// CRC-32 was set, is finished by running it again: the file then holds
// what one whole run makes of it, every CRC-32 right, and -u gives it back.
TEST_F(Matroska, AKilledRunFinishedAgainLeavesEveryChecksumRight) {
    ASSERT_TRUE(make(pattern("720x480", "4:3") + "-c:v libx264 -f mpegts src.ts && " + ff +
                     "-i src.ts -c copy movie.mkv && cp movie.mkv whole.mkv"));
    Bytes original = read_bytes(dir_ / "movie.mkv");
    fs::path log = dir_ / "journal.log";
    ASSERT_EQ(run_with_shim(dir_ / "whole.mkv", "", {"MORVALEN_JOURNAL=" + log.string()}), 0);
    Bytes whole = read_bytes(dir_ / "whole.mkv");
    size_t writes = journal_positioned_writes(log).size();
    for (size_t kill_at : {size_t{1}, writes / 3, writes / 2, writes}) {
        SCOPED_TRACE("killed at write " + std::to_string(kill_at));
        write_bytes(dir_ / "movie.mkv", original);
        fs::remove(dir_ / "movie.ini");
        run_with_shim(dir_ / "movie.mkv", "", {"MORVALEN_KILL_AT_WRITE=" + std::to_string(kill_at)});
        EXPECT_EQ(run_tool({"movie.mkv"}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / "movie.mkv") == whole);
        int checksums = 0;
        EXPECT_EQ(crc_mismatches(dir_ / "movie.mkv", &checksums), 0);
        EXPECT_EQ(run_tool({"-u", "movie.mkv"}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / "movie.mkv") == original);
    }
}
#endif

}  // namespace
