// MXF files as ffmpeg writes them (OP1a of MPEG-2, H.264 and DNxHD; D-10),
// and one whose footer holds a copy of the header metadata, which no muxer
// here writes, put there by the tests' own KLV writer: every descriptor's
// Aspect Ratio and every sequence header or SPS of the frames take the
// target, as ffprobe, trace_headers and the tests' own reading of the
// descriptors say; only listed bytes change, the pictures decode as
// before, and -u gives the file back byte for byte. A damaged header is
// refused untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=duration=1:rate=25:size=";

struct Klv {
    size_t start;
    size_t value;
    size_t end;
};

Klv klv_at(const Bytes& b, size_t at) {
    size_t length = b[at + 16];
    size_t head = 17;
    if (length >= 0x80) {
        head += length & 0x7F;
        length = 0;
        for (size_t k = 17; k < head; ++k) length = length << 8 | b[at + k];
    }
    return {at, at + head, at + head + length};
}

std::vector<Klv> klvs_of(const Bytes& b) {
    std::vector<Klv> all;
    for (size_t at = 0; at + 17 <= b.size(); at = all.back().end) all.push_back(klv_at(b, at));
    return all;
}

bool partition(const Bytes& b, const Klv& k, uint8_t kind) {
    static const Bytes key = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01, 0x01, 0x0D, 0x01, 0x02, 0x01, 0x01};
    return std::equal(key.begin(), key.end(), b.begin() + static_cast<ptrdiff_t>(k.start)) && b[k.start + 13] == kind;
}

// The tests' own reading: the Aspect Ratio items (local tag 0x320E, eight
// bytes) of the header metadata, wherever a partition holds a copy.
std::vector<std::string> descriptor_aspects(const Bytes& b) {
    std::vector<std::string> found;
    for (const Klv& k : klvs_of(b)) {
        if (b[k.start + 5] != 0x53) continue;
        for (size_t at = k.value; at + 4 <= k.end; at += 4 + (b[at + 2] << 8 | b[at + 3])) {
            if (b[at] != 0x32 || b[at + 1] != 0x0E || b[at + 3] != 8) continue;
            auto be = [&](size_t p) { return std::to_string(uint32_t{b[p]} << 24 | b[p + 1] << 16 | b[p + 2] << 8 | b[p + 3]); };
            found.push_back(be(at + 4) + ":" + be(at + 8));
        }
    }
    return found;
}

// The tests' own KLV writer: the header metadata (from the primer pack to
// the next partition) copied after the footer partition pack, whose
// HeaderByteCount then counts it.
Bytes footer_copy(const Bytes& b) {
    std::vector<Klv> all = klvs_of(b);
    size_t from = 0;
    size_t to = 0;
    size_t footer = 0;
    for (const Klv& k : all) {
        if (b[k.start + 13] == 0x05 && b[k.start + 14] == 0x01 && from == 0) from = k.start;
        if (from != 0 && to == 0 && partition(b, k, 0x03)) to = k.start;
        if (partition(b, k, 0x04)) footer = k.start;
    }
    Klv pack = klv_at(b, footer);
    Bytes copy(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(to));
    Bytes out = b;
    out.insert(out.begin() + static_cast<ptrdiff_t>(pack.end), copy.begin(), copy.end());
    for (int k = 0; k < 8; ++k) out[pack.value + 32 + k] = static_cast<uint8_t>(uint64_t{copy.size()} >> (8 * (7 - k)));
    return out;
}

class Mxf : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    ScratchDir dir_;
};

struct Made {
    const char* name;
    const char* option;
    const char* display_after;  // as ffprobe reads it
    const char* descriptor_after;
};

