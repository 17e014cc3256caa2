// MPEG-4 video (ffmpeg's mpeg4 encoder and Xvid) in raw streams, transport
// streams, MP4 and Matroska: every VOL header takes the target in its own
// form, the pictures stay as they were, -u gives the file back byte for
// byte; a VOL whose form cannot say the target stops the run untouched.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "codecs/codec_table.h"
#include "codecs/site_scan.h"
#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc=rate=25:size=";

// What ffmpeg makes: the encoder, picture size, aspect option, B-frames.
struct Clip {
    std::string encoder;
    std::string size;
    std::string aspect;  // "-aspect 4:3", or a setsar filter for a table code
    int b_frames;
    std::string before;  // what every VOL says, as vol_aspects reads it
    std::string after;   // and after the default change
    std::string sar;     // the sample aspect ffprobe reads after it
};

// The four containers and the summary's name for each.
struct Container {
    std::string format;
    std::string extension;
    std::string summary;
};
const Container containers[] = {
    {"m4v", "m4v", "MPEG-4 "}, {"mpegts", "ts", "MPEG-4 "}, {"mp4", "mp4", "MP4 MPEG-4 "}, {"matroska", "mkv", "MKV MPEG-4 "}};

std::string clip_command(const Clip& c, const Container& k, const std::string& name) {
    return ff + c.size + " -frames:v 12 -g 6 -bf " + std::to_string(c.b_frames) + " " + c.aspect + " -c:v " +
           c.encoder + " -f " + k.format + " " + name;
}

std::string stream_sar(const fs::path& file) {
    return first_line(output_of("ffprobe -v error -select_streams v:0 -show_entries stream=sample_aspect_ratio "
                                "-of default=nw=1:nk=1 " + quoted(file)));
}

// mediainfo's pixel aspect of the video, and the sample aspect as it
// writes one (to three places).
std::string mediainfo_par(const fs::path& file) {
    return first_line(output_of("mediainfo --Inform='Video;%PixelAspectRatio%' " + quoted(file)));
}
std::string par_of(const std::string& sar) {
    size_t colon = sar.find(':');
    char text[16] = {};
    std::snprintf(text, sizeof text, "%.3f", std::stod(sar.substr(0, colon)) / std::stod(sar.substr(colon + 1)));
    return text;
}

// The decoded pictures' checksums, without the header that names the aspect.
std::string pictures(const fs::path& file) {
    return output_of("ffmpeg -v error -i " + quoted(file) + " -f framemd5 - | grep -v '^#'");
}

std::vector<std::string> aspects_of(const std::vector<VolAspect>& vols) {
    std::vector<std::string> aspects;
    for (const VolAspect& v : vols) aspects.push_back(v.aspect);
    return aspects;
}

// Rewrites the aspect_ratio_info of the VOL at pos, as an encoder that wrote
// another would have (the bits after it are left as they are).
void vol_code_force(Bytes* bytes, size_t pos, int code) {
    size_t bit = (pos + 4) * 8 + 9;
    bool identifier = ((*bytes)[bit / 8] >> (7 - bit % 8) & 1) != 0;
    bit += identifier ? 8 : 1;
    for (int k = 3; k >= 0; --k, ++bit) {
        uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
        (*bytes)[bit / 8] = static_cast<uint8_t>(((code >> k) & 1) ? (*bytes)[bit / 8] | mask : (*bytes)[bit / 8] & ~mask);
    }
}

class Mpeg4 : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
        if (std::system("mediainfo --Version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no mediainfo";
    }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }

    // Refused untouched with exit 12, naming the VOL that cannot take it.
    void expect_refused(const std::string& name, const std::vector<std::string>& args) {
        Bytes before = read_bytes(dir_ / name);
        std::vector<std::string> all = args;
        all.push_back(name);
        RunResult r = run(all);
        EXPECT_EQ(r.exit_code, 12) << name;
        EXPECT_NE(r.out.find("VOL"), std::string::npos) << name;
        EXPECT_TRUE(read_bytes(dir_ / name) == before) << name;
        EXPECT_FALSE(fs::exists((dir_ / name).replace_extension(".ini"))) << name;
    }

    ScratchDir dir_;
};

