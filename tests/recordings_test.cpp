// Recordings as browsers and screen recorders leave them, and recordings
// cut short: Matroska whose frames are framed by start codes with no
// CodecPrivate, in a segment and clusters of unknown size (written here
// by an EBML writer of the tests' own, since no muxer at hand writes one),
// and Matroska and MP4 files cut inside their frames or samples. Every
// parameter set within the file takes the target, as trace_headers and
// ffprobe read it; only listed bytes change; -u gives the file back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y ";

std::string pattern(const std::string& aspect) {
    return ff + "-f lavfi -i testsrc2=duration=2:size=720x576:rate=25 -aspect " + aspect + " -g 10 ";
}

// An element with an eight-byte size, as a live writer leaves room for one.
Bytes element(const Bytes& id, const Bytes& data) {
    Bytes out = id;
    out.push_back(0x01);
    for (int k = 6; k >= 0; --k) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(data.size()) >> (8 * k)));
    return out + data;
}

Bytes number(const Bytes& id, uint32_t value) {
    return element(id, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

const Bytes unknown_size = {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// What MediaRecorder writes: a segment and clusters of unknown size, a
// video track without CodecPrivate (its display elements in pixels), and
// each access unit whole in a SimpleBlock, as ffmpeg's image2 muxer cut
// them from an elementary stream into the files 001 to 050.
Bytes browser_recording(const fs::path& dir, const std::string& codec_id) {
    Bytes header = element({0x1A, 0x45, 0xDF, 0xA3}, element({0x42, 0x82}, {'w', 'e', 'b', 'm'}));
    Bytes video = number({0xB0}, 720) + number({0xBA}, 576) + number({0x54, 0xB0}, 768) + number({0x54, 0xBA}, 576);
    Bytes track = number({0xD7}, 1) + number({0x83}, 1) + element({0x86}, Bytes(codec_id.begin(), codec_id.end())) +
                  element({0xE0}, video);
    Bytes segment = element({0x15, 0x49, 0xA9, 0x66}, number({0x2A, 0xD7, 0xB1}, 10000)) +
                    element({0x16, 0x54, 0xAE, 0x6B}, element({0xAE}, track));
    for (uint32_t k = 0; k < 50; ++k) {
        if (k % 10 == 0) segment = segment + Bytes{0x1F, 0x43, 0xB6, 0x75} + unknown_size + number({0xE7}, k * 4);
        Bytes block = {0x81, 0, static_cast<uint8_t>(k % 10 * 4), static_cast<uint8_t>(k % 10 == 0 ? 0x80 : 0)};
        char name[8];
        std::snprintf(name, sizeof name, "%03u", k + 1);
        segment = segment + element({0xA3}, block + read_bytes(dir / name));
    }
    return header + Bytes{0x18, 0x53, 0x80, 0x67} + unknown_size + segment;
}

class Recordings : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }

    // Converted with exit 0, every parameter set ffmpeg reads holds the
    // target, only listed bytes changed, and -u gives the file back.
    void convert_and_undo(const std::string& name, const std::string& sar, const std::string& frame_sar,
                          const std::string& said) {
        fs::path file = dir_ / name;
        Bytes original = read_bytes(file);
        RunResult r = run_tool({name}, dir_.path(), "LC_ALL=C.UTF-8");
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find(said), std::string::npos) << said;
        std::vector<std::string> sets = traced_aspects(file);
        EXPECT_FALSE(sets.empty());
        for (const std::string& idc : sets) EXPECT_EQ(traced_sar(idc), sar);
        EXPECT_EQ(frame_aspects(file), std::set<std::string>{frame_sar});
        EXPECT_EQ(change_unlisted(original, read_bytes(file), fs::path(file).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(run_tool({"-u", name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == original);
    }
    ScratchDir dir_;
};

TEST_F(Recordings, FramesWithStartCodesAndNoCodecPrivateTakeTheTarget) {
    const struct {
        const char* name;
        const char* encoder;
        const char* stream;
        const char* codec_id;
    } cases[] = {{"avc.webm", "libx264", "src.h264", "V_MPEG4/ISO/AVC"},
                 {"hevc.mkv", "libx265 -x265-params log-level=none", "src.hevc", "V_MPEGH/ISO/HEVC"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(make(pattern("4:3") + "-c:v " + c.encoder + " " + c.stream + " && " + ff + "-i " + c.stream +
                         " -c copy -f image2 %03d"));
        write_bytes(dir_ / c.name, browser_recording(dir_.path(), c.codec_id));
        std::string errors = decode_errors(dir_ / c.name);
        // ffprobe reads every frame of such a file.
        EXPECT_EQ(output_of("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
                            quoted(dir_ / c.name)),
                  "50\n");
        convert_and_undo(c.name, "16:11", "349:240", "SAR 16:15->16:11");
        EXPECT_EQ(decode_errors(dir_ / c.name), errors);
    }
}

// Cut inside a cluster or inside the samples after a movie that came
// first: what the file holds is converted, and the run says where it
// ends and how many samples lay past that end, as ffprobe counts them in
// the whole file.
TEST_F(Recordings, RecordingsCutShortAreConvertedAsFarAsTheyGo) {
    ASSERT_TRUE(make(pattern("4:3") + "-c:v libx264 -f mpegts src.ts && " + ff + "-i src.ts -c copy whole.mkv && " +
                     ff + "-i src.ts -c copy -movflags +faststart whole.mp4"));
    for (const char* kind : {"mkv", "mp4"}) {
        SCOPED_TRACE(kind);
        fs::path whole = dir_ / (std::string("whole.") + kind);
        uintmax_t cut = fs::file_size(whole) * 3 / 5;
        std::string name = std::string("cut.") + kind;
        ASSERT_TRUE(make("head -c " + std::to_string(cut) + " " + quoted(whole) + " > " + name));
        std::string packets = output_of("ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 " +
                                        quoted(whole));
        int beyond = 0;
        for (size_t at = 0, nl; (nl = packets.find('\n', at)) != std::string::npos; at = nl + 1) {
            size_t comma = packets.find(',', at);
            beyond += std::stoull(packets.substr(comma + 1)) + std::stoull(packets.substr(at, comma - at)) > cut;
        }
        // A Matroska file says nothing of the frames its end took with it
        // but for those of the block it cut.
        std::string count = std::string(kind) == "mp4" ? std::to_string(beyond) : "1";
        convert_and_undo(name, "16:11", "16:11",
                         "ファイルは" + std::to_string(cut) + "バイトで途切れています。そこにかかるか、"
                         "その先にあるサンプルまたはフレーム" + count + "個");
        EXPECT_GT(beyond, 10);
    }
}

}  // namespace
