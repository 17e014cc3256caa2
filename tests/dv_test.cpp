// DV video made by ffmpeg (25 and 50 Mbit/s, 625 and 525 lines), in raw
// DV files and in MOV: every source control pack's display bits take the
// target, as this file's own DIF reader, ffprobe and mediainfo read them,
// with the MOV's own places; only listed bytes change, the pictures decode
// as before, -u gives the file back byte for byte; codes DV cannot record
// are refused, frames whose packs disagree are named, a block that the
// end of a cut file cuts is left as it is, and a damaged frame's packs are
// read where its blocks still lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "judges.h"
#include "support.h"

namespace {

constexpr size_t block = 80;

// Where a MOV's DV samples begin: the first DIF header block of sequence
// 0 in its mdat (after the timecode track's sample ffmpeg puts first).
size_t blocks_from(const fs::path& file, const Bytes& bytes) {
    if (file.extension() != ".mov") return 0;
    std::string text(bytes.begin(), bytes.end());
    return text.find(std::string("\x1f\x07\x00", 3), text.find("mdat"));
}

// The data positions the listing names.
std::set<size_t> listed_packs(const fs::path& list) {
    std::set<size_t> listed;
    std::ifstream in(list);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(" DV DISP ") != std::string::npos) listed.insert(std::stoull(line));
    }
    return listed;
}