// Both encoders, both shapes at both SD sizes, with and without B-frames,
// the extended pair and table codes, in every container: the default
// swaps 4:3 and 16:9 with the standard sample aspects, which ffprobe,
// mediainfo and the tests' own VOL reader all read.
TEST_F(Mpeg4, EveryVolTakesTheTargetInEveryContainer) {
    const Clip clips[] = {
        {"mpeg4", "720x576", "-aspect 4:3", 0, "15 16:15", "15 16:11", "16:11"},
        {"mpeg4", "720x480", "-aspect 16:9", 2, "15 32:27", "15 10:11", "10:11"},
        {"libxvid", "720x576", "-aspect 16:9", 2, "15 64:45", "15 12:11", "12:11"},
        {"libxvid", "720x480", "-aspect 4:3", 0, "15 8:9", "15 40:33", "40:33"},
        {"mpeg4", "720x576", "-vf setsar=12/11", 2, "2", "4", "16:11"},
        {"libxvid", "720x480", "-vf setsar=40/33", 0, "15 40:33", "15 10:11", "10:11"},
    };
    int n = 0;
    for (const Clip& c : clips) {
        for (const Container& k : containers) {
            std::string name = "c" + std::to_string(n++) + "." + k.extension;
            SCOPED_TRACE(name + " " + c.encoder + " " + c.size + " " + c.aspect);
            ASSERT_TRUE(make(clip_command(c, k, name)));
            fs::path file = dir_ / name;
            Bytes before = read_bytes(file);
            std::vector<VolAspect> vols = vol_aspects(before);
            ASSERT_FALSE(vols.empty());
            EXPECT_EQ(aspects_of(vols), std::vector<std::string>(vols.size(), c.before));
            std::string shown = pictures(file);

            RunResult r = run({name});
            EXPECT_EQ(r.exit_code, 0) << r.out;
            EXPECT_NE(r.out.find(k.summary + c.size + " SAR "), std::string::npos) << r.out;
            Bytes after = read_bytes(file);
            std::vector<VolAspect> changed = vol_aspects(after);
            EXPECT_EQ(aspects_of(changed), std::vector<std::string>(vols.size(), c.after));
            EXPECT_EQ(stream_sar(file), c.sar);
            EXPECT_EQ(frame_aspects(file), std::set<std::string>{c.sar});
            EXPECT_EQ(pictures(file), shown);
            EXPECT_EQ(mediainfo_par(file), par_of(c.sar));
            EXPECT_EQ(change_unlisted(before, after, fs::path(file).replace_extension(".ini")), SIZE_MAX);
            // The streams' own bytes change only in their VOLs.
            for (size_t i = 0; i < before.size() && k.format == "m4v"; ++i) {
                if (before[i] == after[i]) continue;
                bool in_vol = false;
                for (const VolAspect& v : vols) in_vol = in_vol || (i > v.pos + 3 && i <= v.pos + 8);
                EXPECT_TRUE(in_vol) << i;
            }

            EXPECT_EQ(run({"-u", name}).exit_code, 0);
            EXPECT_TRUE(read_bytes(file) == before);
        }
    }
}

