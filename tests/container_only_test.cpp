// Video whose own bytes the tool does not change, or that record no
// aspect: VP8, VP9, AV1, FFV1, Motion JPEG and ProRes, and H.264 whose SPS
// has no aspect information. Its container's places take the target
// together, as ffprobe and mkvinfo read them; only listed bytes change, the
// frames decode as before, every CRC-32 holds, -u gives the file back byte
// for byte; a frame header that records another aspect refuses the run
// unless -c; and a file whose places are all in its head is never read
// past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25 -t 0.4 ";

bool matroska(const fs::path& file) {
    return file.extension() == ".mkv" || file.extension() == ".webm";
}

class ContainerOnly : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0 ||
            std::system("mkvmerge --version > /dev/null 2>&1") != 0) {
            GTEST_SKIP() << "no ffmpeg or mkvtoolnix";
        }
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    static bool contains(const RunResult& r, const std::string& utf8) {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    ScratchDir dir_;
};

struct Made {
    const char* name;
    std::string commands;
    const char* display_after;  // as ffprobe reads it
};

TEST_F(ContainerOnly, EveryContainerPlaceTakesTheTargetAndTheFramesStay) {
    const std::string vp9 = "-c:v libvpx-vp9 -deadline realtime ";
    const std::string av1 = "-c:v libaom-av1 -cpu-used 8 ";
    const std::string h264 = "-vf setsar=0 -c:v libx264 -preset ultrafast ";
    const Made cases[] = {
        {"vp8.webm", ff + "-c:v libvpx -aspect 16:9 vp8.webm", "4:3"},
        {"vp9.mkv", ff + vp9 + "-aspect 16:9 vp9.mkv", "4:3"},
        // mkvmerge: display sizes in pixels, CRC-32 elements over them.
        {"vp9.webm", ff + vp9 + "src.webm && mkvmerge -q --webm -o vp9.webm src.webm", "71:40"},
        {"av1.mp4", ff + av1 + "av1.mp4", "16:9"},
        {"av1.mkv", ff + av1 + "-aspect 16:9 av1.mkv", "4:3"},
        {"ffv1.mkv", ff + "-c:v ffv1 -aspect 16:9 ffv1.mkv", "4:3"},
        {"mjpeg.mov", ff + "-c:v mjpeg mjpeg.mov", "16:9"},
        // QuickTime's track apertures (tapt) hold the display size.
        {"prores.mov", ff + "-c:v prores_ks -aspect 16:9 prores.mov", "4:3"},
        {"h264.mp4", ff + h264 + "h264.mp4", "71:40"},  // the header's 213.33 rounds to 213
        {"h264.mkv", ff + h264 + "-f h264 src.h264 && mkvmerge -q -o h264.mkv src.h264", "71:40"},
    };
    for (const Made& c : cases) {
        fs::path video = dir_ / c.name;
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(make(c.commands));
        std::string sums = frame_sums(video);
        Bytes before = read_bytes(video);
        std::vector<std::string> sets = traced_aspects(video);
        EXPECT_EQ(run({"-l", c.name}).exit_code, 0);
        RunResult r = run({c.name});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        Bytes after = read_bytes(video);
        EXPECT_FALSE(changed_positions(before, after).empty());
        EXPECT_EQ(change_unlisted(before, after, fs::path(video).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(probed_display(video), c.display_after);
        EXPECT_EQ(frame_sums(video), sums);
        EXPECT_EQ(traced_aspects(video), sets);
        int checksums = 0;
        if (matroska(video)) {
            EXPECT_EQ(crc_mismatches(video, &checksums), 0);
        }
        EXPECT_EQ(run({c.name}).exit_code, 4);  // converted already: never swapped back
        EXPECT_EQ(run({"-u", c.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
    // The summary names the codec, and the SPS that records no aspect is said.
    EXPECT_TRUE(contains(run({"-l", "vp9.webm"}), "WebM VP9 160x120 表示 4:3->16:9 "));
    EXPECT_TRUE(contains(run({"h264.mp4"}), "SPSだけを読むプレーヤーでは正方形の画素で表示されます"));
    EXPECT_NE(run({"--json", "-l", "av1.mp4"}).out.find("\"codec\":\"AV1\""), std::string::npos);
}

// A frame header that records another aspect than the target stands in
// the way: nothing is written, unless -c, which changes the container's
// places and leaves every one of the codec's own (a JFIF density, an SPS)
// as it was, and says so.
TEST_F(ContainerOnly, ACodecsOwnAspectRefusesTheRunUnlessOnlyTheContainerIsAsked) {
    ASSERT_TRUE(make(ff + "-c:v mjpeg -aspect 16:9 mjpeg.mov && " + ff + "-c:v prores_ks -aspect 4:3 prores.mov && " +
                     ff + "-c:v libx264 -preset ultrafast -aspect 16:9 h264.mp4"));
    // ProRes's frame header says 4:3 (its aspect code, which prores_ks leaves 0).
    Bytes prores = read_bytes(dir_ / "prores.mov");
    size_t frame = 0;
    while (frame + 8 < prores.size() && std::string(prores.begin() + frame + 4, prores.begin() + frame + 8) != "icpf") {
        ++frame;
    }
    ASSERT_LT(frame + 22, prores.size());
    prores[frame + 21] = static_cast<uint8_t>((prores[frame + 21] & 0x0F) | 0x20);
    write_bytes(dir_ / "prores.mov", prores);
    for (const char* name : {"mjpeg.mov", "prores.mov"}) {
        SCOPED_TRACE(name);
        Bytes before = read_bytes(dir_ / name);
        RunResult r = run({name});
        EXPECT_EQ(r.exit_code, 12);
        EXPECT_TRUE(contains(r, "のフレームのヘッダーは、コーデック自身の記録で、このツールでは変えないため"));
        EXPECT_TRUE(contains(r, "だけを変えてフレームのヘッダーはそのままにします")) << r.out;
        EXPECT_TRUE(read_bytes(dir_ / name) == before);
        EXPECT_FALSE(fs::exists(fs::path(dir_ / name).replace_extension(".ini")));
    }
    const struct {
        const char* name;
        const char* left;
        const char* display_after;
    } kept[] = {{"mjpeg.mov", "フレームのヘッダー:SAR 4:3(16:9)はそのままにしました", "4:3"},
                {"h264.mp4", "avcCのSPS:SAR 4:3(16:9)はそのままにしました", "4:3"}};
    for (const auto& k : kept) {
        SCOPED_TRACE(k.name);
        fs::path video = dir_ / k.name;
        Bytes before = read_bytes(video);
        std::string sums = frame_sums(video);
        std::vector<std::string> sets = traced_aspects(video);
        RunResult r = run({"-c", k.name});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_TRUE(contains(r, k.left));
        EXPECT_EQ(probed_display(video), k.display_after);
        EXPECT_EQ(frame_sums(video), sums);
        EXPECT_EQ(traced_aspects(video), sets);
        EXPECT_EQ(change_unlisted(before, read_bytes(video), fs::path(video).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(run({"-u", k.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
}

// ffmpeg's Motion JPEG AVI at 16:9 records it twice, in its own terms: the
// vprp's display aspect 16:9 and the JFIF density 64:45, where -o3's target
// at 720x576 is 16:11; both give the picture the target's shape, so the
// file holds it already. Without the vprp (its code made a JUNK's here, as
// a muxer without one leaves the room), the density is what ffprobe and
// the run show, and -o3 writes a vprp into the room.
TEST_F(ContainerOnly, AJfifDensityHoldsTheShapeItGivesAndShowsWhereNoFieldDoes) {
    ASSERT_TRUE(make("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=720x576:rate=25 -t 0.4 "
                     "-c:v mjpeg -aspect 16:9 mjpeg.avi && cp mjpeg.avi bare.avi"));
    Bytes before = read_bytes(dir_ / "mjpeg.avi");
    RunResult r = run({"-o3", "mjpeg.avi"});
    EXPECT_EQ(r.exit_code, 4) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "mjpeg.avi") == before);
    Bytes bare = before;
    const std::string vprp = "vprp";
    auto at = std::search(bare.begin(), bare.end(), vprp.begin(), vprp.end());
    ASSERT_NE(at, bare.end());
    std::copy_n("JUNK", 4, at);
    write_bytes(dir_ / "bare.avi", bare);
    std::string probed = output_of("ffprobe -v error -show_entries stream=sample_aspect_ratio -of csv=p=0 " +
                                   quoted(dir_ / "bare.avi"));
    ASSERT_EQ(first_line(probed), "64:45");
    EXPECT_TRUE(contains(run({"-l", "bare.avi"}), "変換元アスペクト:SAR 64:45(16:9)"));
    ASSERT_EQ(run({"-o3", "bare.avi"}).exit_code, 0);
    EXPECT_EQ(probed_display(dir_ / "bare.avi"), "16:9");
    EXPECT_EQ(change_unlisted(bare, read_bytes(dir_ / "bare.avi"), dir_ / "bare.ini"), SIZE_MAX);
    EXPECT_EQ(run({"-u", "bare.avi"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "bare.avi") == bare);
}

// -c changes a container's places alone: a file without any (raw DV,
// MPEG-4 Part 2 and MPEG video, transport and program streams) is refused
// untouched, alone or in a folder, whose other files are done.
TEST_F(ContainerOnly, AFileWithoutContainerPlacesIsRefused) {
    fs::create_directory(dir_ / "folder");
    ASSERT_TRUE(make(ff + "-c:v mpeg4 -f m4v folder/raw.m4v"));
    std::vector<std::string> streams = {"raw.m4v"};
    for (const char* sample : {"dv_pal.dv", "ts_h264.ts", "dvd_ntsc_4x3.mpg", "es_mpeg2_16x9.m2v"}) {
        copy_sample(dir_, sample, std::string("folder/") + sample);
        streams.push_back(sample);
    }
    const std::string refused = "-cはコンテナの場所だけを変えますが、このファイルにはコンテナの場所がありません";
    for (const std::string& name : streams) {
        SCOPED_TRACE(name);
        fs::path file = dir_ / "folder" / name;
        Bytes before = read_bytes(file);
        RunResult r = run({"-c", "-o3", "folder/" + name});
        EXPECT_EQ(r.exit_code, 12);
        EXPECT_TRUE(contains(r, refused)) << r.out;
        EXPECT_TRUE(read_bytes(file) == before);
        EXPECT_FALSE(fs::exists(fs::path(file).replace_extension(".ini")));
    }
    copy_sample(dir_, "mp4_h264.mp4", "folder/mp4_h264.mp4");
    Bytes dv = read_bytes(dir_ / "folder" / "dv_pal.dv");
    RunResult r = run({"-c", "folder"});
    EXPECT_EQ(r.exit_code, 12);
    EXPECT_TRUE(contains(r, "6個のファイル: 完了1、変換するものなし0、失敗5、対象外0")) << r.out;
    EXPECT_TRUE(contains(r, "失敗:folder/dv_pal.dv(終了コード12)")) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "folder" / "dv_pal.dv") == dv);
    EXPECT_EQ(probed_display(dir_ / "folder" / "mp4_h264.mp4"), "20:11");
}

#ifndef _WIN32
// Frames the tool does not change are never visited: with every read that
// reaches the middle of the file failing, a listing, a rewrite and an
// undo of a VP9 WebM and an AV1 MP4 all end well.
TEST_F(ContainerOnly, AFileWhosePlacesAreInItsHeadIsReadOnlyThere) {
    // Noise that the encoders keep whole: a few MiB in a few frames.
    const std::string noise = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25,noise=alls=100:allf=t "
                              "-t 0.4 ";
    const std::string joined = "ffmpeg -loglevel error -f concat -i list.txt -c copy ";
    ASSERT_TRUE(make(noise + "-c:v libvpx-vp9 -deadline realtime -lossless 1 -aspect 16:9 clip.webm && " + noise +
                     "-c:v libaom-av1 -cpu-used 8 -crf 0 clip.mp4 && "
                     "printf \"file 'clip.webm'\\n%.0s\" 1 2 3 4 > list.txt && " + joined + "long.webm && "
                     "printf \"file 'clip.mp4'\\n%.0s\" 1 2 3 4 > list.txt && " + joined + "long.mp4"));
    for (const char* name : {"long.webm", "long.mp4"}) {
        SCOPED_TRACE(name);
        fs::path video = dir_ / name;
        Bytes before = read_bytes(video);
        ASSERT_GT(before.size(), size_t{6} << 20);
        std::string fault = "MORVALEN_FAULT_AT=" + std::to_string(before.size() / 2);
        EXPECT_EQ(run_with_shim(video, "-l", {fault}), 0);
        EXPECT_EQ(run_with_shim(video, "", {fault}), 0);
        EXPECT_FALSE(changed_positions(before, read_bytes(video)).empty());
        EXPECT_EQ(run_with_shim(video, "-u", {fault}), 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
}
#endif

}  // namespace
