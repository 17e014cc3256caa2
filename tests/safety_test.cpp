// The tool writes into no file the user did not name: not through closed
// standard streams, not through links planted under a side file's name,
// and a marker file undoes only the video it was made for, which finds it
// however it is reached.
#include <gtest/gtest.h>

#include "judges.h"
#include "support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const char* const every_kind[] = {"dvd_ntsc_4x3.mpg", "es_mpeg2_16x9.m2v", "ts_sd_4x3.ts"};

class Safety : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    // What an ordinary run leaves of a sample: the bytes to compare with.
    Bytes ordinary_result(const std::string& sample, const std::vector<std::string>& options) {
        ScratchDir other;
        copy_sample(other, sample);
        std::vector<std::string> args = options;
        args.push_back(sample);
        EXPECT_EQ(run_tool(args, other.path()).exit_code, 0);
        return read_bytes(other / sample);
    }
    ScratchDir dir_;
};

// A scheduler or a service starts programs without a console: the banner
// and the messages must go nowhere, never into the video.
TEST_F(Safety, ClosedStandardStreamsReceiveNothingOfTheVideo) {
#ifdef _WIN32
    const char* const closings[] = {""};
#else
    const char* const closings[] = {">&-", "<&-", "2>&-", ">&- <&- 2>&-"};
#endif
    for (const char* sample : every_kind) {
        Bytes expected = ordinary_result(sample, {});
        for (const char* closing : closings) {
            copy_sample(dir_, sample);
            fs::remove(fs::path(dir_ / sample).replace_extension(".ini"));
            EXPECT_EQ(run_tool_closed({sample}, dir_.path(), closing), 0) << sample << closing;
            EXPECT_TRUE(read_bytes(dir_ / sample) == expected) << sample << " " << closing;
        }
    }
}

// Anyone who may write to a shared folder can plant a link under a side
// file's name; its target must never be opened.
// A name that is a link is the user's, whatever it leads to: it is left as
// it is and nothing is written through it; the listing goes to the console.
// A hard link to another video's list is that video's: this one's list
// goes beside it, named after the whole name.
TEST_F(Safety, AListFileNameThatIsALinkIsLeftAndNeverWrittenThrough) {
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "a.mpg");
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "other.m2v");
    ASSERT_EQ(run({"other.m2v"}).exit_code, 0);
    ASSERT_EQ(run({"-l", "other.m2v"}).exit_code, 0);
    std::string other_marker = read_text(dir_ / "other.ini");
    std::string other_list = read_text(dir_ / "other.txt");
    write_bytes(dir_ / "victim", Bytes(50, 'v'));
    struct Plant {
        const char* target;
        bool hard;
        bool replaced;
    };
    for (Plant plant : {Plant{"victim", false, false}, Plant{"victim", true, false},
                        Plant{"other.ini", false, false}, Plant{"other.ini", true, false},
                        Plant{"other.txt", false, false}, Plant{"other.txt", true, true}}) {
        SCOPED_TRACE(std::string(plant.target) + (plant.hard ? " hard" : " symbolic"));
        fs::remove(dir_ / "a.txt");
        std::error_code made;
        if (plant.hard) {
            fs::create_hard_link(dir_ / plant.target, dir_ / "a.txt", made);
        } else {
            fs::create_symlink(plant.target, dir_ / "a.txt", made);
        }
        if (made) continue;  // a file system (or Wine) without such links
        RunResult r = run({"-l", "a.mpg"});
        EXPECT_EQ(r.exit_code, plant.replaced ? 0 : 6);
        EXPECT_NE(r.out.find(console_bytes("     2092 0000082c 2d 01 e0 24 (-)")), std::string::npos);
        if (plant.replaced) {
            EXPECT_EQ(read_text(dir_ / "a.mpg.txt").rfind("a.mpg sequence header list\r\n", 0), 0u);
        } else {
            EXPECT_NE(r.out.find(console_bytes("同じ名前のtxtファイルはこのツールのリストではないので、そのままにしました")),
                      std::string::npos);
            EXPECT_EQ(fs::is_symlink(fs::symlink_status(dir_ / "a.txt")), !plant.hard);
        }
        EXPECT_EQ(read_text(dir_ / "victim"), std::string(50, 'v'));
        EXPECT_EQ(read_text(dir_ / "other.ini"), other_marker);
        EXPECT_EQ(read_text(dir_ / "other.txt"), other_list);
    }
    // Nothing but the files the test made and the list itself.
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        EXPECT_NE(entry.path().extension().string().rfind(".~", 0), 0u) << entry.path();
    }
}