// mkvmerge keeps an AVI's Xvid as a track in AVI's manner (V_MS/VFW/FOURCC):
// its stream format names the codec, and the VOLs in its frames, and the
// one after the format that ffmpeg's remux of the AVI put there, change
// with the display elements.
TEST_F(Mpeg4, AnAviTrackRemuxedIntoMatroskaHasItsVolsChanged) {
    if (std::system("mkvmerge --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no mkvmerge";
    ASSERT_TRUE(make(ff + "720x576 -frames:v 12 -g 6 -aspect 16:9 -c:v libxvid made.avi && ffmpeg -loglevel error "
                          "-i made.avi -c copy x.avi && mkvmerge -q -o x.mkv x.avi"));
    fs::path file = dir_ / "x.mkv";
    Bytes before = read_bytes(file);
    size_t count = vol_aspects(before).size();
    ASSERT_GT(count, 0u);
    EXPECT_EQ(aspects_of(vol_aspects(before)), std::vector<std::string>(count, "15 64:45"));
    RunResult r = run({"x.mkv"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("MKV MPEG-4 720x576 SAR 64:45->12:11"), std::string::npos) << r.out;
    EXPECT_EQ(aspects_of(vol_aspects(read_bytes(file))), std::vector<std::string>(count, "15 12:11"));
    EXPECT_EQ(display_of(file), "785x576");
    EXPECT_EQ(run({"-u", "x.mkv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(file) == before);
}

// The VOL that ffmpeg keeps as the codec's extradata: after an AVI stream
// format's BITMAPINFOHEADER (a remux of an Xvid AVI; an MP4's mpeg4 video
// remuxed, whose frames hold no VOL: that one is the only one), and in the
// glbl box of a MOV sample entry named by AVI's four characters (xvid).
// Every VOL takes the target, ffmpeg carries the new one on into an MP4's
// esds, and the listing names each holder.
TEST_F(Mpeg4, TheVolsOfTheCodecsExtradataTakeTheTarget) {
    ASSERT_TRUE(make(ff + "720x576 -frames:v 12 -g 6 -aspect 16:9 -c:v libxvid xvid.avi && " + ff +
                     "720x576 -frames:v 12 -g 6 -aspect 16:9 -c:v mpeg4 m4.mp4 && "
                     "ffmpeg -loglevel error -i xvid.avi -c copy remux.avi && "
                     "ffmpeg -loglevel error -i m4.mp4 -c copy only.avi && "
                     "ffmpeg -loglevel error -i xvid.avi -c copy xvid.mov"));
    const struct {
        const char* name;
        const char* summary;
        const char* holder;
        size_t vols;  // at least
    } files[] = {{"remux.avi", "AVI MPEG-4 720x576 SAR 64:45->12:11", "strf", 3},
                 {"only.avi", "AVI MPEG-4 720x576 SAR 64:45->12:11", "strf", 1},
                 {"xvid.mov", "MOV MPEG-4 720x576 SAR 64:45->12:11", "glbl", 3}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        fs::path file = dir_ / f.name;
        Bytes before = read_bytes(file);
        std::vector<VolAspect> vols = vol_aspects(before);
        ASSERT_GE(vols.size(), f.vols);
        EXPECT_EQ(aspects_of(vols), std::vector<std::string>(vols.size(), "15 64:45"));
        std::string shown = pictures(file);
        std::string listed = run({"-l", "--json", f.name}).out;
        EXPECT_NE(listed.find("\"holder\":\"" + std::string(f.holder) + "\",\"before\":{\"sample\":\"64:45\"}"),
                  std::string::npos) << listed;

        RunResult r = run({f.name});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(r.out.find(f.summary), std::string::npos) << r.out;
        Bytes after = read_bytes(file);
        EXPECT_EQ(aspects_of(vol_aspects(after)), std::vector<std::string>(vols.size(), "15 12:11"));
        EXPECT_EQ(pictures(file), shown);
        EXPECT_EQ(change_unlisted(before, after, fs::path(file).replace_extension(".ini")), SIZE_MAX);
        ASSERT_TRUE(make("ffmpeg -loglevel error -y -i " + std::string(f.name) + " -c copy copied.mp4"));
        std::vector<VolAspect> copied = vol_aspects(read_bytes(dir_ / "copied.mp4"));
        EXPECT_FALSE(copied.empty());
        EXPECT_EQ(aspects_of(copied), std::vector<std::string>(copied.size(), "15 12:11"));
        if (file.extension() == ".mov") {
            EXPECT_EQ(frame_aspects(file), std::set<std::string>{"12:11"});
        }

        EXPECT_EQ(run({"-u", f.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(file) == before);
    }
}

// Two recordings of different picture sizes joined (cat): the second's
// VOLs are another video's, left as they are and said, raw and in a
// transport stream alike.
TEST_F(Mpeg4, TheVolsOfAJoinedRecordingOfAnotherSizeAreLeft) {
    for (const std::string format : {"m4v", "mpegts"}) {
        SCOPED_TRACE(format);
        ASSERT_TRUE(make(ff + "720x576 -frames:v 12 -g 6 -aspect 4:3 -c:v mpeg4 -f " + format + " a && " + ff +
                         "640x480 -frames:v 12 -g 6 -aspect 4:3 -c:v mpeg4 -f " + format + " b && cat a b > ab"));
        Bytes before = read_bytes(dir_ / "ab");
        std::vector<VolAspect> vols = vol_aspects(before);
        RunResult r = run({"ab"});
        EXPECT_EQ(r.exit_code, 11);
        EXPECT_NE(r.out.find(console_bytes("VOL 640x480:最初のVOLと違うので、")), std::string::npos) << r.out;
        std::vector<VolAspect> after = vol_aspects(read_bytes(dir_ / "ab"));
        ASSERT_EQ(after.size(), vols.size());
        for (size_t k = 0; k < vols.size(); ++k) {
            EXPECT_EQ(after[k].aspect, vols[k].aspect == "1" ? "1" : "15 16:11") << k;
        }
        EXPECT_EQ(frame_aspects(dir_ / "ab"), (std::set<std::string>{"16:11", "1:1"}));
        EXPECT_EQ(run({"-u", "ab"}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / "ab") == before);
    }
}

// A table code has none for a sample aspect outside the table, and the
// extended pair no 8-bit numbers for one past 255: refused before any
// write, though the VOLs before the one in the way could take it.
TEST_F(Mpeg4, AVolWhoseFormCannotTakeTheTargetStopsTheRunUntouched) {
    ASSERT_TRUE(make(ff + "720x576 -frames:v 12 -g 6 -vf setsar=12/11 -c:v mpeg4 -f m4v table.m4v && " + ff +
                     "720x576 -frames:v 12 -g 6 -vf setsar=12/11 -c:v mpeg4 table.mp4 && " + ff +
                     "714x576 -frames:v 12 -g 6 -aspect 4:3 -c:v mpeg4 -f m4v wide.m4v && " + ff +
                     "640x480 -frames:v 12 -g 6 -aspect 2:1 -c:v mpeg4 -f m4v wide_first.m4v && " + ff +
                     "640x480 -frames:v 12 -g 6 -vf setsar=1/1 -c:v mpeg4 -f m4v square.m4v && "
                     "cat wide_first.m4v square.m4v > late.m4v"));
    expect_refused("table.m4v", {"-o4"});
    expect_refused("table.mp4", {"-o4"});
    RunResult listed = run({"-l", "--json", "table.mp4"});
    EXPECT_NE(listed.out.find("\"codec\":\"MPEG-4\""), std::string::npos);
    EXPECT_NE(listed.out.find("\"kind\":\"video_object_layer\",\"position\":"), std::string::npos);
    EXPECT_NE(listed.out.find("\"holder\":\"esds\",\"before\":{\"sample\":\"12:11\"}"), std::string::npos);
    // 16:9 has a table code: taken, and a second run says the VOLs hold it.
    EXPECT_EQ(run({"-o3", "table.m4v"}).exit_code, 0);
    RunResult again = run({"-o3", "table.m4v"});
    EXPECT_EQ(again.exit_code, 4);
    EXPECT_NE(again.out.find(console_bytes("すべてのVOLがすでにSAR 16:11(16:9)です")), std::string::npos);
    // 16:9 at 714 samples is 512:357.
    ASSERT_EQ(vol_aspects(read_bytes(dir_ / "wide.m4v"))[0].aspect, "15 128:119");
    expect_refused("wide.m4v", {});
    // 16:9 at 640x480 is 4:3, which the extended pairs take and the table
    // code of the square samples joined after them cannot.
    Bytes late = read_bytes(dir_ / "late.m4v");
    std::vector<VolAspect> vols = vol_aspects(late);
    ASSERT_GE(vols.size(), 2u);
    ASSERT_EQ(vols.front().aspect, "15 3:2");
    ASSERT_EQ(vols.back().aspect, "1");
    expect_refused("late.m4v", {"-o3"});
    // A first VOL whose code is the forbidden 0 says no aspect to change.
    vol_code_force(&late, vols.front().pos, 0);
    write_bytes(dir_ / "late.m4v", late);
    RunResult r = run({"-o3", "late.m4v"});
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_NE(r.out.find(console_bytes("VOLのアスペクト情報が決められていない値")), std::string::npos) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "late.m4v") == late);
}

// In a container, a first VOL of the forbidden or a reserved code shows
// the container's aspect: every VOL takes the target's table code with the
// container's places, and the run says so of the VOL; with -c the VOLs stay.
// A VOL whose table has no code for the target refuses the run, which says
// what -c would do, and -c does it.
TEST_F(Mpeg4, InAContainerAVolOfNoAspectTakesTheTargetAndARefusalNamesC) {
    const std::string table = " -frames:v 12 -g 6 -vf setsar=12/11 -c:v mpeg4 ";
    ASSERT_TRUE(make(ff + "720x576" + table + "zero.avi && " + ff + "720x576" + table + "reserved.mkv && " + ff +
                     "640x352 -frames:v 12 -g 6 -vf setsar=1 -c:v mpeg4 square.avi"));
    const std::string takes = "VOLのアスペクト情報が決められていない値なので、コンテナの場所と一緒に、VOLもその場で"
                              "変換先のアスペクトに変わります";
    const std::string kept = "VOLのアスペクト情報が決められていない値なので、コンテナの場所だけが変わります";
    const struct {
        std::string name;
        int code;
        const char* display;  // 16:11 samples, as the container gives them
    } files[] = {{"zero.avi", 0, "16:9"}, {"reserved.mkv", 7, "20:11"}};
    for (const auto& [name, code, display] : files) {
        SCOPED_TRACE(name);
        Bytes bytes = read_bytes(dir_ / name);
        std::vector<VolAspect> vols = vol_aspects(bytes);
        ASSERT_FALSE(vols.empty());
        for (const VolAspect& vol : vols) vol_code_force(&bytes, vol.pos, code);
        write_bytes(dir_ / name, bytes);
        write_bytes(dir_ / ("c_" + name), bytes);
        RunResult r = run({name});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find(console_bytes(takes)), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("SPS"), std::string::npos) << r.out;
        EXPECT_EQ(aspects_of(vol_aspects(read_bytes(dir_ / name))), std::vector<std::string>(vols.size(), "4"));
        EXPECT_EQ(probed_display(dir_ / name), display);
        r = run({"-c", "c_" + name});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find(console_bytes(kept)), std::string::npos) << r.out;
        EXPECT_EQ(aspects_of(vol_aspects(read_bytes(dir_ / ("c_" + name)))),
                  std::vector<std::string>(vols.size(), std::to_string(code)));
        EXPECT_EQ(probed_display(dir_ / ("c_" + name)), display);
    }
    // 16:9 at 640x352 is 44:45, which the table lacks.
    Bytes square = read_bytes(dir_ / "square.avi");
    std::vector<std::string> codes = aspects_of(vol_aspects(square));
    ASSERT_EQ(codes, std::vector<std::string>(codes.size(), "1"));
    RunResult r = run({"-o3", "square.avi"});
    EXPECT_EQ(r.exit_code, 12);
    EXPECT_NE(r.out.find(console_bytes("新しいアスペクトを書ける形ではないため")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(console_bytes("-cを付けると、コンテナの場所(vprp)だけを変えてVOLはそのままにします。"
                                       "よく使われるプレーヤーでは変換先のアスペクトで")),
              std::string::npos) << r.out;
    EXPECT_TRUE(read_bytes(dir_ / "square.avi") == square);
    EXPECT_EQ(run({"-c", "-o3", "square.avi"}).exit_code, 0);
    EXPECT_EQ(probed_display(dir_ / "square.avi"), "16:9");
    EXPECT_EQ(aspects_of(vol_aspects(read_bytes(dir_ / "square.avi"))), codes);
}

struct SiteFound {
    std::vector<int64_t> starts;
    std::vector<std::string> aspects;
};

int32_t site_note(void* context, const AspectSite* site) {
    SiteFound* found = static_cast<SiteFound*>(context);
    SiteReading reading;
    found->starts.push_back(site->pos[0]);
    found->aspects.push_back(site_read(site, site->bytes, &reading) ? std::to_string(reading.aspect.sar.width) + ":" +
                                                                          std::to_string(reading.aspect.sar.height)
                                                                    : "unread");
    // Every byte's position is its own, wherever the payload broke.
    for (uint32_t k = 0; k < site->length; ++k) {
        if (site->pos[k] != site->pos[0] + k) found->aspects.back() = "moved";
    }
    return 0;
}

// The scanner finds the same VOLs however the payload is cut into ranges.
TEST_F(Mpeg4, TheScannerFindsEveryVolAcrossRanges) {
    ASSERT_TRUE(make(ff + "352x288 -frames:v 6 -g 2 -aspect 16:9 -c:v mpeg4 -f m4v s.m4v"));
    Bytes stream = read_bytes(dir_ / "s.m4v");
    std::vector<VolAspect> vols = vol_aspects(stream);
    ASSERT_EQ(vols.size(), 3u);
    uint32_t length = static_cast<uint32_t>(stream.size());
    SiteFound whole;
    SiteScanner scanner;
    site_scanner_init(&scanner, codec_mpeg4, nullptr);
    PayloadRange one = {0, length, 0, 0, 0};
    site_scan(&scanner, stream.data(), 0, &one, 1, site_note, &whole);
    site_scan_finish(&scanner, site_note, &whole);
    ASSERT_EQ(whole.starts.size(), 3u);
    for (size_t k = 0; k < vols.size(); ++k) EXPECT_EQ(whole.starts[k], static_cast<int64_t>(vols[k].pos + 3));
    EXPECT_EQ(whole.aspects, std::vector<std::string>(3, "16:11"));
    for (uint32_t cut = 1; cut < vols[0].pos + 40; ++cut) {
        SiteFound split;
        site_scanner_init(&scanner, codec_mpeg4, nullptr);
        PayloadRange two[] = {{0, cut, 0, 0, 0}, {cut, length, 0, 0, 0}};
        site_scan(&scanner, stream.data(), 0, two, 2, site_note, &split);
        site_scan_finish(&scanner, site_note, &split);
        EXPECT_EQ(split.starts, whole.starts) << cut;
        EXPECT_EQ(split.aspects, whole.aspects) << cut;
    }
}

}  // namespace
