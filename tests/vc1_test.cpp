// VC-1's advanced profile, whose sequence headers no encoder here writes:
// the tests write a stream of their own (sequence header, entry point,
// frames), which ffmpeg's vc1 demuxer and parser take and its muxers put
// into a transport stream, Matroska, AVI and ASF (the header in the stream
// format's extradata too, and in ASF's data packets). Every sequence header takes the target in the
// form it has, read through its escaping; ffprobe and a bit reader of the
// tests' own judge it; -u gives the file back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

struct BitWriter {
    std::vector<int> bits;
    void put(uint32_t value, int n) {
        for (int k = n - 1; k >= 0; --k) bits.push_back((value >> k) & 1);
    }
    // A unit's flushing bits, escaped after its start code.
    Bytes unit(uint8_t code) {
        put(1, 1);
        while (bits.size() % 8 != 0) put(0, 1);
        Bytes out = {0, 0, 1, code};
        int zeros = 0;
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t b = 0;
            for (size_t k = 0; k < 8; ++k) b = static_cast<uint8_t>(b << 1 | bits[i + k]);
            if (zeros >= 2 && b <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = b == 0 ? zeros + 1 : 0;
        }
        return out;
    }
};

// code < 0: no display extension; 15 takes the pair. Colour fields of zeros
// after the aspect make the header escape an 00 00 that follows it.
Bytes sequence_header(uint32_t width, uint32_t height, int code, uint32_t pair_w = 0, uint32_t pair_h = 0) {
    BitWriter w;
    w.put(3, 2);  // advanced profile
    w.put(1, 3);
    w.put(1, 2);  // 4:2:0
    w.put(0, 9);
    w.put(width / 2 - 1, 12);
    w.put(height / 2 - 1, 12);
    w.put(0x2, 6);  // the reserved bit set
    w.put(code >= 0 ? 1 : 0, 1);
    if (code >= 0) {
        w.put(width - 1, 14);
        w.put(height - 1, 14);
        w.put(1, 1);
        w.put(static_cast<uint32_t>(code), 4);
        if (code == 15) w.put((pair_w - 1) << 8 | (pair_h - 1), 16);
        w.put(0x5, 3);  // a frame rate: 25/1
        w.put(0x12, 12);
        w.put(1, 1);
        w.put(0, 24);
    }
    w.put(0, 1);  // no HRD parameters
    return w.unit(0x0F);
}

// Frames of a kilobyte or more, so that ASF's packets cut them.
Bytes vc1_stream(const Bytes& header) {
    BitWriter entry;
    entry.put(0xD808, 16);
    entry.put(0x8, 4);
    Bytes stream;
    for (int group = 0; group < 3; ++group) {
        stream = stream + header + entry.unit(0x0E);
        for (int frame = 0; frame < 5; ++frame) {
            Bytes picture = {0, 0, 1, 0x0D};
            picture.push_back(frame == 0 ? 0xC4 : 0x14);
            for (int k = 0; k < 300 + 70 * frame + 50 * group; ++k) picture = picture + Bytes{0x55, 0xAA, 0x33, 0x11};
            stream = stream + picture;
        }
    }
    return stream;
}

// Each sequence header's aspect in the bytes, as the tests read it: "-"
// without one, the code, or "15 w:h" with the pair's terms.
std::vector<std::string> sequence_aspects(const Bytes& b) {
    std::vector<std::string> aspects;
    for (size_t i = 0; i + 4 < b.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1 || b[i + 3] != 0x0F) continue;
        Bytes rbsp;
        int zeros = 0;
        for (size_t k = i + 4; k < b.size() && rbsp.size() < 32; ++k) {
            if (zeros >= 2 && b[k] == 3) {
                zeros = 0;
                continue;
            }
            rbsp.push_back(b[k]);
            zeros = b[k] == 0 ? zeros + 1 : 0;
        }
        size_t bit = 46;
        auto take = [&](int n) {
            uint32_t v = 0;
            for (int k = 0; k < n; ++k, ++bit) v = v << 1 | ((rbsp[bit / 8] >> (7 - bit % 8)) & 1);
            return v;
        };
        if (take(1) == 0 || (take(28), take(1)) == 0) {
            aspects.push_back("-");
            continue;
        }
        uint32_t code = take(4);
        std::string aspect = std::to_string(code);
        if (code == 15) {
            uint32_t pair_w = take(8) + 1;
            aspect += " " + std::to_string(pair_w) + ":" + std::to_string(take(8) + 1);
        }
        aspects.push_back(aspect);
    }
    return aspects;
}