class DvVideo : public ::testing::Test {
protected:
    ScratchDir dir_;
    void SetUp() override {
        bool tools = std::system("ffmpeg -version > /dev/null 2>&1") == 0;
        if (!tools) GTEST_SKIP() << "no ffmpeg";
    }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    static bool says(const RunResult& r, const std::string& utf8) {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    // A few frames of the test pattern as ffmpeg's DV encoder makes them.
    bool make_dv(const std::string& name, const std::string& target, const std::string& aspect) {
        bool pal = target != "ntsc-dv";
        std::string size = pal ? "720x576:rate=25" : "720x480:rate=30000/1001";
        std::string options = target == "dv50" ? "-c:v dvvideo -pix_fmt yuv422p -f dv" : "-target " + target;
        std::string made = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=" + size + " -frames:v 3 -an " +
                           options + " -aspect " + aspect + " ";
        // A MOV holds the DV file's frames as its samples.
        if (name.find(".mov") == std::string::npos) return commands_run(dir_.path(), made + name);
        return commands_run(dir_.path(), made + "-f dv made.dv && ffmpeg -loglevel error -y -i made.dv -c copy " + name);
    }
};

struct Made {
    const char* name;
    const char* target;
    const char* aspect;
    size_t packs;         // in the three frames
    const char* summary;  // the summary line's start
    const char* after;    // the display aspect after the run
    const char* sar;      // the decoded frames' sample aspect after it
};

TEST_F(DvVideo, EveryPackAndContainerPlaceTakesTheOtherShape) {
    const Made cases[] = {
        {"pal.dv", "pal-dv", "16:9", 3 * 72, "DV 720x576 16:9->4:3 ", "4:3", "16:15"},
        {"ntsc.dv", "ntsc-dv", "4:3", 3 * 60, "DV 720x480 4:3->16:9 ", "16:9", "32:27"},
        {"dv50.dv", "dv50", "4:3", 3 * 144, "DV 720x576 4:3->16:9 ", "16:9", "64:45"},
        {"pal.mov", "pal-dv", "16:9", 3 * 72, "MOV DV 720x576 16:9->4:3 ", "4:3", "16:15"},
        {"ntsc.mov", "ntsc-dv", "16:9", 3 * 60, "MOV DV 720x480 16:9->4:3 ", "4:3", "8:9"},
    };
    for (const Made& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path video = dir_ / c.name;
        ASSERT_TRUE(make_dv(c.name, c.target, c.aspect));
        Bytes before = read_bytes(video);
        size_t from = blocks_from(video, before);
        std::map<size_t, int> packs = dv_packs(before, from);
        ASSERT_EQ(packs.size(), c.packs);
        int disp_before = std::string(c.aspect) == "16:9" ? 2 : 0;
        EXPECT_EQ(disps(packs), std::set<int>{disp_before});
        std::string sums = frame_sums(video);

        RunResult listed = run({"-l", c.name});
        EXPECT_EQ(listed.exit_code, 0);
        EXPECT_TRUE(says(listed, c.summary)) << listed.out;
        EXPECT_TRUE(says(listed, "DVのフレーム数: 3"));
        std::set<size_t> positions;
        for (const auto& p : packs) positions.insert(p.first);
        // Beside pal.dv's list, pal.mov's is named after its whole name.
        fs::path whole = fs::path(video.string() + ".txt");
        EXPECT_EQ(listed_packs(fs::exists(whole) ? whole : fs::path(video).replace_extension(".txt")), positions);

        RunResult r = run({c.name});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        Bytes after = read_bytes(video);
        EXPECT_EQ(disps(dv_packs(after, from)), std::set<int>{2 - disp_before});
        EXPECT_EQ(change_unlisted(before, after, fs::path(video).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(probed_display(video), c.after);
        EXPECT_EQ(frame_aspects(video), std::set<std::string>{c.sar});
        EXPECT_EQ(first_line(output_of("mediainfo --Inform='Video;%DisplayAspectRatio/String%' " + quoted(video))),
                  c.after);
        EXPECT_EQ(frame_sums(video), sums);
        EXPECT_EQ(run({c.name}).exit_code, 4);  // converted already: never swapped back
        EXPECT_EQ(run({"-u", c.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
}

// -o1 and -o4 name shapes DV cannot record; a pack of another shape
// (letterbox) gives no default but takes -o; a frame whose packs disagree
// is named in the listing.
TEST_F(DvVideo, CodesItCannotRecordAreRefusedAndDisagreeingFramesNamed) {
    ASSERT_TRUE(make_dv("pal.dv", "pal-dv", "4:3"));
    fs::path video = dir_ / "pal.dv";
    Bytes made = read_bytes(video);
    std::string json = run({"--json", "-l", "pal.dv"}).out;
    EXPECT_NE(json.find("\"codec\":\"DV\""), std::string::npos);
    EXPECT_NE(json.find("{\"kind\":\"dv_control\",\"position\":249,"), std::string::npos) << json.substr(0, 400);
    for (const char* code : {"-o1", "-o4"}) {
        RunResult r = run({code, "pal.dv"});
        EXPECT_EQ(r.exit_code, 3);
        EXPECT_TRUE(says(r, "DVのアスペクト番号は2(4:3)か3(16:9)です"));
        EXPECT_TRUE(read_bytes(video) == made);
    }

    Bytes letterbox = made;
    std::map<size_t, int> packs = dv_packs(made, 0);
    for (const auto& p : packs) letterbox[p.first + 1] = static_cast<uint8_t>((letterbox[p.first + 1] & 0xF8) | 1);
    write_bytes(video, letterbox);
    EXPECT_EQ(run({"pal.dv"}).exit_code, 4);
    EXPECT_TRUE(read_bytes(video) == letterbox);
    EXPECT_EQ(run({"-o3", "pal.dv"}).exit_code, 0);
    EXPECT_EQ(disps(dv_packs(read_bytes(video), 0)), std::set<int>{2});
    EXPECT_EQ(run({"-u", "pal.dv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(video) == letterbox);

    // One pack of the second frame says 16:9.
    Bytes mixed = made;
    size_t odd = std::next(packs.begin(), 72 + 5)->first;
    mixed[odd + 1] = static_cast<uint8_t>(mixed[odd + 1] | 2);
    write_bytes(video, mixed);
    RunResult listed = run({"-l", "pal.dv"});
    EXPECT_TRUE(says(listed, "パックのアスペクトが食い違うフレーム: 1 個(最初はフレーム 1)")) << listed.out;
    // The console shows the packs that agree a run at a time, the one that
    // differs alone; the list file has every pack's line.
    EXPECT_TRUE(says(listed, "フレーム0～1: 77個のパック 4:3")) << listed.out;
    EXPECT_TRUE(says(listed, " DV DISP 2 16:9 frame 1")) << listed.out;
    EXPECT_TRUE(says(listed, "フレーム1～2: 138個のパック 4:3")) << listed.out;
    EXPECT_FALSE(says(listed, " DV DISP 0 4:3 frame"));
    std::string list = read_text(dir_ / "pal.txt");
    size_t lines = 0;
    for (size_t at = list.find(" DV DISP "); at != std::string::npos; at = list.find(" DV DISP ", at + 1)) ++lines;
    EXPECT_EQ(lines, 216u);
}

// A MOV whose own places say 16:9 over packs of 4:3: the players show its
// places, so the default takes 16:9 for the shape to change; the packs hold
// the target already, and the disagreement is said.
TEST_F(DvVideo, AMovsOwnPlacesShowOverItsPacks) {
    ASSERT_TRUE(make_dv("made43.dv", "ntsc-dv", "4:3"));
    ASSERT_TRUE(commands_run(dir_.path(), "ffmpeg -loglevel error -y -i made43.dv -c copy -aspect 16:9 shown.mov"));
    fs::path video = dir_ / "shown.mov";
    Bytes before = read_bytes(video);
    std::map<size_t, int> packs = dv_packs(before, blocks_from(video, before));
    RunResult r = run({"shown.mov"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(says(r, "アスペクトが場所によって違います")) << r.out;
    EXPECT_TRUE(says(r, "MOV DV 720x480 16:9->4:3 "));
    EXPECT_EQ(probed_display(video), "4:3");
    Bytes after = read_bytes(video);
    for (const auto& p : packs) EXPECT_EQ(after[p.first + 1], before[p.first + 1]);
    EXPECT_EQ(run({"-u", "shown.mov"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(video) == before);
}

// A raw DV file cut within a VAUX block: the blocks before the cut take
// the target, the cut one stays as it is, and the cut is said.
TEST_F(DvVideo, ABlockTheEndOfACutFileCutsIsLeftAsItIs) {
    ASSERT_TRUE(make_dv("pal.dv", "pal-dv", "16:9"));
    fs::path video = dir_ / "pal.dv";
    size_t cut_block = 2 * 144000 + 4 * block;  // the third frame's second VAUX block
    const Bytes whole = read_bytes(video);
    Bytes cut = whole;
    cut.resize(cut_block + 20);
    write_bytes(video, cut);
    std::map<size_t, int> packs = dv_packs(cut, 0);
    RunResult r = run({"pal.dv"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(says(r, "途切れています"));
    Bytes after = read_bytes(video);
    ASSERT_EQ(after.size(), cut.size());
    EXPECT_EQ(disps(dv_packs(after, 0)), std::set<int>{0});
    EXPECT_EQ(packs.size(), 2 * 72 + 2u);
    // The cut block's own pack lies whole before the cut, and stays.
    ASSERT_EQ(cut[cut_block + 8], 0x61);
    EXPECT_EQ(after[cut_block + 10], cut[cut_block + 10]);
    EXPECT_EQ(run({"-u", "pal.dv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(video) == cut);

    // Other bytes after the cut, out of step with the frames (a capture
    // restarted into the same file), where one run happens to look like a
    // VAUX block with a source control pack: none of them is taken for one.
    Bytes joined = cut;
    joined.resize(3 * 144000, 0x00);
    size_t fake = 2 * 144000 + 12000 + 3 * block;  // where the cut frame's second sequence has its VAUX
    const uint8_t vaux[] = {0x56, 0x17, 0x00, 0x61, 0x3f, 0xca, 0xfc, 0xff};  // 16:9
    std::copy(std::begin(vaux), std::end(vaux), joined.begin() + static_cast<std::ptrdiff_t>(fake));
    write_bytes(video, joined);
    ASSERT_EQ(run({"pal.dv"}).exit_code, 0);
    EXPECT_EQ(read_bytes(video)[fake + 5], joined[fake + 5]);

    // A capture restarted into the cut file: the walk finds its frames
    // again, says so, and they take the target.
    fs::path restarted = dir_ / "restarted.dv";
    write_bytes(restarted, cut + whole);
    r = run({"restarted.dv"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(says(r, "同期を1回失い"));
    EXPECT_EQ(disps(dv_packs(read_bytes(restarted), cut.size())), std::set<int>{0});
}

// A dropout in the id of a frame's first subcode block, and 3 bytes missing
// from the video blocks of the first frame's first sequence, after which
// every sequence and frame lies 3 bytes early (at 50 Mbit/s the second
// channel too): every pack takes the target where its blocks lie, no other
// byte changes, and -u gives the damaged file back.
TEST_F(DvVideo, ADamagedFramesPacksAreReadWhereItsBlocksLie) {
    ASSERT_TRUE(make_dv("pal.dv", "pal-dv", "4:3") && make_dv("dv50.dv", "dv50", "4:3"));
    const struct {
        const char* made;
        size_t at;
        size_t missing;  // else 3 bytes overwritten
        const char* said;
    } damages[] = {{"pal.dv", 144000 + block, 0, nullptr},
                   {"pal.dv", 6000, 3, "同期を1回失い、0バイトを飛ばしました"},
                   {"dv50.dv", 6000, 3, "同期を1回失い、0バイトを飛ばしました"}};
    fs::path video = dir_ / "damaged.dv";
    for (const auto& d : damages) {
        SCOPED_TRACE(std::string(d.made) + (d.missing > 0 ? " missing" : " subcode"));
        Bytes before = read_bytes(dir_ / d.made);
        std::map<size_t, int> packs = dv_packs(before, 0);
        auto at = before.begin() + static_cast<std::ptrdiff_t>(d.at);
        if (d.missing > 0) before.erase(at, at + static_cast<std::ptrdiff_t>(d.missing));
        else std::fill_n(at, 3, 0xFF);
        write_bytes(video, before);
        // The packs where the damage moved them, each holding 16:9.
        Bytes expected = before;
        for (const auto& p : packs) {
            uint8_t& control = expected[(p.first < d.at ? p.first : p.first - d.missing) + 1];
            control = static_cast<uint8_t>((control & 0xF8) | 2);
        }
        ASSERT_NE(expected, before);

        RunResult r = run({"damaged.dv"});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(says(r, d.said != nullptr ? d.said : "同期を"), d.said != nullptr) << r.out;
        Bytes after = read_bytes(video);
        EXPECT_TRUE(after == expected);
        EXPECT_EQ(change_unlisted(before, after, dir_ / "damaged.ini"), SIZE_MAX);
        EXPECT_EQ(run({"-u", "damaged.dv"}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
}

// A PAL recording with an NTSC or a 50 Mbit/s one joined after it (cat):
// the second's frames are another video's, walked whole and left, and the
// run says so; it never loses step with them nor takes them for damage.
TEST_F(DvVideo, FramesOfAnotherSystemOrRateJoinedAreLeftWhole) {
    ASSERT_TRUE(make_dv("pal.dv", "pal-dv", "4:3") && make_dv("ntsc.dv", "ntsc-dv", "4:3") &&
                make_dv("dv50.dv", "dv50", "4:3"));
    const struct {
        const char* second;
        const char* said;
    } joins[] = {{"ntsc.dv", "DV 720x480(25Mbps):最初のフレームと違うので、そのパック180個"},
                 {"dv50.dv", "DV 720x576(50Mbps):最初のフレームと違うので、そのパック432個"}};
    Bytes pal = read_bytes(dir_ / "pal.dv");
    for (const auto& j : joins) {
        SCOPED_TRACE(j.second);
        Bytes before = pal + read_bytes(dir_ / j.second);
        write_bytes(dir_ / "joined.dv", before);
        RunResult r = run({"joined.dv"});
        EXPECT_EQ(r.exit_code, 11);
        EXPECT_TRUE(says(r, j.said)) << r.out;
        EXPECT_FALSE(says(r, "同期を")) << r.out;
        Bytes after = read_bytes(dir_ / "joined.dv");
        EXPECT_EQ(disps(dv_packs(Bytes(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(pal.size())), 0)),
                  std::set<int>{2});
        EXPECT_EQ(disps(dv_packs(after, pal.size())), std::set<int>{0});
        EXPECT_EQ(run({"joined.dv"}).exit_code, 4);
        EXPECT_EQ(run({"-u", "joined.dv"}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / "joined.dv") == before);
    }
}

}  // namespace
