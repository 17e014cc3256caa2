// A DVD-Video folder made by dvdauthor, taken whole: every title VOB and
// the title sets' IFO and BUP attributes, judged by the tests' own demuxer,
// by lsdvd and ffprobe, and undone byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "judges.h"
#include "platform/platform.h"
#include "reference_demux.h"
#include "support.h"

namespace {

// The title sets as tests/make_dvd.sh makes them: their title VOBs, their
// code now and after a toggle, and the attributes byte dvdauthor writes for
// each shape (MPEG-2, the TV system; 4:3 with automatic pan-scan and
// letterbox disallowed, 16:9 with both allowed).
struct TitleSet {
    int number;
    std::vector<std::string> vobs;
    uint8_t code;
    uint8_t toggled;
    uint8_t attributes;
    uint8_t toggled_attributes;
    const char* toggled_lsdvd;
    const char* toggled_sample_aspect;
};
const TitleSet title_sets[] = {
    {1, {"VTS_01_1.VOB"}, 2, 3, 0x43, 0x4C, "16/9", "32:27"},
    {2, {"VTS_02_1.VOB"}, 3, 2, 0x5C, 0x53, "4/3", "16:15"},
    {3, {"VTS_03_1.VOB", "VTS_03_2.VOB", "VTS_03_3.VOB"}, 2, 3, 0x43, 0x4C, "16/9", "32:27"},
};
constexpr size_t attributes_at = 0x200;

std::string ifo_name(int set, const char* extension) {
    char name[16];
    std::snprintf(name, sizeof name, "VTS_%02d_0.%s", set, extension);
    return name;
}

std::map<std::string, Bytes> folder_files(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = read_bytes(entry.path());
    }
    return files;
}

class Dvd : public ::testing::Test {
protected:
    void SetUp() override {
        if (dvd_folder_made().empty()) GTEST_SKIP() << "no DVD-Video folder (dvdauthor and ffmpeg make it)";
        fs::copy(dvd_folder_made(), dir_ / "disc", fs::copy_options::recursive);
        original_ = folder_files(video_ts());
    }
    fs::path video_ts() const { return dir_ / "disc" / "VIDEO_TS"; }
    // The folder as made, the tool's own files gone.
    void disc_reset() {
        fs::remove_all(dir_ / "disc");
        fs::copy(dvd_folder_made(), dir_ / "disc", fs::copy_options::recursive);
    }

    // Each file as the toggle of every title set leaves it: the headers the
    // tests' demuxer finds, the attributes byte of the IFO and the BUP, and
    // nothing else.
    std::map<std::string, Bytes> toggled() const {
        std::map<std::string, Bytes> expected = original_;
        for (const TitleSet& set : title_sets) {
            for (const std::string& vob : set.vobs) {
                const Bytes& before = original_.at(vob);
                expected[vob] = rewritten(before, matching_headers(before, program_video_payload(before)), set.toggled);
            }
            for (const char* extension : {"IFO", "BUP"}) {
                Bytes& ifo = expected[ifo_name(set.number, extension)];
                EXPECT_EQ(ifo[attributes_at], set.attributes);
                ifo[attributes_at] = set.toggled_attributes;
            }
        }
        return expected;
    }
    // The files as they are, the tool's marker files left out.
    std::map<std::string, Bytes> now_without_markers() const {
        std::map<std::string, Bytes> files = folder_files(video_ts());
        for (auto it = files.begin(); it != files.end();) {
            it = fs::path(it->first).extension() == ".ini" ? files.erase(it) : std::next(it);
        }
        return files;
    }
    // Every file of the set as it was made, byte for byte, and every other
    // set's as the toggle leaves it.
    bool set_left_whole(int number) const {
        std::map<std::string, Bytes> expected = toggled();
        for (const TitleSet& set : title_sets) {
            if (set.number != number) continue;
            for (const std::string& vob : set.vobs) expected[vob] = original_.at(vob);
            for (const char* extension : {"IFO", "BUP"}) expected[ifo_name(number, extension)] = original_.at(ifo_name(number, extension));
        }
        return now_without_markers() == expected;
    }
    bool says(const RunResult& r, const std::string& utf8) const {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }

    ScratchDir dir_;
    std::map<std::string, Bytes> original_;
};