TEST_F(Safety, AMarkerFileThatIsALinkIsNeverUsed) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "other.m2v");
    ASSERT_EQ(run({"other.m2v"}).exit_code, 0);
    std::string other_marker = read_text(dir_ / "other.ini");
    Bytes original = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    for (bool hard : {false, true}) {
        write_bytes(dir_ / "a.mpg", original);
        fs::remove(dir_ / "a.ini");
        std::error_code made;
        if (hard) {
            fs::create_hard_link(dir_ / "other.ini", dir_ / "a.ini", made);
        } else {
            fs::create_symlink("other.ini", dir_ / "a.ini", made);
        }
        if (made) continue;
        RunResult r = run({"a.mpg"});
        EXPECT_EQ(r.exit_code, 6) << hard;
        EXPECT_NE(r.out.find(console_bytes("iniファイルがリンクか、ほかの名前からも使われているので使えません")),
                  std::string::npos);
        EXPECT_EQ(run({"-u", "a.mpg"}).exit_code, 9);
        EXPECT_TRUE(read_bytes(dir_ / "a.mpg") == original);
        EXPECT_EQ(read_text(dir_ / "other.ini"), other_marker);
    }
}

// A 29.97 fps video recorded, then replaced by a 25 fps one of the same
// name: the marker's positions must not be written into the new file.
TEST_F(Safety, UndoWritesNothingIntoAReplacedVideo) {
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "a.mpg");
    ASSERT_EQ(run({"a.mpg"}).exit_code, 0);
    std::string marker = read_text(dir_ / "a.ini");
    copy_sample(dir_, "svcd_pal.mpg", "a.mpg");
    RunResult r = run({"-u", "a.mpg"});
    EXPECT_EQ(r.exit_code, 9);
    EXPECT_NE(r.out.find(console_bytes("iniファイルの記録とフレームレートが違います")), std::string::npos);
    EXPECT_TRUE(read_bytes(dir_ / "a.mpg") == read_bytes(sample_path("svcd_pal.mpg")));
    EXPECT_EQ(run({"a.mpg"}).exit_code, 6);  // nor recorded into
    EXPECT_TRUE(read_bytes(dir_ / "a.mpg") == read_bytes(sample_path("svcd_pal.mpg")));
    EXPECT_EQ(read_text(dir_ / "a.ini"), marker);
}

// movie.mpg and movie.m2v, the same name in one folder: the second one's
// marker is movie.EXT.ini, in either order, and each is undone alone.
TEST_F(Safety, TwoVideosWithOneStemEachKeepAMarker) {
    const char* const names[2][2] = {{"movie.mpg", "movie.m2v"}, {"movie.m2v", "movie.mpg"}};
    for (const auto& order : names) {
        ScratchDir dir;
        auto tool = [&](const std::vector<std::string>& args) { return run_tool(args, dir.path()); };
        auto sample_of = [](const std::string& name) {
            return name == "movie.mpg" ? "dvd_ntsc_4x3.mpg" : "es_mpeg2_16x9.m2v";
        };
        copy_sample(dir, sample_of(order[0]), order[0]);
        copy_sample(dir, sample_of(order[1]), order[1]);
        ASSERT_EQ(tool({order[0]}).exit_code, 0);
        EXPECT_EQ(tool({order[1]}).exit_code, 0) << order[1];
        EXPECT_TRUE(fs::exists(dir / "movie.ini"));
        EXPECT_TRUE(fs::exists(dir / (std::string(order[1]) + ".ini")));
        for (const char* name : order) EXPECT_EQ(tool({name}).exit_code, 4) << name;
        EXPECT_EQ(tool({"-u", order[1]}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir / order[1]) == read_bytes(sample_path(sample_of(order[1]))));
        EXPECT_EQ(tool({"-u", order[0]}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir / order[0]) == read_bytes(sample_path(sample_of(order[0]))));
        EXPECT_FALSE(fs::exists(dir / "movie.ini"));
    }
}

