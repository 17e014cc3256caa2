// Many files in one run: each ends as its own run would leave it, and the
// batch says how they ended.
#include <gtest/gtest.h>

#include "judges.h"
#include "platform/platform.h"
#include "support.h"

namespace {

const char* const videos[] = {"dvd_ntsc_4x3.mpg", "es_mpeg2_16x9.m2v", "ts_sd_4x3.ts"};

bool contains(const RunResult& r, const std::string& utf8) {
    return r.out.find(console_bytes(utf8)) != std::string::npos;
}

std::string in_folder(const std::string& folder, const std::string& name) {
    return folder + os_path_separator + name;
}

class Batch : public ::testing::Test {
protected:
    // The file in the folder is as a run on the sample alone leaves it, and
    // so is its marker file.
    void expect_as_alone(const fs::path& folder, const std::string& name, const std::string& sample,
                         std::vector<std::string> args = {}) {
        SCOPED_TRACE(name);
        ScratchDir single;
        copy_sample(single, sample, name);
        args.push_back(name);
        run_tool(args, single.path());
        fs::path marker = fs::path(name).replace_extension(".ini");
        EXPECT_TRUE(read_bytes(folder / name) == read_bytes(single.path() / name));
        // Each records the time its own copy had.
        EXPECT_EQ(fs::exists(folder / marker) ? marker_positions(read_text(folder / marker)) : "",
                  fs::exists(single.path() / marker) ? marker_positions(read_text(single.path() / marker)) : "");
    }
    ScratchDir dir_;
};

TEST_F(Batch, EveryNamedFileEndsAsItsOwnRunWouldAndTheSummaryCountsThem) {
    for (const char* v : videos) copy_sample(dir_, v);
    write_bytes(dir_ / "notes.txt", {'h', 'e', 'l', 'l', 'o'});
    RunResult r = run_tool({"-r", videos[0], "missing.mpg", "notes.txt", videos[1], videos[2]}, dir_.path());
    EXPECT_EQ(r.exit_code, 2);  // the first that failed
    EXPECT_TRUE(contains(r, "-r オプションセット\n\nファイル:dvd_ntsc_4x3.mpg\n変換元アスペクト:4:3\n"));
    EXPECT_TRUE(contains(r, "\nファイル:missing.mpg\nファイルが見つかりません\n"));
    EXPECT_TRUE(contains(r, "\nファイル:notes.txt\n"));
    EXPECT_TRUE(contains(r, "\n5個のファイル: 完了3、変換するものなし0、失敗2、対象外0\n"
                            "失敗:missing.mpg(終了コード2)\n失敗:notes.txt(終了コード5)\n"));
    for (const char* v : videos) expect_as_alone(dir_.path(), v, v, {"-r"});

    // Again, to the targets the first run left: every file is at its own.
    RunResult again = run_tool({"-o3", videos[0], videos[2]}, dir_.path());
    EXPECT_EQ(again.exit_code, 4);
    EXPECT_TRUE(contains(again, "\n2個のファイル: 完了0、変換するものなし2、失敗0、対象外0\n"));
}

TEST_F(Batch, AnOptionAfterAFileNameIsRefusedBeforeAnythingIsDone) {
    for (const char* v : videos) copy_sample(dir_, v);
    RunResult r = run_tool({videos[0], "-l", videos[1]}, dir_.path());
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_TRUE(contains(r, "エラー:ファイル名の後にオプション(-l)があります。"
                            "オプションはファイル名より前に指定してください\n"));
    for (const char* v : videos) EXPECT_TRUE(read_bytes(dir_ / v) == read_bytes(sample_path(v))) << v;
    EXPECT_FALSE(fs::exists(dir_ / "dvd_ntsc_4x3.ini"));
}

TEST_F(Batch, AFolderTakesItsMpegFilesInNameOrderAndSkipsTheRest) {
    fs::create_directories(dir_ / "rec" / "sub");
    copy_sample(dir_, "svcd_pal.mpg", "rec/b.mpg");
    copy_sample(dir_, "es_mpeg1.m1v", "rec/a.m1v");
    copy_sample(dir_, "vcd_pal.mpg", "rec/sub/c.mpg");
    // A marker whose video is gone is the tool's own file: passed over.
    write_bytes(dir_ / "rec" / "old.ini", {'2', '\r', '\n'});
    write_bytes(dir_ / "rec" / "cover.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10});
    // Typed with a separator at its end, as a shell completes a folder.
    RunResult r = run_tool({in_folder("rec", "")}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    size_t a = r.out.find(console_bytes("ファイル:" + in_folder("rec", "a.m1v")));
    size_t b = r.out.find(console_bytes("ファイル:" + in_folder("rec", "b.mpg")));
    EXPECT_LT(a, b);
    EXPECT_NE(b, std::string::npos);
    EXPECT_TRUE(contains(r, "ファイル:" + in_folder("rec", "cover.png") + "\n変換できるビデオがないので飛ばします\n"));
    EXPECT_TRUE(contains(r, "\n3個のファイル: 完了2、変換するものなし0、失敗0、対象外1\n"));
    EXPECT_TRUE(read_bytes(dir_ / "rec" / "sub" / "c.mpg") == read_bytes(sample_path("vcd_pal.mpg")));
    expect_as_alone(dir_ / "rec", "a.m1v", "es_mpeg1.m1v");

    // Undone whole: a file with no marker file has nothing to undo.
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "rec/new.m2v");
    RunResult undone = run_tool({"-u", "rec"}, dir_.path());
    EXPECT_EQ(undone.exit_code, 0);
    EXPECT_TRUE(contains(undone, "ファイル:" + in_folder("rec", "new.m2v") +
                                     "\niniファイルがないので、元に戻すものはありません\n"));
    EXPECT_TRUE(read_bytes(dir_ / "rec" / "a.m1v") == read_bytes(sample_path("es_mpeg1.m1v")));
    EXPECT_TRUE(read_bytes(dir_ / "rec" / "b.mpg") == read_bytes(sample_path("svcd_pal.mpg")));
    EXPECT_FALSE(fs::exists(dir_ / "rec" / "b.ini"));
}

// One file reached by two names in one run (a folder and a file in it, the
// same name twice) is taken once: a second pass would swap it back.
TEST_F(Batch, AFileNamedTwiceIsTakenOnce) {
    fs::create_directories(dir_ / "rec");
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "rec/a.mpg");
    RunResult r = run_tool({"rec", in_folder("rec", "a.mpg"), in_folder("rec", "a.mpg")}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(contains(r, "ファイル:" + in_folder("rec", "a.mpg") + "\n同じファイルをすでに処理したので飛ばします\n"));
    EXPECT_TRUE(contains(r, "\n3個のファイル: 完了1、変換するものなし0、失敗0、対象外2\n"));
    expect_as_alone(dir_ / "rec", "a.mpg", "dvd_ntsc_4x3.mpg");
#ifdef _WIN32
    r = run_tool({in_folder("rec", "a.mpg"), in_folder("REC", "A.MPG")}, dir_.path());
    EXPECT_TRUE(contains(r, "ファイル:" + in_folder("REC", "A.MPG") + "\n同じファイルをすでに処理したので飛ばします\n"));
    EXPECT_TRUE(read_bytes(dir_ / "rec" / "a.mpg") != read_bytes(sample_path("dvd_ntsc_4x3.mpg")));
#endif
}

// A user's own NAME.txt is no list of the tool's: it stays, and the listing
// goes to the console alone.
TEST_F(Batch, AUsersTextFileIsNeverTakenForAList) {
    fs::create_directories(dir_ / "rec");
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "rec/ep01.mpg");
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "rec/ep02.m2v");
    write_bytes(dir_ / "rec" / "ep01.txt", {'n', 'o', 't', 'e', 's', '\n'});
    RunResult alone = run_tool({"-l", in_folder("rec", "ep01.mpg")}, dir_.path());
    EXPECT_EQ(alone.exit_code, 6);
    EXPECT_TRUE(contains(alone, "       2092 0000082c 2d 01 e0 24 (-)"));
    EXPECT_TRUE(contains(alone, "同じ名前のtxtファイルはこのツールのリストではないので、そのままにしました"));
    RunResult folder = run_tool({"-l", "rec"}, dir_.path());
    EXPECT_EQ(folder.exit_code, 6);
    EXPECT_TRUE(contains(folder, "失敗:" + in_folder("rec", "ep01.mpg") + "(終了コード6)\n"));
    EXPECT_EQ(read_text(dir_ / "rec" / "ep01.txt"), "notes\n");
    EXPECT_EQ(read_text(dir_ / "rec" / "ep02.txt").rfind(in_folder("rec", "ep02.m2v") + " sequence header list", 0), 0u);
}

