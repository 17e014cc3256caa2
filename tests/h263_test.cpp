// H.263 video from ffmpeg's h263p encoder, raw and remuxed into 3GP, AVI and
// Matroska: every picture header of a custom source format takes the target
// in the form it has (a table code, or EPAR's pair), the pictures stay as
// they were, -u gives the file back byte for byte; a form that cannot say
// the target stops the run untouched; a standard format records none.
#include <gtest/gtest.h>

#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc=rate=25:size=";

// The aspect field of every picture header (a byte-aligned 00 00 1000 00xx)
// of a raw H.263 stream, as the tests read it: "code" or "15 w:h" for a
// custom source format, "-" for a standard one; UFEP 0 pictures are passed.
std::vector<std::string> picture_aspects(const Bytes& b) {
    std::vector<std::string> aspects;
    for (size_t i = 0; i + 14 < b.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || (b[i + 2] & 0xFC) != 0x80) continue;
        size_t bit = (i + 2) * 8 + 6 + 8 + 5;  // PSC's tail, TR, PTYPE to its format
        auto take = [&](int n) {
            uint32_t v = 0;
            for (int k = 0; k < n; ++k, ++bit) v = v << 1 | ((b[bit / 8] >> (7 - bit % 8)) & 1);
            return v;
        };
        uint32_t format = take(3);
        if (format != 7) {
            aspects.push_back("-");
            continue;
        }
        if (take(3) != 1) continue;  // UFEP
        format = take(3);
        take(24);                   // the rest of OPPTYPE, MPPTYPE
        if (take(1) != 0) take(2);  // CPM, PSBI
        if (format != 6) {
            aspects.push_back("-");
            continue;
        }
        uint32_t code = take(4);
        take(19);
        std::string aspect = std::to_string(code);
        if (code == 15) {
            uint32_t width = take(8);
            aspect += " " + std::to_string(width) + ":" + std::to_string(take(8));
        }
        aspects.push_back(aspect);
    }
    return aspects;
}

std::string stream_sar(const fs::path& file) {
    return first_line(output_of("ffprobe -v error -select_streams v:0 -show_entries stream=sample_aspect_ratio "
                                "-of default=nw=1:nk=1 " + quoted(file)));
}

class H263 : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    // The picture headers of the file's video, as ffmpeg demuxes it.
    std::vector<std::string> aspects(const std::string& name) {
        if (!make("ffmpeg -loglevel error -y -i " + name + " -c copy -f h263 demuxed.263")) return {};
        return picture_aspects(read_bytes(dir_ / "demuxed.263"));
    }

    ScratchDir dir_;
};

