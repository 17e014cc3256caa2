// What a run says is what happened to the file, in the user's words: no
// damage of a walk that never ran or of a stream the file is not, no
// counters, the codec of a video the tool does not change, the playing
// time the file holds; and names the command line and -l take.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "judges.h"
#include "support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

bool says(const RunResult& r, const std::string& utf8) {
    return r.out.find(console_bytes(utf8)) != std::string::npos;
}

bool says_damage(const RunResult& r) {
    return says(r, "ストリームIDが見つかりません") || says(r, "ストリームが壊れています");
}

TEST(RunMessages, ARunSaysWhatHappened) {
    ScratchDir dir;
    auto run = [&](const std::vector<std::string>& args) { return run_tool(args, dir.path()); };
    // A refusal for the marker file says that alone.
    copy_sample(dir, "mp4_h264.mp4", "x.mp4");
    RunResult r = run({"-u", "x.mp4"});
    EXPECT_EQ(r.exit_code, 9);
    EXPECT_TRUE(says(r, "iniファイルがありません"));
    EXPECT_FALSE(says_damage(r)) << r.out;
    ASSERT_EQ(run({"x.mp4"}).exit_code, 0);
    copy_sample(dir, "mov_dv.mov", "x.mp4");  // another, larger video of the name
    r = run({"x.mp4"});
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(says(r, "と動画の大きさが違います"));
    EXPECT_FALSE(says_damage(r)) << r.out;

    // A stream with a program stream joined after it: the packs' time.
    write_bytes(dir / "joined.m2v", read_bytes(sample_path("es_mpeg2_16x9.m2v")) +
                                        read_bytes(sample_path("dvd_ntsc_4x3.mpg")));
    EXPECT_TRUE(says(run({"-l", "joined.m2v"}), " 0:00:02.480 "));

    // The list's name is as long as a name gets; "--" makes "-x" a name.
    std::string longest = std::string(251, 'n') + ".m2v";
    copy_sample(dir, "es_mpeg2_16x9.m2v", longest);
    EXPECT_EQ(run({"-l", longest}).exit_code, 0);
    EXPECT_TRUE(fs::exists(dir / (std::string(251, 'n') + ".txt")));
    copy_sample(dir, "es_mpeg2_16x9.m2v", "-x.m2v");
    EXPECT_EQ(run({"--", "-x.m2v"}).exit_code, 0);
    EXPECT_TRUE(fs::exists(dir / "-x.ini"));

    // A video of another codec is named by it; fragments hold the time.
    if (std::system("ffmpeg -version > /dev/null 2>&1") == 0) {
        ASSERT_TRUE(commands_run(dir.path(),
                                 "ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=25 -t 4 -c:v libx264 "
                                 "-g 25 -movflags frag_keyframe+empty_moov frag.mp4 && ffmpeg -loglevel error "
                                 "-f lavfi -i testsrc=size=160x120:rate=25 -t 1 -c:v libvpx-vp9 -deadline realtime "
                                 "vp9.webm"));
        r = run({"-l", "vp9.webm"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(says(r, "WebM VP9 160x120 表示 4:3->16:9 0:00:01.000 "));
        EXPECT_FALSE(says(r, "ほかのビデオトラック"));
        EXPECT_TRUE(says(run({"-l", "frag.mp4"}), " 0:00:04.000 "));
    }

#ifndef _WIN32
    // Another run holds the file a moment: the wait is said, not counted.
    int held = open((dir / "x.mp4").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    std::thread tool([&] { r = run({"-l", "x.mp4"}); });
    usleep(300000);
    close(held);
    tool.join();
    EXPECT_TRUE(says(r, "ほかのプログラムか別のmorvalencmdがファイルを使っていたので、空くのを待ってから始めました\n"));
#endif
}

}  // namespace