// Audio alone and video of a codec the tool does not change are passed
// over in a folder, as a picture is; named alone, either is refused.
TEST_F(Batch, AFolderPassesOverContainersWithoutVideoTheToolChanges) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    fs::create_directories(dir_ / "rec");
    ASSERT_TRUE(commands_run(dir_ / "rec", "ffmpeg -loglevel error -f lavfi -i sine=d=1 -c:a aac song.m4a && "
                                           "ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=25 -t 1 "
                                           "-c:v vc2 -f mpegts clip.ts"));
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "rec/show.mpg");
    RunResult r = run_tool({"rec"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(contains(r, "\n3個のファイル: 完了1、変換するものなし0、失敗0、対象外2\n"));
    EXPECT_TRUE(contains(r, "ファイル:" + in_folder("rec", "clip.ts") + "\n変換できるビデオがないので飛ばします\n"));
    for (const char* alone : {"song.m4a", "clip.ts"}) {
        EXPECT_EQ(run_tool({in_folder("rec", alone)}, dir_.path()).exit_code, 5) << alone;
    }
}

TEST_F(Batch, AFolderWithoutMpegFilesSaysSo) {
    fs::create_directories(dir_ / "pictures");
    write_bytes(dir_ / "pictures" / "cover.png", {0x89, 'P', 'N', 'G'});
    RunResult r = run_tool({"pictures"}, dir_.path());
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_TRUE(contains(r, "MPEGのファイルがありません\n"));
}

#ifndef _WIN32
// A batch cut off at any write (a crash, a kill) and run again with no
// option ends as one run that was never cut leaves it: each file at the
// other shape than it had before the first run, with its own last-write
// time; none is swapped back.
TEST_F(Batch, ACutBatchRunAgainEndsAsOneUncutRun) {
    const std::vector<std::string> names = {"a.mpg", "b.mpg", "c.mpg"};
    for (const std::string& n : names) copy_sample(dir_, "dvd_ntsc_4x3.mpg", n);
    fs::path log = dir_ / "journal.log";
    run_tool(names, dir_.path(), shim_environment({"MORVALEN_JOURNAL=" + log.string()}));
    std::vector<std::string> writes = journal_positioned_writes(log);
    ASSERT_EQ(writes.size(), 12u);
    ASSERT_EQ(fs::path(writes[4]).filename(), "b.mpg");
    for (size_t kill_at : {size_t{1}, size_t{4}, size_t{5}, size_t{11}}) {
        SCOPED_TRACE("killed at write " + std::to_string(kill_at));
        ScratchDir cut;
        std::vector<fs::file_time_type> times;
        for (const std::string& n : names) times.push_back(fs::last_write_time(copy_sample(cut, "dvd_ntsc_4x3.mpg", n)));
        RunResult killed = run_tool(names, cut.path(), shim_environment({"MORVALEN_KILL_AT_WRITE=" + std::to_string(kill_at)}));
        EXPECT_NE(killed.exit_code, 0);
        EXPECT_EQ(run_tool(names, cut.path()).exit_code, 0);
        for (size_t i = 0; i < names.size(); ++i) {
            expect_as_alone(cut.path(), names[i], "dvd_ntsc_4x3.mpg");
            EXPECT_EQ(fs::last_write_time(cut / names[i]), times[i]) << names[i];
        }
        RunResult done = run_tool(names, cut.path());
        EXPECT_EQ(done.exit_code, 4);
        EXPECT_TRUE(contains(done, "4:3から16:9に変換してあります。元に戻すには-uを付けて実行してください\n"));
    }
}

// A file whose end cannot be read fails alone: the batch goes on to the
// files after it and says which failed.
TEST_F(Batch, AFileWhoseTailCannotBeReadFailsAlone) {
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "a.m2v");
    Bytes big = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    while (big.size() < (3u << 20)) big = big + read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
    write_bytes(dir_ / "b.mpg", big);
    copy_sample(dir_, "es_mpeg2_16x9.m2v", "c.m2v");
    // Only files larger than the offset are touched: b.mpg's last MiB.
    std::string at = "MORVALEN_FAULT_AT=" + std::to_string(big.size() - 1000);
    RunResult r = run_tool({"a.m2v", "b.mpg", "c.m2v"}, dir_.path(), shim_environment({at}));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(contains(r, "ファイル:b.mpg\nファイルの末尾を読み込めませんでした\n\nファイル:c.m2v\n"));
    EXPECT_TRUE(contains(r, "\n3個のファイル: 完了2、変換するものなし0、失敗1、対象外0\n失敗:b.mpg(終了コード1)\n"));
    EXPECT_TRUE(read_bytes(dir_ / "b.mpg") == big);
    expect_as_alone(dir_.path(), "c.m2v", "es_mpeg2_16x9.m2v");
}