class Vc1 : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    }
    RunResult run(const std::vector<std::string>& args) { return run_tool(args, dir_.path()); }
    bool make(const std::string& commands) { return commands_run(dir_.path(), commands); }
    // The file's video as ffmpeg demuxes it: the in-band headers, which its
    // parser reads.
    fs::path demuxed(const std::string& name) {
        if (!make("ffmpeg -loglevel error -y -i " + name + " -c copy -f vc1 demuxed.vc1")) return {};
        return dir_ / "demuxed.vc1";
    }
    std::string demuxed_sar(const std::string& name) {
        return first_line(output_of("ffprobe -v error -show_entries stream=sample_aspect_ratio -of default=nw=1:nk=1 " +
                                    quoted(demuxed(name))));
    }
    // A stream of the header, and the containers ffmpeg puts it in.
    bool streams_make(const std::string& stem, const Bytes& header) {
        write_bytes(dir_ / (stem + ".vc1"), vc1_stream(header));
        std::string muxed;
        for (const char* extension : {".ts", ".mkv", ".avi", ".asf"}) {
            muxed += " && ffmpeg -loglevel error -y -f vc1 -i " + stem + ".vc1 -c copy -copyinkf " + stem + extension;
        }
        return make("true" + muxed);
    }

    ScratchDir dir_;
};

// A table code (720x576 at 4:3, 12:11) and a pair (720x480 at 16:9, 40:33)
// raw and in every container: the default swaps them, each header in its
// own form (the extradata's copy among them), which ffprobe reads from the
// demuxed stream; every changed byte is in the marker, a second run says it
// was done (exit 4), and -u gives the file back.
TEST_F(Vc1, EverySequenceHeaderTakesTheTargetInItsOwnForm) {
    const struct {
        const char* stem;
        Bytes header;
        const char* before;
        const char* after;
        const char* sar;
    } clips[] = {{"code", sequence_header(720, 576, 2), "2", "4", "16:11"},
                 {"pair", sequence_header(720, 480, 15, 40, 33), "15 40:33", "15 10:11", "10:11"}};
    const struct {
        const char* extension;
        size_t headers;
        const char* summary;
    } containers[] = {{".vc1", 3, "VC-1 "},     {".ts", 3, "VC-1 "}, {".mkv", 4, "MKV VC-1 "},
                      {".avi", 4, "AVI VC-1 "}, {".asf", 3, "ASF VC-1 "}};
    for (const auto& c : clips) {
        ASSERT_TRUE(streams_make(c.stem, c.header));
        for (const auto& k : containers) {
            std::string name = c.stem + std::string(k.extension);
            SCOPED_TRACE(name);
            fs::path file = dir_ / name;
            Bytes before = read_bytes(file);
            // Transport and ASF packets may cut a header: read demuxed.
            bool packets = std::string(k.extension) == ".ts" || std::string(k.extension) == ".asf";
            if (!packets) {
                ASSERT_EQ(sequence_aspects(before), std::vector<std::string>(k.headers, c.before));
            }

            RunResult listed = run({"-l", name});
            EXPECT_EQ(listed.exit_code, 0) << listed.out;
            EXPECT_TRUE(read_bytes(file) == before);
            RunResult r = run({name});
            EXPECT_EQ(r.exit_code, 0) << r.out;
            EXPECT_NE(r.out.find(std::string(k.summary) + (c.stem[0] == 'c' ? "720x576" : "720x480")), std::string::npos)
                << r.out;
            Bytes after = read_bytes(file);
            Bytes judged = packets ? read_bytes(demuxed(name)) : after;
            EXPECT_EQ(sequence_aspects(judged), std::vector<std::string>(k.headers, c.after));
            EXPECT_EQ(demuxed_sar(name), c.sar);
            EXPECT_EQ(change_unlisted(before, after, fs::path(file).replace_extension(".ini")), SIZE_MAX);
            EXPECT_EQ(run({name}).exit_code, 4);
            EXPECT_TRUE(read_bytes(file) == after);

            EXPECT_EQ(run({"-u", name}).exit_code, 0);
            EXPECT_TRUE(read_bytes(file) == before);
        }
    }
}

