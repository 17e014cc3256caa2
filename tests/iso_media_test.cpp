// MP4 and MOV files as ffmpeg and GStreamer write them: every place the
// aspect is recorded takes the target, as ffprobe, mediainfo and
// trace_headers read them; only bytes the marker file lists change; the
// pictures decode as before; -u gives the file back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

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

// The tests' own reader of ISO boxes: every box, in file order, with those
// inside the boxes that hold others (stsd's after its entry count, an avc1
// sample entry's after its 78 bytes of fields); false where a size does not
// fit what holds it.
struct BoxSpan {
    std::string type;
    size_t start;
    size_t size;
};

bool boxes_read(const Bytes& b, size_t from, size_t end, std::vector<BoxSpan>* boxes) {
    const std::set<std::string> holders = {"moov", "trak", "mdia", "minf", "stbl", "stsd", "avc1"};
    for (size_t at = from; at < end;) {
        if (end - at < 8) return false;
        size_t size = size_t{b[at]} << 24 | size_t{b[at + 1]} << 16 | size_t{b[at + 2]} << 8 | b[at + 3];
        auto head = b.begin() + static_cast<std::ptrdiff_t>(at);
        std::string type(head + 4, head + 8);
        if (size < 8 || size > end - at) return false;
        boxes->push_back({type, at, size});
        size_t body = type == "stsd" ? 16 : type == "avc1" ? 86 : 8;
        if (holders.count(type) > 0 && !boxes_read(b, at + body, at + size, boxes)) return false;
        at += size;
    }
    return true;
}

// The tests' own box writer: a free box of `size` bytes put at the end of
// the sample entry, inside it or right after it, and every box that holds
// it grown by as much. ffmpeg writes the movie after the samples, so no
// chunk offset moves.
Bytes free_inserted(const Bytes& file, bool inside, uint32_t size) {
    std::vector<BoxSpan> boxes;
    boxes_read(file, 0, file.size(), &boxes);
    size_t entry = 0;
    while (boxes.at(entry).type != "avc1") ++entry;
    const BoxSpan sample_entry = boxes.at(entry);
    size_t at = sample_entry.start + sample_entry.size;
    Bytes grown = file;
    Bytes room(size, 0);
    be32_put(&room, 0, size);
    std::copy_n("free", 4, room.begin() + 4);
    grown.insert(grown.begin() + static_cast<std::ptrdiff_t>(at), room.begin(), room.end());
    for (const BoxSpan& box : boxes) {
        bool around = box.start < sample_entry.start && box.start + box.size >= at;
        bool holds = around || (inside && box.start == sample_entry.start);
        if (holds) be32_put(&grown, box.start, static_cast<uint32_t>(box.size + size));
    }
    return grown;
}

// A phone's kind of file: no pasp, and an SPS that records no aspect. Where
// a free box gives room inside the sample entry or right after it, a pasp
// goes there (ffprobe and mediainfo read it, every box still fits, nothing
// after the room moves) and -u gives the free box back; where none does,
// the run says that players which read the pasp alone show square samples,
// and the listing names the missing pasp.
TEST_F(IsoMedia, APaspGoesIntoTheRoomOfAFreeBoxOrTheRunSaysItIsMissing) {
    ASSERT_TRUE(make(ff + "-f lavfi -i testsrc2=duration=0.4:size=720x576 -vf setsar=0 -c:v libx264 phone.mp4"));
    Bytes phone = read_bytes(dir_ / "phone.mp4");
    std::vector<BoxSpan> boxes;
    ASSERT_TRUE(boxes_read(phone, 0, phone.size(), &boxes));
    for (const BoxSpan& box : boxes) ASSERT_NE(box.type, "pasp");
    const struct {
        const char* name;
        bool inside;
        uint32_t size;
        bool room;
    } cases[] = {{"inside.mp4", true, 40, true}, {"after.mp4", false, 16, true}, {"narrow.mp4", true, 20, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = dir_ / c.name;
        Bytes before = free_inserted(phone, c.inside, c.size);
        write_bytes(file, before);
        std::vector<BoxSpan> made;
        ASSERT_TRUE(boxes_read(before, 0, before.size(), &made));
        auto room = std::find_if(made.begin(), made.end(),
                                 [&](const BoxSpan& b) { return b.type == "free" && b.size == c.size; });
        ASSERT_NE(room, made.end());
        size_t room_end = room->start + room->size;
        RunResult r = run_tool({"-o3", c.name}, dir_.path());
        ASSERT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.find(console_bytes("paspだけを読むプレーヤー")) == std::string::npos, c.room) << r.out;
        Bytes after = read_bytes(file);
        std::vector<BoxSpan> read;
        EXPECT_TRUE(boxes_read(after, 0, after.size(), &read));
        EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(room_end), after.end(),
                               before.begin() + static_cast<std::ptrdiff_t>(room_end)));
        std::string sar = output_of("ffprobe -v error -show_entries stream=sample_aspect_ratio -of csv=p=0 " +
                                    quoted(file));
        EXPECT_EQ(first_line(sar), c.room ? "16:11" : "349:240");
        std::string pixels = output_of("mediainfo --Inform='Video;%PixelAspectRatio%' " + quoted(file));
        if (c.room) {
            EXPECT_EQ(first_line(pixels), "1.455");
        }
        EXPECT_EQ(run_tool({"-l", c.name}, dir_.path()).exit_code, 0);
        std::string listed = read_text(fs::path(file).replace_extension(".txt"));
        if (!c.room) {
            EXPECT_NE(listed.find(cp932("pasp なし(書き込む空きがありません)")), std::string::npos);
        }
        EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == before);
    }
}

}  // namespace