// An image without VIDEO_TS (a data disc holding a VOB as a file) is no
// stream: refused untouched, never walked as the program stream it holds.
TEST_F(Dvd, ADiscImageWithoutDvdVideoIsRefusedUntouched) {
    if (std::system("genisoimage -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no genisoimage";
    ASSERT_TRUE(commands_run(dir_.path(), "mkdir data && cp disc/VIDEO_TS/VTS_01_1.VOB data/ && "
                                          "genisoimage -quiet -udf -o disc.iso data"));
    Bytes before = read_bytes(dir_ / "disc.iso");
    RunResult r = run_tool({"disc.iso"}, dir_.path());
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_TRUE(says(r, "DVD-Video以外のディスクイメージ(ISO)なので")) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "disc.iso") == before);
    EXPECT_FALSE(fs::exists(dir_ / "disc.ini"));
    EXPECT_FALSE(fs::exists(dir_ / "disc.iso.ini"));
}

TEST_F(Dvd, EveryTitleSetIsToggledWholeAndUndoneByteForByte) {
    RunResult r = run_tool({"disc"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(says(r, "\nDVD-Video タイトルセット03\n"));
    // Five VOBs, three IFOs and three BUPs; no menu.
    EXPECT_TRUE(says(r, "\n11個のファイル: 完了11、変換するものなし0、失敗0、対象外0\n"));
    EXPECT_TRUE(now_without_markers() == toggled());

    RunResult undone = run_tool({"-u", "disc" + std::string(1, os_path_separator) + "VIDEO_TS"}, dir_.path());
    EXPECT_EQ(undone.exit_code, 0);
    EXPECT_TRUE(folder_files(video_ts()) == original_);
}

// A run cut off after the first VOB of a set: the set's target is the one
// that VOB has now, and the IFO, which still disagrees, follows it.
TEST_F(Dvd, AnInterruptedSetIsFinishedAtItsFirstVobsShape) {
    std::string first = "disc/VIDEO_TS/VTS_03_1.VOB";
    ASSERT_EQ(run_tool({first}, dir_.path()).exit_code, 0);
    RunResult r = run_tool({"disc"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(says(r, "IFOとVOBのアスペクトがそろっていないので、最初のVOBの先頭と同じ16:9にそろえます\n"));
    EXPECT_TRUE(now_without_markers() == toggled());
    EXPECT_EQ(run_tool({"-u", "disc"}, dir_.path()).exit_code, 0);
    EXPECT_TRUE(folder_files(video_ts()) == original_);
}

// Another disc's files copied over a converted set: its VOB's marker file
// is refused, and the IFO and BUP keep their own byte, which is not what
// the tool wrote. With the VOB put right, the IFO's byte is still refused.
TEST_F(Dvd, AnUndoPutsBackOnlyWhatTheToolWrote) {
    ASSERT_EQ(run_tool({"disc"}, dir_.path()).exit_code, 0);
    std::map<std::string, Bytes> converted = folder_files(video_ts());
    Bytes other_vob = original_.at("VTS_02_1.VOB");  // PAL: another frame rate
    other_vob.resize(converted.at("VTS_01_1.VOB").size(), 0xFF);
    write_bytes(video_ts() / "VTS_01_1.VOB", other_vob);
    for (const char* extension : {"IFO", "BUP"}) {
        Bytes other_ifo = converted.at(ifo_name(1, extension));
        other_ifo[attributes_at] = 0x5C;  // PAL 16:9, as that disc's says
        write_bytes(video_ts() / ifo_name(1, extension), other_ifo);
    }
    RunResult undone = run_tool({"-u", "disc"}, dir_.path());
    EXPECT_EQ(undone.exit_code, 9);
    EXPECT_TRUE(says(undone, "VOBがすべては元に戻らなかったので、IFOとBUPは戻していません\n"));
    EXPECT_EQ(read_bytes(video_ts() / "VTS_01_0.IFO")[attributes_at], 0x5C);
    EXPECT_TRUE(read_bytes(video_ts() / "VTS_02_1.VOB") == original_.at("VTS_02_1.VOB"));

    write_bytes(video_ts() / "VTS_01_1.VOB", converted.at("VTS_01_1.VOB"));
    undone = run_tool({"-u", "disc"}, dir_.path());
    EXPECT_EQ(undone.exit_code, 8);
    EXPECT_TRUE(says(undone, "iniファイルに記録された位置のうち1か所は、このツールが書いた値ではなくなっているので、そのままにしました\n  位置512\n"));
    EXPECT_TRUE(read_bytes(video_ts() / "VTS_01_1.VOB") == original_.at("VTS_01_1.VOB"));
    for (const char* extension : {"IFO", "BUP"}) {
        EXPECT_EQ(read_bytes(video_ts() / ifo_name(1, extension))[attributes_at], 0x5C);
        EXPECT_TRUE(fs::exists(video_ts() / (ifo_name(1, extension) + ".ini")));
    }
}

// A folder copied from a disc mounted as ISO 9660 or UDF, or onto FAT, may
// name everything in lower case: it is a DVD-Video folder all the same,
// whose menus are never touched.
TEST_F(Dvd, ALowerCaseFolderIsADvdVideoFolder) {
    fs::path lower = dir_ / "copy" / "video_ts";
    fs::create_directories(lower);
    for (const auto& [name, bytes] : original_) {
        std::string small = name;
        for (char& c : small) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        write_bytes(lower / small, bytes);
    }
    RunResult r = run_tool({"copy"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(says(r, "\n11個のファイル: 完了11、変換するものなし0、失敗0、対象外0\n"));
    std::map<std::string, Bytes> expected = toggled();
    for (const auto& [name, bytes] : expected) {
        std::string small = name;
        for (char& c : small) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(read_bytes(lower / small) == bytes) << name;
    }
    EXPECT_EQ(run_tool({"-u", "copy"}, dir_.path()).exit_code, 0);
    EXPECT_TRUE(read_bytes(lower / "vts_01_0.ifo") == original_.at("VTS_01_0.IFO"));
}

TEST_F(Dvd, AListingComparesTheIfoWithTheVideoAndOnlyTwoCodesAreTaken) {
    RunResult listed = run_tool({"-l", "disc"}, dir_.path());
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_TRUE(says(listed, "IFOのアスペクト:4:3 ビデオのアスペクト:4:3\n"));
    EXPECT_TRUE(says(listed, "IFOのアスペクト:16:9 ビデオのアスペクト:16:9\n"));
    RunResult refused = run_tool({"-o12", "disc"}, dir_.path());
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_TRUE(says(refused, "エラー:DVD-Videoのアスペクト番号は2(4:3)か3(16:9)だけです\n"));
    EXPECT_TRUE(now_without_markers().size() == original_.size() + 5);  // the five list files
    for (const auto& [name, bytes] : original_) EXPECT_TRUE(read_bytes(video_ts() / name) == bytes) << name;
}

#ifndef _WIN32
std::vector<std::string> frame_aspects(const fs::path& video) {
    std::string command = "ffprobe -v error -select_streams v:0 -show_entries frame=sample_aspect_ratio "
                          "-of default=nw=1:nk=1 '" + video.string() + "' 2>/dev/null";
    std::vector<std::string> aspects;
    std::FILE* pipe = popen(command.c_str(), "r");
    char line[64];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        aspects.push_back(std::string(line).substr(0, std::string(line).find('\n')));
    }
    if (pipe != nullptr) pclose(pipe);
    return aspects;
}

std::string lsdvd_of(const fs::path& disc) {
    std::string command = "lsdvd -v '" + disc.string() + "' 2>/dev/null";
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    char line[512];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) out += line;
    if (pipe != nullptr) pclose(pipe);
    return out;
}

TEST_F(Dvd, LsdvdAndFfprobeSeeTheNewShape) {
    if (std::system("lsdvd -h > /dev/null 2>&1; ffprobe -version > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no lsdvd or ffprobe";
    }
    ASSERT_EQ(run_tool({"disc"}, dir_.path()).exit_code, 0);
    std::string listing = lsdvd_of(dir_ / "disc");
    for (const TitleSet& set : title_sets) {
        char vts[16];
        std::snprintf(vts, sizeof vts, "VTS: %02d,", set.number);
        size_t at = listing.find(vts);
        ASSERT_NE(at, std::string::npos) << listing;
        EXPECT_NE(listing.find(std::string("Aspect ratio: ") + set.toggled_lsdvd, at), std::string::npos);
        EXPECT_LT(listing.find(std::string("Aspect ratio: ") + set.toggled_lsdvd, at), listing.find('\n', at));
        for (const std::string& vob : set.vobs) {
            std::vector<std::string> aspects = frame_aspects(video_ts() / vob);
            EXPECT_GE(aspects.size(), 20u) << vob;
            for (const std::string& a : aspects) EXPECT_EQ(a, set.toggled_sample_aspect) << vob;
        }
    }
}

// An IFO that cannot be written (as on a read-only disc image): reported,
// and its title set left whole; the other sets are done. A later run that
// can write it does the set.
TEST_F(Dvd, AnIfoThatCannotBeWrittenLeavesItsSetWholeAndALaterRunDoesIt) {
    fs::path ifo = video_ts() / "VTS_01_0.IFO";
    bool bound = geteuid() == 0 &&
                 std::system(("mount --bind '" + ifo.string() + "' '" + ifo.string() + "' && mount -o remount,bind,ro '" +
                              ifo.string() + "' '" + ifo.string() + "'").c_str()) == 0;
    if (!bound) {
        if (geteuid() == 0) GTEST_SKIP() << "no bind mount here";
        fs::permissions(ifo, fs::perms::owner_read);
    }
    RunResult r = run_tool({"disc"}, dir_.path());
    if (bound) std::system(("umount '" + ifo.string() + "'").c_str());
    fs::permissions(ifo, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_TRUE(says(r, "失敗:disc/VIDEO_TS/VTS_01_0.IFO(終了コード7)\n"));
    EXPECT_TRUE(set_left_whole(1));

    RunResult again = run_tool({"disc/VIDEO_TS"}, dir_.path());
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_TRUE(now_without_markers() == toggled());
}

// Another program holds a title set's IFO locked: every file of a set is
// opened and locked before any is written, so the set is left whole (its
// VOBs as its IFO and BUP, never 16:9 beside a 4:3 IFO), named, and the
// other sets are done.
TEST_F(Dvd, ALockedIfoLeavesItsWholeTitleSetUntouched) {
    int held = open((video_ts() / ifo_name(1, "IFO")).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    RunResult r = run_tool({"disc"}, dir_.path(), shim_environment({"MORVALEN_NO_WAIT=1"}));
    close(held);
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_TRUE(set_left_whole(1));
    EXPECT_TRUE(says(r, "\nファイル:disc/VIDEO_TS/VTS_01_0.IFO\n"
                        "別のmorvalencmdがこのファイルを処理しています。終わってからもう一度実行してください(1001)\n"
                        "開けないファイルがあるので、このタイトルセットはどのファイルも書き換えていません\n"))
        << r.out;
    EXPECT_TRUE(says(r, "\n9個のファイル: 完了8、変換するものなし0、失敗1、対象外0\n"
                        "失敗:disc/VIDEO_TS/VTS_01_0.IFO(終了コード7)\n"));
}

// The folder cut off at writes of each kind (a title VOB's header, a set's
// IFO, its BUP after the IFO, a VOB of a later set) and run again with no
// option ends as one run never cut leaves it; -u then gives back every byte.
TEST_F(Dvd, ACutRunAgainEndsAsOneUncutRun) {
    fs::path log = dir_ / "journal.log";
    ASSERT_EQ(run_tool({"disc"}, dir_.path(), shim_environment({"MORVALEN_JOURNAL=" + log.string()})).exit_code, 0);
    std::vector<std::string> writes = journal_positioned_writes(log);
    auto first_write = [&](const char* name) {
        for (size_t i = 0; i < writes.size(); ++i) {
            if (fs::path(writes[i]).filename() == name) return i + 1;
        }
        return size_t{0};
    };
    for (const char* at : {"VTS_01_1.VOB", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_03_2.VOB"}) {
        SCOPED_TRACE(std::string("killed at the first write of ") + at);
        ASSERT_NE(first_write(at), 0u);
        disc_reset();
        std::string kill = "MORVALEN_KILL_AT_WRITE=" + std::to_string(first_write(at));
        EXPECT_NE(run_tool({"disc"}, dir_.path(), shim_environment({kill})).exit_code, 0);
        RunResult again = run_tool({"disc"}, dir_.path());
        EXPECT_EQ(again.exit_code, 0);
        if (std::string(at) == "VTS_01_0.BUP") {
            EXPECT_TRUE(says(again, "BUPのビデオ属性がIFOと違っています(前の実行が途中で終わったようです)。BUPもそろえます\n"));
        }
        EXPECT_TRUE(now_without_markers() == toggled());
        EXPECT_EQ(run_tool({"-u", "disc"}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(folder_files(video_ts()) == original_);
    }
}
#endif

}  // namespace