// A file on a read-only disc fails with its own exit code; the others are
// done all the same.
TEST_F(Batch, AReadOnlyFileFailsAloneAndTheOthersAreDone) {
    TmpfsMount disc(dir_ / "disc", "4m");
    copy_sample(dir_, "dvd_ntsc_4x3.mpg", "disc/v.mpg");
    if (disc.mounted()) {
        ASSERT_TRUE(disc.read_only());
    } else {
        fs::permissions(dir_ / "disc" / "v.mpg", fs::perms::owner_read);
        fs::permissions(dir_ / "disc", fs::perms::owner_read | fs::perms::owner_exec);
    }
    for (const char* v : videos) copy_sample(dir_, v);
    RunResult r = run_tool({videos[1], "disc/v.mpg", videos[2]}, dir_.path());
    if (!disc.mounted()) fs::permissions(dir_ / "disc", fs::perms::owner_all);
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_TRUE(contains(r, "失敗:disc/v.mpg(終了コード7)\n"));
    EXPECT_TRUE(read_bytes(dir_ / "disc" / "v.mpg") == read_bytes(sample_path("dvd_ntsc_4x3.mpg")));
    expect_as_alone(dir_.path(), videos[1], videos[1]);
    expect_as_alone(dir_.path(), videos[2], videos[2]);
}

// A name is shown in the console's encoding: as itself under a UTF-8
// locale, whatever code page 932 cannot hold; under the C locale, whose
// output is code page 932, with '?' for each character it has not.
TEST_F(Batch, NamesAreShownAsThemselvesOnAUtf8Console) {
    const std::string name = "Café 한국.m2v";
    copy_sample(dir_, "es_mpeg2_16x9.m2v", name);
    RunResult utf8 = run_tool({"-l", name, "ünknown.mpg"}, dir_.path(), "LC_ALL=C.UTF-8");
    EXPECT_EQ(utf8.exit_code, 2);
    EXPECT_NE(utf8.out.find("\r\nファイル:" + name + "\r\n"), std::string::npos) << utf8.out;
    EXPECT_NE(utf8.out.find("\r\n失敗:ünknown.mpg(終了コード2)\r\n"), std::string::npos);
    RunResult cp932 = run_tool({"-l", name, "ünknown.mpg"}, dir_.path());
    EXPECT_TRUE(contains(cp932, "\nファイル:Caf? ??.m2v\n"));
    EXPECT_TRUE(contains(cp932, "\n失敗:?nknown.mpg(終了コード2)\n"));
}
#endif

}  // namespace