TEST_F(Mxf, EveryDescriptorAndEveryFramesHeaderTakeTheTarget) {
    const std::string d10 = "-c:v mpeg2video -pix_fmt yuv422p -b:v 50M -minrate 50M -maxrate 50M -bufsize 2000000 "
                            "-rc_init_occupancy 2000000 -g 1 -vf scale=720:608 ";
    ASSERT_TRUE(make(ff + "720x576 -c:v mpeg2video -aspect 16:9 -f mxf mpeg2.mxf && " + ff + "720x576 " + d10 +
                     "-aspect 4:3 -f mxf_d10 d10.mxf && " + ff + "720x576 -c:v libx264 -aspect 16:9 -f mxf h264.mxf && " +
                     ff + "1920x1080 -c:v dnxhd -b:v 36M -pix_fmt yuv422p -f mxf dnxhd.mxf"));
    write_bytes(dir_ / "footer.mxf", footer_copy(read_bytes(dir_ / "mpeg2.mxf")));
    ASSERT_EQ(descriptor_aspects(read_bytes(dir_ / "footer.mxf")).size(), 2u);
    const Made cases[] = {
        {"mpeg2.mxf", "-o2", "4:3", "4:3"}, {"d10.mxf", "-o3", "16:9", "16:9"}, {"h264.mxf", "-o2", "4:3", "4:3"},
        {"dnxhd.mxf", "-o2", "4:3", "4:3"}, {"footer.mxf", "-o2", "4:3", "4:3"},
    };
    for (const Made& c : cases) {
        fs::path video = dir_ / c.name;
        SCOPED_TRACE(c.name);
        std::string sums = frame_sums(video);
        Bytes before = read_bytes(video);
        EXPECT_EQ(run({"-l", c.name}).exit_code, 0);
        RunResult r = run({c.option, c.name});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(r.out.find(" 0:00:01.000 "), std::string::npos) << r.out;  // the playing time ffmpeg gave it
        Bytes after = read_bytes(video);
        EXPECT_EQ(change_unlisted(before, after, fs::path(video).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(probed_display(video), c.display_after);
        EXPECT_EQ(frame_sums(video), sums);
        for (const std::string& aspect : descriptor_aspects(after)) EXPECT_EQ(aspect, c.descriptor_after);
        // Every frame's sequence header took the shape's code (2 or 3), or every SPS the sample aspect.
        for (size_t at : sequence_header_positions(after)) EXPECT_EQ(after[at + 7] >> 4, c.option[2] - '0');
        if (std::string(c.name) == "h264.mxf") {
            for (const std::string& idc : traced_aspects(video)) EXPECT_EQ(traced_sar(idc), "12:11");
        }
        EXPECT_EQ(run({c.option, c.name}).exit_code, 4);
        EXPECT_EQ(run({"-u", c.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
}

TEST_F(Mxf, ADamagedHeaderIsRefusedAndACutRecordingWalkedToItsEnd) {
    ASSERT_TRUE(make(ff + "720x576 -c:v mpeg2video -aspect 16:9 -f mxf mpeg2.mxf"));
    Bytes whole = read_bytes(dir_ / "mpeg2.mxf");
    Bytes damaged = whole;
    for (const Klv& k : klvs_of(whole)) {
        if (whole[k.start + 5] == 0x53 && whole[k.start + 14] == 0x51) damaged[k.start + 16] = 0x7F;  // the descriptor runs past its end
    }
    write_bytes(dir_ / "damaged.mxf", damaged);
    EXPECT_EQ(run({"-o2", "damaged.mxf"}).exit_code, 6);
    EXPECT_TRUE(read_bytes(dir_ / "damaged.mxf") == damaged);
    Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(whole.size() * 2 / 3));
    write_bytes(dir_ / "cut.mxf", cut);
    EXPECT_EQ(run({"-o2", "cut.mxf"}).exit_code, 0);
    for (size_t at : sequence_header_positions(read_bytes(dir_ / "cut.mxf"))) {
        EXPECT_EQ(read_bytes(dir_ / "cut.mxf")[at + 7] >> 4, 2);
    }
    EXPECT_EQ(run({"-u", "cut.mxf"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "cut.mxf") == cut);
}

}  // namespace
