// The marker file's promises where runs meet a file's later life: a run
// killed after its last change, before it put the time back; a recording
// that grew after it was converted; what a run that finishes another
// changes the video from; and the list files of two videos of one name.
#include <gtest/gtest.h>

#include <fstream>

#include "judges.h"
#include "support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#endif

namespace {

bool says(const RunResult& r, const std::string& utf8) {
    return r.out.find(console_bytes(utf8)) != std::string::npos;
}

std::string first_line(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

class MarkerPromises : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    ScratchDir dir_;
};

// A DV recording converted while it was being made, then grown to its
// end: the same video. A run converts what lies past the old end to the
// marker's target, a listing lists it, -u gives back the whole recording.
// A larger file of another video under the name is refused, with the
// advice to rename the marker.
TEST_F(MarkerPromises, ARecordingThatGrewAfterItsRunIsFinishedAndUndone) {
    const Bytes whole = read_bytes(sample_path("dv_pal.dv"));
    const size_t cut = 150000;  // into the second frame
    const Bytes start(whole.begin(), whole.begin() + cut);
    write_bytes(dir_ / "g.dv", start);
    ASSERT_EQ(run({"g.dv"}).exit_code, 0);
    Bytes converted = read_bytes(dir_ / "g.dv");
    const std::set<int> target = disps(dv_packs(converted, 0));
    ASSERT_EQ(target.size(), 1u);
    ASSERT_NE(disps(dv_packs(whole, 0)), target);
    write_bytes(dir_ / "g.dv", converted + Bytes(whole.begin() + cut, whole.end()));

    RunResult r = run({"g.dv"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(disps(dv_packs(read_bytes(dir_ / "g.dv"), 0)), target);
    EXPECT_EQ(run({"g.dv"}).exit_code, 4);
    EXPECT_EQ(run({"-l", "g.dv"}).exit_code, 0);
    EXPECT_EQ(run({"-u", "g.dv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "g.dv") == whole);
    EXPECT_FALSE(fs::exists(dir_ / "g.ini"));

    write_bytes(dir_ / "g.dv", start);
    ASSERT_EQ(run({"g.dv"}).exit_code, 0);
    copy_sample(dir_, "mov_dv.mov", "g.dv");
    r = run({"g.dv"});
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(says(r, "iniファイルの名前を変えてから実行してください")) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "g.dv") == read_bytes(sample_path("mov_dv.mov")));
}

// x.avi and x.mkv in one folder: each list is named as its video's marker
// file is, and no listing replaces another video's list, with or without
// markers, whichever video comes first.
TEST_F(MarkerPromises, TwoVideosOfOneNameKeepTheirOwnLists) {
    for (const char* stem : {"x", "y"}) {
        copy_sample(dir_, "avi_h264.avi", std::string(stem) + ".avi");
        copy_sample(dir_, "mkv_h264.mkv", std::string(stem) + ".mkv");
    }
    ASSERT_EQ(run({"x.avi"}).exit_code, 0);
    ASSERT_EQ(run({"x.mkv"}).exit_code, 0);
    ASSERT_TRUE(fs::exists(dir_ / "x.ini") && fs::exists(dir_ / "x.mkv.ini"));
    for (const char* name : {"x.mkv", "x.avi", "y.mkv", "y.avi"}) EXPECT_EQ(run({"-l", name}).exit_code, 0) << name;
    const char* const lists[][2] = {
        {"x.txt", "x.avi"}, {"x.mkv.txt", "x.mkv"}, {"y.txt", "y.mkv"}, {"y.avi.txt", "y.avi"}};
    for (const auto& list : lists) {
        EXPECT_EQ(first_line(dir_ / list[0]), std::string(list[1]) + " sequence header list") << list[0];
    }
}

#ifndef _WIN32
timespec mtime_of(const fs::path& file) {
    struct stat st = {};
    EXPECT_EQ(stat(file.c_str(), &st), 0);
    return st.st_mtim;
}

void mtime_set(const fs::path& file, timespec time) {
    timespec times[2] = {{0, UTIME_OMIT}, time};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

bool same_time(timespec a, timespec b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool killed(int status) {
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

const char time_back[] = "iniファイルに記録された日時に戻しました";

// A run killed after its last change, before it put the time back, leaves
// every byte changed and the time of the kill: a rerun, and a listing,
// find the file done, put back the time the marker recorded and say so.
TEST_F(MarkerPromises, TheTimeOfARunKilledAfterItsLastChangeComesBack) {
    const timespec before = {981173106, 500000000};
    for (const char* sample : {"dv_pal.dv", "mp4_h264.mp4", "dvd_ntsc_4x3.mpg"}) {
        SCOPED_TRACE(sample);
        fs::path video = copy_sample(dir_, sample);
        mtime_set(video, before);
        ASSERT_TRUE(killed(run_with_shim(video, "", {"MORVALEN_KILL_AT_TIME=1"})));
        EXPECT_FALSE(same_time(mtime_of(video), before));
        Bytes done = read_bytes(video);
        RunResult r = run({sample});
        EXPECT_EQ(r.exit_code, 4);
        EXPECT_TRUE(says(r, "に変換してあります") && says(r, time_back)) << r.out;
        EXPECT_TRUE(same_time(mtime_of(video), before));
        EXPECT_FALSE(says(run({sample}), time_back));
        mtime_set(video, {1500000000, 0});
        r = run({"-l", sample});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(says(r, time_back)) << r.out;
        EXPECT_TRUE(same_time(mtime_of(video), before));
        EXPECT_TRUE(read_bytes(video) == done);
        EXPECT_EQ(run({"-u", sample}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == read_bytes(sample_path(sample)));
        EXPECT_TRUE(same_time(mtime_of(video), before));
    }
}

// A run killed half way: the run that finishes it changes the video from
// what it showed before the first run, as the marker records it.
TEST_F(MarkerPromises, ARunThatFinishesAnotherShowsTheAspectBeforeTheFirst) {
    const char* const cases[][3] = {
        {"dv_pal.dv", "変換元アスペクト:16:9", "DV 720x576 16:9->4:3 "},
        {"es_hevc.hevc", "変換元アスペクト:SAR 10:11(4:3)", "HEVC 704x480 SAR 10:11->40:33 "},
    };
    for (const auto& c : cases) {
        fs::path video = copy_sample(dir_, c[0]);
        ASSERT_TRUE(killed(run_with_shim(video, "", {"MORVALEN_KILL_AT_WRITE=2"})));
        RunResult r = run({c[0]});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(says(r, c[1]) && says(r, c[2])) << r.out;
    }
    EXPECT_EQ(disps(dv_packs(read_bytes(dir_ / "dv_pal.dv"), 0)), std::set<int>{0});
}
#endif

}  // namespace