// A transport stream that names VC-1 by its registration descriptor alone,
// after stream type 0x06 (private data), and whose PES packets have the
// extended stream id 0xFD, as Blu-ray discs carry VC-1, is VC-1 all the same.
TEST_F(Vc1, ARegisteredPrivateStreamOfExtendedIdIsVc1) {
    ASSERT_TRUE(streams_make("code", sequence_header(720, 576, 2)));
    Bytes ts = read_bytes(dir_ / "code.ts");
    const Bytes entry = {0xEA, 0xE1, 0x00, 0xF0, 0x06, 0x05, 0x04, 'V', 'C', '-', '1'};
    size_t patched = 0;
    for (auto at = std::search(ts.begin(), ts.end(), entry.begin(), entry.end()); at != ts.end();
         at = std::search(at, ts.end(), entry.begin(), entry.end()), ++patched) {
        *at = 0x06;
    }
    ASSERT_GT(patched, 0u);
    const Bytes pes = {0, 0, 1, 0xE0};
    patched = 0;
    for (auto at = std::search(ts.begin(), ts.end(), pes.begin(), pes.end()); at != ts.end();
         at = std::search(at, ts.end(), pes.begin(), pes.end()), ++patched) {
        at[3] = 0xFD;
    }
    ASSERT_GT(patched, 0u);
    write_bytes(dir_ / "private.ts", ts);
    RunResult r = run({"-o3", "private.ts"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("VC-1 720x576 SAR 12:11->16:11"), std::string::npos) << r.out;
    EXPECT_EQ(sequence_aspects(read_bytes(demuxed("private.ts"))), std::vector<std::string>(3, "4"));
}

// A table code cannot say 2.21:1 at 720x576: the run stops untouched,
// naming the header (exit 12). A header without a display extension records
// no aspect: a stream is refused untouched (exit 10); in AVI the
// container's vprp alone changes, and the headers keep their bytes. An ASF
// data packet that says more payloads than it holds is damage (exit 6).
TEST_F(Vc1, AFormThatCannotSayTheTargetAndAHeaderWithoutAspectChangeNoHeader) {
    ASSERT_TRUE(streams_make("code", sequence_header(720, 576, 2)));
    ASSERT_TRUE(streams_make("bare", sequence_header(720, 576, -1)));
    Bytes asf = read_bytes(dir_ / "code.asf");
    const Bytes data_guid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    auto data = std::search(asf.begin() + 16, asf.end(), data_guid.begin(), data_guid.end());
    ASSERT_NE(data, asf.end());
    // After the object's head, ffmpeg's first packet: error correction (3),
    // flags, properties, the fields whose widths the flags give, send time
    // and duration, then the payloads' count.
    auto packet = data + 50;
    ASSERT_EQ(packet[0], 0x82);
    ASSERT_EQ(packet[3] & 1, 1);
    const int widths[] = {0, 1, 2, 4};
    int count_at = 5 + widths[(packet[3] >> 5) & 3] + widths[(packet[3] >> 1) & 3] + widths[(packet[3] >> 3) & 3] + 6;
    packet[count_at] |= 0x3F;
    write_bytes(dir_ / "damaged.asf", asf);
    const std::pair<const char*, int> refused[] = {{"code.vc1", 12}, {"code.mkv", 12}, {"code.asf", 12},
                                                   {"bare.vc1", 10}, {"bare.ts", 10},  {"damaged.asf", 6}};
    for (const auto& c : refused) {
        SCOPED_TRACE(c.first);
        Bytes before = read_bytes(dir_ / c.first);
        RunResult r = run({c.second == 12 ? "-o4" : "-o3", c.first});
        EXPECT_EQ(r.exit_code, c.second) << r.out;
        const char* said = c.second == 6 ? "ASF" : "sequence header";
        EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
        EXPECT_TRUE(read_bytes(dir_ / c.first) == before);
        EXPECT_FALSE(fs::exists((dir_ / c.first).replace_extension(".ini")));
    }
    Bytes before = read_bytes(dir_ / "bare.avi");
    RunResult r = run({"-o3", "bare.avi"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    Bytes after = read_bytes(dir_ / "bare.avi");
    EXPECT_EQ(sequence_aspects(after), std::vector<std::string>(4, "-"));
    EXPECT_EQ(probed_display(dir_ / "bare.avi"), "16:9");
    EXPECT_EQ(change_unlisted(before, after, dir_ / "bare.ini"), SIZE_MAX);
    EXPECT_EQ(run({"-u", "bare.avi"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "bare.avi") == before);
}

}  // namespace
