// A place of several bytes (a parameter set's changed bytes, a pixel
// aspect, a track header's width, Matroska's display elements and CRC-32s)
// goes to the file in one write, so that a run killed between writes or cut
// inside one leaves what -u alone gives back byte for byte; and -u leaves
// whole a place that holds another run's bytes.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "judges.h"
#include "support.h"

#ifndef _WIN32
namespace {

const std::string ff = "ffmpeg -loglevel error -y ";

// H.264 at 720x480 shown 4:3, through a transport stream into MP4 (pasp,
// tkhd, avcC and the parameter sets in the samples) and into Matroska
// (CRC-32 elements over every cluster, display elements, CodecPrivate).
std::string clips(int seconds, const std::string& rate) {
    return ff + "-f lavfi -i testsrc2=duration=" + std::to_string(seconds) +
           ":size=720x480:rate=25 -aspect 4:3 -preset ultrafast -g 10 -c:v libx264 " + rate +
           " -f mpegts src.ts && " + ff + "-i src.ts -c copy movie.mp4 && " + ff + "-i src.ts -c copy track.mkv";
}

struct VideoWrite {
    int64_t offset;
    size_t count;
};

class Places : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }

    // The positioned writes of a whole run on a copy of the file, in order.
    std::vector<VideoWrite> writes_of(const std::string& name) {
        fs::path copy = dir_ / ("whole" + fs::path(name).extension().string());
        fs::copy_file(dir_ / name, copy, fs::copy_options::overwrite_existing);
        fs::path log = dir_ / "journal.log";
        fs::remove(log);
        EXPECT_EQ(run_with_shim(copy, "", {"MORVALEN_JOURNAL=" + log.string()}), 0);
        fs::remove(fs::path(copy).replace_extension(".ini"));
        std::ifstream in(log);
        std::vector<VideoWrite> writes;
        std::string kind, path;
        while (in >> kind >> path) {
            VideoWrite w = {0, 0};
            if (kind == "W") in >> w.offset >> w.count;
            if (kind == "W" && path == copy.string()) writes.push_back(w);
        }
        return writes;
    }

    // The file as it was, a run on it stopped by the shim's setting, and
    // then -u alone: the file comes back byte for byte, the marker goes.
    void stopped_then_undone(const std::string& name, const Bytes& original, const std::string& setting) {
        SCOPED_TRACE(name + " " + setting);
        fs::path video = dir_ / name;
        write_bytes(video, original);
        fs::remove(fs::path(video).replace_extension(".ini"));
        int status = run_with_shim(video, "", {setting});
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(run_tool({"-u", name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == original);
        EXPECT_FALSE(fs::exists(fs::path(video).replace_extension(".ini")));
    }
    ScratchDir dir_;
};

// The shim cuts a write of several bytes before its last byte (a CRC-32
// with 3 of its 4 bytes new, a pixel aspect pair half written) and kills
// the run.
TEST_F(Places, AWriteCutInsideAPlaceIsUndone) {
    ASSERT_TRUE(make(clips(2, "")));
    for (const std::string name : {"movie.mp4", "track.mkv"}) {
        Bytes original = read_bytes(dir_ / name);
        std::vector<VideoWrite> writes = writes_of(name);
        size_t places = 0;
        for (size_t n = 1; n <= writes.size(); ++n) {
            if (writes[n - 1].count < 2) continue;
            ++places;
            stopped_then_undone(name, original, "MORVALEN_TEAR_AT_WRITE=" + std::to_string(n));
        }
        EXPECT_GE(places, 4u) << name << ": places of several bytes, each in one write";
    }
}

// A rewrite of a larger file killed at a write, in its first batch or a
// later one, then -u alone. And one killed half way and then finished
// with another target: its marker names two, and -u takes either.
TEST_F(Places, AKilledRunIsUndoneAlone) {
    ASSERT_TRUE(make(clips(10, "-b:v 8M")));
    for (const std::string name : {"movie.mp4", "track.mkv"}) {
        Bytes original = read_bytes(dir_ / name);
        size_t writes = writes_of(name).size();
        for (size_t n : {size_t{1}, writes / 3, writes / 2, writes * 2 / 3, writes}) {
            stopped_then_undone(name, original, "MORVALEN_KILL_AT_WRITE=" + std::to_string(n));
        }
        write_bytes(dir_ / name, original);
        run_with_shim(dir_ / name, "-o1", {"MORVALEN_KILL_AT_WRITE=" + std::to_string(writes / 2)});
        EXPECT_EQ(run_tool({"-o3", name}, dir_.path()).exit_code, 0);
        EXPECT_EQ(run_tool({"-u", name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / name) == original) << name;
    }
}

// A pixel aspect that another run wrote (one of a copy converted to
// square samples, its bytes copied over) is no longer the marker's: -u
// leaves all of it, says so (exit 8) and keeps the marker, and puts back
// every other place.
TEST_F(Places, APlaceAnotherRunWroteIsLeftWhole) {
    ASSERT_TRUE(make(clips(2, "") + " && cp movie.mp4 other.mp4"));
    Bytes original = read_bytes(dir_ / "movie.mp4");
    ASSERT_EQ(run_tool({"movie.mp4"}, dir_.path()).exit_code, 0);
    ASSERT_EQ(run_tool({"-o1", "other.mp4"}, dir_.path()).exit_code, 0);
    Bytes other = read_bytes(dir_ / "other.mp4");
    Bytes converted = read_bytes(dir_ / "movie.mp4");
    const char pasp[] = "pasp";
    size_t at = std::search(other.begin(), other.end(), pasp, pasp + 4) - other.begin() + 4;
    ASSERT_LT(at + 8, other.size());
    std::copy(other.begin() + at, other.begin() + at + 8, converted.begin() + at);
    write_bytes(dir_ / "movie.mp4", converted);

    EXPECT_EQ(run_tool({"-u", "movie.mp4"}, dir_.path()).exit_code, 8);
    Bytes expected = original;
    std::copy(other.begin() + at, other.begin() + at + 8, expected.begin() + at);
    EXPECT_TRUE(read_bytes(dir_ / "movie.mp4") == expected);
    EXPECT_TRUE(fs::exists(dir_ / "movie.ini"));
}

// DV's packs lie a few bytes apart in each DIF sequence: they share one
// write a sequence, the bytes between written as the walk read them. The
// bytes that change are the marker's alone, and a run torn inside such a
// write, or killed in its first batch or a later one, is undone byte for
// byte.
TEST_F(Places, PlacesCloseTogetherShareAWrite) {
    ASSERT_TRUE(make(ff + "-f lavfi -i testsrc=size=720x576:rate=25 -t 2 -target pal-dv -aspect 4:3 movie.dv"));
    Bytes original = read_bytes(dir_ / "movie.dv");
    std::vector<VideoWrite> writes = writes_of("movie.dv");
    size_t sequences = original.size() / 12000;
    EXPECT_LE(writes.size(), sequences);
    ASSERT_EQ(run_tool({"movie.dv"}, dir_.path()).exit_code, 0);
    Bytes after = read_bytes(dir_ / "movie.dv");
    std::istringstream lines(marker_positions(read_text(dir_ / "movie.ini")));
    std::string line;
    std::getline(lines, line);  // the first byte
    std::vector<int64_t> listed;
    while (std::getline(lines, line)) listed.push_back(std::stoll(line));
    std::vector<int64_t> changed;
    for (size_t k = 0; k < after.size(); ++k) {
        if (after[k] != original[k]) changed.push_back(static_cast<int64_t>(k));
    }
    EXPECT_EQ(changed, listed);
    EXPECT_EQ(changed.size(), sequences * 6);
    fs::remove(dir_ / "movie.ini");
    for (size_t n : {size_t{1}, writes.size() / 2, writes.size()}) {
        stopped_then_undone("movie.dv", original, "MORVALEN_TEAR_AT_WRITE=" + std::to_string(n));
        stopped_then_undone("movie.dv", original, "MORVALEN_KILL_AT_WRITE=" + std::to_string(n));
    }
}

}  // namespace
#endif
