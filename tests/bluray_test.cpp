// Blu-ray and AVCHD folders taken whole: streams made by ffmpeg as
// transport streams of 192-byte packets, and clip information files
// written here (no authoring tool for them exists in Debian), judged by
// mediainfo on the clip information alone, by a reader of the tests' own,
// by ffprobe on the stream and by comparing every file byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "judges.h"
#include "support.h"

namespace {

void put32(Bytes* bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes->push_back(static_cast<uint8_t>(value >> shift));
}

// A clip information file as an authoring program lays it out: its head,
// an empty ClipInfo and SequenceInfo, ProgramInfo with `sequences`
// program sequences of a video stream (aspect `code`, flags 0x5 kept
// beside it) and an audio stream each, and an empty CPI. `broken` makes
// ProgramInfo say it runs 40 bytes further than it does, into the CPI; `3d`
// adds the extension data of a 3D clip, whose second ProgramInfo has the
// dependent view's MVC video.
Bytes program_info(uint16_t pid, uint8_t coding, uint8_t code, int sequences, uint32_t more = 0) {
    Bytes streams;
    Bytes video = {coding, 0x63, static_cast<uint8_t>(code << 4 | 0x5)};
    video.resize(21);
    Bytes audio = {0x81, 0x31, 'e', 'n', 'g'};
    audio.resize(21);
    for (const auto& [stream_pid, coding_info] : {std::pair<int, Bytes>{pid, video}, {0x1100, audio}}) {
        streams.push_back(static_cast<uint8_t>(stream_pid >> 8));
        streams.push_back(static_cast<uint8_t>(stream_pid));
        streams.push_back(static_cast<uint8_t>(coding_info.size()));
        streams = streams + coding_info;
    }
    Bytes program = {0, static_cast<uint8_t>(sequences)};
    for (int s = 0; s < sequences; ++s) program = program + Bytes{0, 0, 0, 0, 0x01, 0x00, 2, 0} + streams;
    Bytes info;
    put32(&info, static_cast<uint32_t>(program.size()) + more);
    return info + program;
}

Bytes clip_info(uint8_t coding, uint8_t code, int sequences, bool broken = false, bool three_d = false) {
    Bytes program = program_info(0x1011, coding, code, sequences, broken ? 40 : 0);
    Bytes file = {'H', 'D', 'M', 'V', '0', '2', '0', '0'};
    const uint32_t clip_at = 40, sequence_at = clip_at + 8, program_at = sequence_at + 10;
    const uint32_t cpi_at = program_at + static_cast<uint32_t>(program.size()) - (broken ? 40 : 0);
    const uint32_t extension_at = three_d ? cpi_at + 4 : 0;
    for (uint32_t address : {sequence_at, program_at, cpi_at, 0u, extension_at}) put32(&file, address);
    file.resize(clip_at);
    put32(&file, 4);
    put32(&file, 0);
    put32(&file, 6);
    file.resize(program_at);
    file = file + program;
    put32(&file, 0);
    if (!three_d) return file;
    Bytes second = program_info(0x1012, 0x20, code, 1);
    put32(&file, 20 + static_cast<uint32_t>(second.size()));
    file = file + Bytes{0, 0, 0, 24, 0, 0, 0, 1, 0, 2, 0, 5, 0, 0, 0, 24};
    put32(&file, static_cast<uint32_t>(second.size()));
    return file + second;
}

// The aspect code of every video stream of every program sequence, as the
// file's own addresses and lengths lead to it.
// The second ProgramInfo of a 3D clip's extension data follows.
void program_aspects(const Bytes& file, size_t at, std::vector<int>* codes) {
    int sequences = file[at + 1];
    at += 2;
    for (int s = 0; s < sequences; ++s) {
        int streams = file[at + 6];
        at += 8;
        for (int k = 0; k < streams; ++k) {
            uint8_t coding = file[at + 3];
            bool video = coding == 0x02 || coding == 0x1B || coding == 0x20 || coding == 0x24 || coding == 0xEA;
            if (video) codes->push_back(file[at + 5] >> 4);
            EXPECT_EQ(file[at + 5] & 0x0F, 0x5) << "flags beside the aspect";
            at += 3 + file[at + 2];
        }
    }
}

std::vector<int> clip_aspects(const Bytes& file) {
    auto be32 = [&](size_t at) { return uint32_t{file[at]} << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]; };
    std::vector<int> codes;
    program_aspects(file, be32(12) + 4, &codes);
    size_t extension = be32(24);
    for (size_t k = 0; extension != 0 && k < file[extension + 11]; ++k) {
        size_t entry = extension + 12 + 12 * k;
        if (file[entry + 1] == 2 && file[entry + 3] == 5) program_aspects(file, extension + be32(entry + 4) + 4, &codes);
    }
    return codes;
}

