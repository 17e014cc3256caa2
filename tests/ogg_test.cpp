// Ogg files from ffmpeg's Theora and VP8 encoders, alone and chained
// (`cat`): each link's stream head takes the target, as ffprobe and the
// tests' own page reader read it; every page's CRC holds; only listed
// bytes change, the frames decode as before, and -u gives the file back
// byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i ";
const std::string theora = " -t 0.4 -c:v libtheora -aspect 16:9 ";

// Ogg's CRC: polynomial 0x04C11DB7, not reflected, from 0, no final xor.
uint32_t ogg_crc(const uint8_t* bytes, size_t length) {
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(bytes[i]) << 24;
        for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

uint32_t be(const Bytes& b, size_t at, int bytes) {
    uint32_t value = 0;
    for (int k = 0; k < bytes; ++k) value = value << 8 | b[at + k];
    return value;
}

// The file's pages, each checked against the CRC it keeps, and the pixel
// aspect of every Theora and VP8 stream head, "PARN:PARD", in order.
struct OggRead {
    int pages = 0;
    int bad_crcs = 0;
    bool whole = false;  // the pages reach the file's end exactly
    std::vector<std::string> pars;
};

OggRead ogg_read(const Bytes& b) {
    OggRead read;
    size_t pos = 0;
    while (pos + 27 <= b.size() && std::string(b.begin() + pos, b.begin() + pos + 4) == "OggS") {
        size_t segments = b[pos + 26];
        size_t body = pos + 27 + segments;
        size_t end = body;
        for (size_t k = 0; k < segments && pos + 27 + k < b.size(); ++k) end += b[pos + 27 + k];
        if (end > b.size()) break;
        Bytes page(b.begin() + pos, b.begin() + end);
        uint32_t kept = page[22] | page[23] << 8 | page[24] << 16 | static_cast<uint32_t>(page[25]) << 24;
        std::fill(page.begin() + 22, page.begin() + 26, 0);
        read.bad_crcs += ogg_crc(page.data(), page.size()) != kept;
        ++read.pages;
        std::string head(b.begin() + body, b.begin() + std::min(end, body + 7));
        if ((b[pos + 5] & 2) != 0 && head == "\x80theora" && end >= body + 36) {
            read.pars.push_back(std::to_string(be(b, body + 30, 3)) + ":" + std::to_string(be(b, body + 33, 3)));
        } else if ((b[pos + 5] & 2) != 0 && head.compare(0, 6, "OVP80\x01") == 0 && end >= body + 18) {
            read.pars.push_back(std::to_string(be(b, body + 12, 3)) + ":" + std::to_string(be(b, body + 15, 3)));
        }
        pos = end;
    }
    read.whole = pos == b.size();
    return read;
}

class Ogg : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    static bool contains(const RunResult& r, const std::string& utf8) {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    // Listed, converted, converted again, undone: the heads hold `after`
    // between, every CRC holds, the frames stay.
    void round_trip(const std::string& name, const std::vector<std::string>& convert,
                    const std::vector<std::string>& after, const std::string& display_after) {
        SCOPED_TRACE(name);
        fs::path video = dir_ / name;
        Bytes before = read_bytes(video);
        OggRead read = ogg_read(before);
        ASSERT_TRUE(read.whole);
        ASSERT_EQ(read.bad_crcs, 0);
        std::string sums = frame_sums(video);
        RunResult listed = run({"-l", name});
        EXPECT_EQ(listed.exit_code, 0) << listed.out;
        std::string list = read_text(fs::path(video).replace_extension(".txt"));
        size_t lines = 0;
        for (size_t at = 0; (at = list.find(" SAR ", at)) != std::string::npos; ++at) ++lines;
        EXPECT_EQ(lines, read.pars.size()) << list;
        std::vector<std::string> args = convert;
        args.push_back(name);
        RunResult r = run(args);
        ASSERT_EQ(r.exit_code, 0) << r.out;
        Bytes changed = read_bytes(video);
        EXPECT_EQ(changed.size(), before.size());
        EXPECT_EQ(change_unlisted(before, changed, fs::path(video).replace_extension(".ini")), SIZE_MAX);
        OggRead now = ogg_read(changed);
        EXPECT_EQ(now.bad_crcs, 0);
        EXPECT_EQ(now.pages, read.pages);
        EXPECT_EQ(now.pars, after);
        EXPECT_EQ(probed_display(video), display_after);
        EXPECT_EQ(frame_sums(video), sums);
        EXPECT_EQ(run(args).exit_code, 4);  // converted already
        EXPECT_EQ(run({"-u", name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
    ScratchDir dir_;
};

// Theora and VP8 heads, and every link of a chained file (two Theora
// links, and a Theora link after a VP8 one), take 4:3 on their 320x240
// pictures: square samples.
TEST_F(Ogg, EveryLinksHeadTakesTheTargetAndEveryPageCrcHolds) {
    ASSERT_TRUE(make(ff + "testsrc=size=320x240:rate=10" + theora + "theora.ogv && " + ff +
                     "testsrc2=size=320x240:rate=10" + theora + "second.ogv && " + ff +
                     "testsrc=size=320x240:rate=10 -t 0.4 -c:v libvpx -aspect 16:9 -f ogg vp8.ogv && "
                     "cat theora.ogv second.ogv > chained.ogv && cat vp8.ogv theora.ogv > mixed.ogv"));
    EXPECT_EQ(ogg_read(read_bytes(dir_ / "vp8.ogv")).pars, std::vector<std::string>{"4:3"});  // ffmpeg writes VP8's PAR
    // The playing time, 0.4 s as ffmpeg made it.
    EXPECT_TRUE(contains(run({"-l", "theora.ogv"}), "Ogg Theora 320x240 表示 16:9->4:3 0:00:00.400 "));
    EXPECT_TRUE(contains(run({"-l", "vp8.ogv"}), "Ogg VP8 320x240 表示 16:9->4:3 0:00:00.400 "));
    round_trip("theora.ogv", {}, {"1:1"}, "4:3");
    round_trip("vp8.ogv", {}, {"1:1"}, "4:3");
    round_trip("chained.ogv", {"-o2"}, {"1:1", "1:1"}, "4:3");
    // ffmpeg decodes no chain whose codec changes: the heads and the CRCs judge it.
    Bytes before = read_bytes(dir_ / "mixed.ogv");
    ASSERT_EQ(run({"mixed.ogv"}).exit_code, 0);
    OggRead mixed = ogg_read(read_bytes(dir_ / "mixed.ogv"));
    EXPECT_EQ(mixed.bad_crcs, 0);
    EXPECT_EQ(mixed.pars, (std::vector<std::string>{"1:1", "1:1"}));
    EXPECT_EQ(run({"-u", "mixed.ogv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "mixed.ogv") == before);
}

// A link of another picture size takes the pair that shows it at the
// same shape; a run killed at any write leaves every CRC right once the
// next finishes it; a head whose pair is 0:0 (unknown) shows square
// samples, as ffprobe leaves it, and takes the target like any other.
TEST_F(Ogg, ALinkOfAnotherSizeKeepsItsShapeAKilledRunIsFinishedAndAnUnknownPairIsSquare) {
    ASSERT_TRUE(make(ff + "testsrc=size=320x240:rate=10" + theora + "small.ogv && " + ff +
                     "testsrc=size=640x360:rate=10" + theora + "wide.ogv && cat small.ogv wide.ogv > sizes.ogv"));
    Bytes before = read_bytes(dir_ / "sizes.ogv");
    ASSERT_EQ(ogg_read(before).pars, (std::vector<std::string>{"4:3", "1:1"}));
    ASSERT_EQ(run({"-o2", "sizes.ogv"}).exit_code, 0);
    OggRead sizes = ogg_read(read_bytes(dir_ / "sizes.ogv"));
    EXPECT_EQ(sizes.bad_crcs, 0);
    EXPECT_EQ(sizes.pars, (std::vector<std::string>{"1:1", "3:4"}));  // 640x360 at 4:3
    Bytes whole = read_bytes(dir_ / "sizes.ogv");
    EXPECT_EQ(run({"-u", "sizes.ogv"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "sizes.ogv") == before);
#ifndef _WIN32
    // A run killed between a pair and its page's CRC, finished by the next.
    fs::path log = dir_ / "journal.log";
    write_bytes(dir_ / "probe.ogv", before);
    ASSERT_EQ(run_with_shim(dir_ / "probe.ogv", "-o2", {"MORVALEN_JOURNAL=" + log.string()}), 0);
    for (size_t kill_at = 1; kill_at <= journal_positioned_writes(log).size(); ++kill_at) {
        SCOPED_TRACE("killed at write " + std::to_string(kill_at));
        write_bytes(dir_ / "sizes.ogv", before);
        fs::remove(dir_ / "sizes.ini");
        run_with_shim(dir_ / "sizes.ogv", "-o2", {"MORVALEN_KILL_AT_WRITE=" + std::to_string(kill_at)});
        EXPECT_EQ(run({"-o2", "sizes.ogv"}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / "sizes.ogv") == whole);
        EXPECT_EQ(run({"-u", "sizes.ogv"}).exit_code, 0);
        EXPECT_TRUE(read_bytes(dir_ / "sizes.ogv") == before);
    }
#endif

    // The first page holds the identification header alone: PARN and PARD
    // at 30 bytes into its body, the CRC made again for them.
    Bytes unknown = read_bytes(dir_ / "small.ogv");
    size_t body = 27 + unknown[26];
    std::fill(unknown.begin() + body + 30, unknown.begin() + body + 36, 0);
    std::fill(unknown.begin() + 22, unknown.begin() + 26, 0);
    uint32_t crc = ogg_crc(unknown.data(), body + unknown[27]);
    for (int k = 0; k < 4; ++k) unknown[22 + k] = static_cast<uint8_t>(crc >> (8 * k));
    write_bytes(dir_ / "unknown.ogv", unknown);
    ASSERT_EQ(ogg_read(unknown).bad_crcs, 0);
    EXPECT_TRUE(contains(run({"-l", "unknown.ogv"}), "Ogg Theora 320x240 表示 4:3->16:9 "));
    round_trip("unknown.ogv", {}, {"4:3"}, "16:9");
}

}  // namespace