// A table code (352x240 at 16:9 is 40:33) and an extended pair (320x240 at
// 16:9 is 4:3, which the table lacks), raw and in every container: the
// default makes them 4:3, which ffprobe reads in the stream and in every
// decoded frame, the pictures decode alike, every changed byte is in the
// marker, a second run says it was done (exit 4), and -u gives the file back.
TEST_F(H263, EveryPictureHeaderTakesTheTargetInItsOwnForm) {
    const struct {
        const char* size;
        const char* before;
        const char* after;
        const char* sar;
    } clips[] = {{"352x240", "5", "3", "10:11"}, {"320x240", "15 4:3", "15 1:1", "1:1"}};
    const struct {
        const char* extension;
        const char* format;
        const char* summary;
    } containers[] = {{"263", "h263", "H.263 "},
                      {"3gp", "3gp", "MP4 H.263 "},
                      {"avi", "avi", "AVI H.263 "},
                      {"mkv", "matroska", "MKV H.263 "}};
    for (const auto& c : clips) {
        ASSERT_TRUE(make(ff + c.size + " -frames:v 20 -g 8 -aspect 16:9 -c:v h263p -f h263 made.263"));
        for (const auto& k : containers) {
            std::string name = std::string("x_") + c.size + "." + k.extension;
            SCOPED_TRACE(name);
            ASSERT_TRUE(make("ffmpeg -loglevel error -y -i made.263 -c copy -f " + std::string(k.format) + " " + name));
            fs::path file = dir_ / name;
            Bytes before = read_bytes(file);
            ASSERT_EQ(aspects(name), std::vector<std::string>(20, c.before));
            std::string sums = frame_sums(file);

            RunResult listed = run({"-l", name});
            EXPECT_EQ(listed.exit_code, 0) << listed.out;
            EXPECT_TRUE(read_bytes(file) == before);
            RunResult r = run({name});
            EXPECT_EQ(r.exit_code, 0) << r.out;
            EXPECT_NE(r.out.find(std::string(k.summary) + c.size + " SAR "), std::string::npos) << r.out;
            Bytes after = read_bytes(file);
            EXPECT_EQ(aspects(name), std::vector<std::string>(20, c.after));
            EXPECT_EQ(stream_sar(file), c.sar);
            EXPECT_EQ(frame_aspects(file), std::set<std::string>{c.sar});
            EXPECT_EQ(frame_sums(file), sums);
            EXPECT_EQ(change_unlisted(before, after, fs::path(file).replace_extension(".ini")), SIZE_MAX);
            EXPECT_EQ(run({name}).exit_code, 4);
            EXPECT_TRUE(read_bytes(file) == after);

            EXPECT_EQ(run({"-u", name}).exit_code, 0);
            EXPECT_TRUE(read_bytes(file) == before);
        }
    }
}

// A form that cannot say the target (2.21:1 has no table code at 352x240,
// and needs numbers past 255 at 320x240) stops the run untouched, naming
// the picture header (exit 12). A standard format (CIF) records no aspect:
// a raw stream is refused untouched (exit 10); in 3GP the container's
// places alone change, and the picture headers keep their bytes.
TEST_F(H263, AFormThatCannotSayTheTargetAndAStandardFormatChangeNothingInThePictures) {
    ASSERT_TRUE(make(ff + "352x240 -frames:v 8 -aspect 16:9 -c:v h263p -f h263 code.263 && " + ff +
                     "320x240 -frames:v 8 -aspect 16:9 -c:v h263p -f h263 pair.263 && " + ff +
                     "352x288 -frames:v 8 -c:v h263p -f h263 cif.263 && "
                     "ffmpeg -loglevel error -i cif.263 -c copy cif.3gp"));
    for (const char* name : {"code.263", "pair.263", "cif.263"}) {
        Bytes before = read_bytes(dir_ / name);
        RunResult r = run({std::string(name) == "cif.263" ? "-o3" : "-o4", name});
        EXPECT_EQ(r.exit_code, std::string(name) == "cif.263" ? 10 : 12) << name << r.out;
        EXPECT_NE(r.out.find(console_bytes("ピクチャヘッダ")), std::string::npos) << name;
        EXPECT_TRUE(read_bytes(dir_ / name) == before) << name;
        EXPECT_FALSE(fs::exists((dir_ / name).replace_extension(".ini"))) << name;
    }
    EXPECT_EQ(aspects("cif.3gp"), std::vector<std::string>(8, "-"));
    EXPECT_EQ(stream_sar(dir_ / "cif.3gp"), "12:11");
    Bytes before = read_bytes(dir_ / "cif.3gp");
    std::string sums = frame_sums(dir_ / "cif.3gp");
    RunResult r = run({"-o3", "cif.3gp"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(stream_sar(dir_ / "cif.3gp"), "16:11");
    EXPECT_EQ(aspects("cif.3gp"), std::vector<std::string>(8, "-"));
    EXPECT_EQ(frame_sums(dir_ / "cif.3gp"), sums);
    EXPECT_EQ(change_unlisted(before, read_bytes(dir_ / "cif.3gp"), dir_ / "cif.ini"), SIZE_MAX);
    EXPECT_EQ(run({"-u", "cif.3gp"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "cif.3gp") == before);
}

}  // namespace