// The display aspect of each video stream mediainfo finds, one after
// another: "16:9 16:9" for a 3D clip.
std::string mediainfo_shape(const fs::path& file) {
    std::string shapes = first_line(output_of("mediainfo --Inform='Video;%DisplayAspectRatio/String% ' " + quoted(file)));
    return shapes.substr(0, shapes.find_last_not_of(' ') + 1);
}

// Every file under the folder, by its path in it, the tool's markers left out.
std::map<std::string, Bytes> tree_files(const fs::path& top) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".ini") continue;
        files[fs::relative(entry.path(), top).generic_string()] = read_bytes(entry.path());
    }
    return files;
}

size_t markers_in(const fs::path& top) {
    size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(top)) count += entry.path().extension() == ".ini";
    return count;
}

class BluRay : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1 && mediainfo --version > /dev/null 2>&1") != 0) {
            GTEST_SKIP() << "no ffmpeg or mediainfo";
        }
    }
    // One second of ffmpeg's test pattern as a transport stream of 192-byte
    // packets, shown at `aspect`.
    bool stream_make(const fs::path& file, const std::string& codec, const std::string& size, const std::string& aspect) {
        fs::create_directories(file.parent_path());
        return commands_run(dir_.path(), "ffmpeg -v error -f lavfi -i testsrc=size=" + size + ":rate=25 -t 1 -c:v " +
                                             codec + " -aspect " + aspect + " -f mpegts -mpegts_m2ts_mode 1 " +
                                             quoted(file));
    }
    void info_write(const fs::path& file, const Bytes& bytes) {
        fs::create_directories(file.parent_path());
        write_bytes(file, bytes);
    }
    bool says(const RunResult& r, const std::string& utf8) const {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    ScratchDir dir_;
};