// The same recording kept in two containers beside each other.
TEST_F(Safety, AnMp4AndAnMkvOfOneNameAreBothConvertedAndUndone) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    ASSERT_TRUE(commands_run(dir_.path(), "ffmpeg -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 -t 2 "
                                          "-c:v libx264 -preset ultrafast x.mp4 && mkvmerge -q -o x.mkv x.mp4"));
    const char* const names[] = {"x.mkv", "x.mp4"};
    Bytes originals[2] = {read_bytes(dir_ / names[0]), read_bytes(dir_ / names[1])};
    for (const char* name : names) EXPECT_EQ(run({name}).exit_code, 0) << name;
    for (int k = 0; k < 2; ++k) EXPECT_FALSE(read_bytes(dir_ / names[k]) == originals[k]) << names[k];
    EXPECT_TRUE(fs::exists(dir_ / "x.ini") && fs::exists(dir_ / "x.mp4.ini"));
    for (const char* name : names) EXPECT_EQ(run({"-u", name}).exit_code, 0) << name;
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(read_bytes(dir_ / names[k]) == originals[k]) << names[k];
    EXPECT_FALSE(fs::exists(dir_ / "x.ini") || fs::exists(dir_ / "x.mp4.ini"));
}

#ifndef _WIN32
// A run through a link finds the marker of a run through the file, beside
// the file and named after it, whichever folder the link is in.
TEST_F(Safety, ARunThroughALinkFindsTheMarkerOfTheFile) {
    copy_sample(dir_, "mp4_h264.mp4", "x.mp4");
    Bytes original = read_bytes(dir_ / "x.mp4");
    fs::create_directory(dir_ / "links");
    fs::create_symlink("../x.mp4", dir_ / "links" / "step.mp4");
    fs::create_symlink("step.mp4", dir_ / "links" / "sym.mp4");
    for (const char* undo_through : {"x.mp4", "links/sym.mp4"}) {
        ASSERT_EQ(run({"x.mp4"}).exit_code, 0);
        RunResult r = run({"links/sym.mp4"});
        EXPECT_EQ(r.exit_code, 4);
        EXPECT_NE(r.out.find(console_bytes("に変換してあります")), std::string::npos);
        EXPECT_FALSE(fs::exists(dir_ / "links" / "sym.ini"));
        EXPECT_EQ(run({"-u", undo_through}).exit_code, 0) << undo_through;
        EXPECT_TRUE(read_bytes(dir_ / "x.mp4") == original) << undo_through;
        EXPECT_FALSE(fs::exists(dir_ / "x.ini"));
    }
}
#endif

// Bytes appended after a rewrite (a recording that went on) are damage
// after every listed position: the undo is complete all the same.
TEST_F(Safety, UndoPastBytesAppendedAfterTheRewrite) {
    for (const char* sample : every_kind) {
        Bytes original = read_bytes(sample_path(sample));
        Bytes tail(1000, 0xFF);
        copy_sample(dir_, sample);
        ASSERT_EQ(run({sample}).exit_code, 0);
        Bytes grown = read_bytes(dir_ / sample) + tail;
        write_bytes(dir_ / sample, grown);
        fs::path marker = fs::path(dir_ / sample).replace_extension(".ini");
        std::string recorded = read_text(marker);
        // Still its video, grown: nothing there to change (the program
        // stream stops at the damage), and nothing more recorded.
        RunResult r = run({sample});
        EXPECT_EQ(r.exit_code, sample == every_kind[0] ? 6 : 4) << sample;
        EXPECT_EQ(r.out.find(console_bytes("と動画の大きさが違います")), std::string::npos);
        EXPECT_TRUE(read_bytes(dir_ / sample) == grown);
        EXPECT_EQ(read_text(marker), recorded);
        r = run({"-u", sample});
        EXPECT_EQ(r.exit_code, 0) << sample;
        EXPECT_NE(r.out.find(console_bytes("元に戻しました(iniファイル削除)")), std::string::npos);
        EXPECT_TRUE(read_bytes(dir_ / sample) == original + tail) << sample;
        EXPECT_FALSE(fs::exists(fs::path(dir_ / sample).replace_extension(".ini")));
    }
}

#ifndef _WIN32
TEST_F(Safety, ANameThatIsNoRegularFileIsRefused) {
    ASSERT_EQ(mkfifo((dir_ / "pipe.mpg").c_str(), 0600), 0);
    for (const char* name : {"pipe.mpg", "/dev/zero"}) {
        RunResult r = run({name});
        EXPECT_EQ(r.exit_code, 2) << name;
        EXPECT_NE(r.out.find(console_bytes("通常のファイルではありません(FIFO、デバイスなど)\n")),
                  std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir_ / "pipe.ini"));
}
#endif

}  // namespace