// A disc's folder of three clips: an H.264 clip of two program sequences
// and the 3D extension's ProgramInfo,
// an MPEG-2 clip whose clip information says another aspect than its
// stream, and a clip whose clip information is damaged; with its index and
// a playlist, which no run touches.
TEST_F(BluRay, DiscFolderClipsChangeWholeOrNotAndUndo) {
    fs::path bdmv = dir_ / "disc" / "BDMV";
    ASSERT_TRUE(stream_make(bdmv / "STREAM" / "00001.m2ts", "libx264", "1280x720", "4:3"));
    ASSERT_TRUE(stream_make(bdmv / "STREAM" / "00002.m2ts", "mpeg2video", "720x576", "16:9"));
    ASSERT_TRUE(stream_make(bdmv / "STREAM" / "00003.m2ts", "libx264", "1280x720", "4:3"));
    for (const char* folder : {"CLIPINF", "BACKUP/CLIPINF"}) {
        info_write(bdmv / folder / "00001.clpi", clip_info(0x1B, 2, 2, false, true));
        info_write(bdmv / folder / "00002.clpi", clip_info(0x02, 2, 1));
    }
    info_write(bdmv / "CLIPINF" / "00003.clpi", clip_info(0x1B, 2, 1, true));
    info_write(bdmv / "BACKUP" / "CLIPINF" / "00003.clpi", clip_info(0x1B, 2, 1));
    info_write(bdmv / "index.bdmv", Bytes{'I', 'N', 'D', 'X', '0', '2', '0', '0', 0, 0, 0, 0});
    info_write(bdmv / "PLAYLIST" / "00000.mpls", Bytes{'M', 'P', 'L', 'S', '0', '2', '0', '0', 0, 0, 0, 0});
    ASSERT_EQ(mediainfo_shape(bdmv / "CLIPINF" / "00001.clpi"), "4:3 4:3");
    std::map<std::string, Bytes> before = tree_files(dir_ / "disc");

    RunResult r = run_tool({"disc"}, dir_.path());
    EXPECT_EQ(r.exit_code, 6) << r.out;
    EXPECT_TRUE(says(r, "クリップ情報のアスペクト4:3がストリームの16:9と違うので、両方を4:3にそろえます")) << r.out;
    EXPECT_TRUE(says(r, "クリップ情報ファイルが壊れているので、このクリップはどのファイルも書き換えていません"));
    std::map<std::string, Bytes> after = tree_files(dir_ / "disc");
    for (const char* folder : {"BDMV/CLIPINF/", "BDMV/BACKUP/CLIPINF/"}) {
        EXPECT_EQ(clip_aspects(after[std::string(folder) + "00001.clpi"]), (std::vector<int>{3, 3, 3})) << folder;
        EXPECT_EQ(clip_aspects(after[std::string(folder) + "00002.clpi"]), (std::vector<int>{2})) << folder;
        EXPECT_EQ(after[std::string(folder) + "00003.clpi"], before[std::string(folder) + "00003.clpi"]);
    }
    EXPECT_EQ(mediainfo_shape(bdmv / "CLIPINF" / "00001.clpi"), "16:9 16:9");
    EXPECT_EQ(mediainfo_shape(bdmv / "BACKUP" / "CLIPINF" / "00002.clpi"), "4:3");
    EXPECT_EQ(probed_display(bdmv / "STREAM" / "00001.m2ts"), "16:9");
    EXPECT_EQ(probed_display(bdmv / "STREAM" / "00002.m2ts"), "4:3");
    for (const char* untouched : {"BDMV/STREAM/00003.m2ts", "BDMV/index.bdmv", "BDMV/PLAYLIST/00000.mpls"}) {
        EXPECT_EQ(after[untouched], before[untouched]) << untouched;
    }
    EXPECT_TRUE(fs::exists(bdmv / "CLIPINF" / "00001.clpi.ini"));
    EXPECT_TRUE(fs::exists(bdmv / "STREAM" / "00001.ini"));

    // Again: nothing more changes; the damaged clip is refused again.
    EXPECT_EQ(run_tool({"disc"}, dir_.path()).exit_code, 6);
    EXPECT_EQ(tree_files(dir_ / "disc"), after);

    RunResult undo = run_tool({"-u", "disc"}, dir_.path());
    EXPECT_EQ(tree_files(dir_ / "disc"), before) << undo.out;
    EXPECT_EQ(markers_in(dir_ / "disc"), 0u);
}

// A camcorder's card copied to disk: PRIVATE/AVCHD/BDMV, its names in
// upper case, a clip without a backup of its clip information.
TEST_F(BluRay, AvchdCardConvertsOnceAndUndoes) {
    fs::path bdmv = dir_ / "card" / "PRIVATE" / "AVCHD" / "BDMV";
    ASSERT_TRUE(stream_make(bdmv / "STREAM" / "00000.MTS", "libx264", "1440x1080", "16:9"));
    info_write(bdmv / "CLIPINF" / "00000.CPI", clip_info(0x1B, 3, 1));
    info_write(bdmv / "INDEX.BDM", Bytes{'I', 'N', 'D', 'X', '0', '1', '0', '0', 0, 0, 0, 0});
    std::map<std::string, Bytes> before = tree_files(dir_ / "card");

    RunResult r = run_tool({"--json", "card"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("00000.CPI\",\"done\":\"converted\",\"exit_code\":0,\"container\":\"CLPI\""), std::string::npos)
        << r.out;
    EXPECT_EQ(clip_aspects(read_bytes(bdmv / "CLIPINF" / "00000.CPI")), (std::vector<int>{2}));
    EXPECT_EQ(mediainfo_shape(bdmv / "CLIPINF" / "00000.CPI"), "4:3");
    EXPECT_EQ(probed_display(bdmv / "STREAM" / "00000.MTS"), "4:3");

    EXPECT_EQ(run_tool({"card"}, dir_.path()).exit_code, 4);
    EXPECT_EQ(run_tool({"-o1", "card"}, dir_.path()).exit_code, 3);

    EXPECT_EQ(run_tool({"-u", "card"}, dir_.path()).exit_code, 0);
    EXPECT_EQ(tree_files(dir_ / "card"), before);
    EXPECT_EQ(markers_in(dir_ / "card"), 0u);
}

}  // namespace
