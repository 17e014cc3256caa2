// DVD-Video images made by genisoimage around tests/make_dvd.sh's folder:
// changed inside the image, judged by lsdvd reading the image, by the files
// isoinfo extracts through ISO 9660 (the tests' demuxer, ffprobe) and byte
// for byte after -u; and, changed by a small UDF and ISO 9660 writer of the
// tests' own, refused untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

#include "judges.h"
#include "reference_demux.h"
#include "support.h"

namespace {

constexpr size_t sector = 2048;
constexpr size_t attributes_at = 0x200;

// Where isoinfo says each file of VIDEO_TS lies: its byte in the image,
// and its length.
struct Extent {
    size_t start;
    size_t length;
};
std::map<std::string, Extent> iso_extents(const fs::path& image) {
    std::map<std::string, Extent> extents;
    std::istringstream lines(output_of("isoinfo -l -i " + quoted(image)));
    const std::regex file(R"(\s(\d+) \w+ +\d+ \d+ \[ *(\d+) 00\]  (\w+\.\w+);1)");
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_search(line, m, file)) {
            extents[m[3]] = {std::stoul(m[2]) * sector, std::stoul(m[1])};
        }
    }
    return extents;
}

Bytes extracted(const fs::path& image, const std::string& name) {
    fs::path out = image.parent_path() / ("x_" + name);
    output_of("isoinfo -i " + quoted(image) + " -x '/VIDEO_TS/" + name + ";1' > " + quoted(out));
    return read_bytes(out);
}

size_t bytes_apart(const Bytes& a, const Bytes& b) {
    size_t count = 0;
    for (size_t k = 0; k < a.size() && k < b.size(); ++k) count += a[k] != b[k];
    return count;
}

// lsdvd's aspect for the title set, as libdvdread reads it in the image.
std::string lsdvd_aspect(const std::string& listing, int set) {
    std::smatch m;
    const std::regex title("VTS: 0" + std::to_string(set) + R"(, .*Aspect ratio: ([0-9/]+))");
    return std::regex_search(listing, m, title) ? m[1].str() : "none";
}

// The tests' own writer of a disc's structures: a UDF descriptor's tag
// made right again after its bytes changed (its checksum, and the CRC of
// the descriptor after it), and the places it finds by their own marks.
uint16_t udf_crc(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0;
    for (size_t k = 0; k < length; ++k) {
        crc ^= static_cast<uint16_t>(bytes[k] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}
uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}
void le_put(Bytes& b, size_t at, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) b[at + k] = static_cast<uint8_t>(value >> (8 * k));
}
bool udf_tag_at(const Bytes& b, size_t at, uint16_t id) {
    uint8_t sum = 0;
    for (size_t k = 0; k < 16; ++k) sum = static_cast<uint8_t>(sum + (k == 4 ? 0 : b[at + k]));
    return sum == b[at + 4] && (b[at] | b[at + 1] << 8) == id;
}
void udf_tag_seal(Bytes& b, size_t at, size_t crc_length) {
    le_put(b, at + 10, static_cast<uint32_t>(crc_length), 2);
    le_put(b, at + 8, udf_crc(b.data() + at + 16, crc_length), 2);
    uint8_t sum = 0;
    for (size_t k = 0; k < 16; ++k) sum = static_cast<uint8_t>(sum + (k == 4 ? 0 : b[at + k]));
    b[at + 4] = sum;
}
// The UDF file entry (tag 261) of the one file of that length recorded in
// one short allocation descriptor; 0 where there is not exactly one.
size_t udf_entry_of_length(const Bytes& b, size_t length) {
    size_t found = 0;
    int count = 0;
    for (size_t at = 0; at + sector <= b.size(); at += sector) {
        if (!udf_tag_at(b, at, 261) || le32(b, at + 56) != length || le32(b, at + 172) != 8) continue;
        found = at;
        ++count;
    }
    return count == 1 ? found : 0;
}
// Describes the file as two extents, its first half and the rest: the same
// bytes, in pieces as a fragmented file's are.
void udf_entry_split(Bytes& b, size_t entry) {
    size_t ads = entry + 176 + le32(b, entry + 168);
    uint32_t length = le32(b, ads) & 0x3FFFFFFF;
    uint32_t block = le32(b, ads + 4);
    uint32_t half = length / 2 / sector * sector;
    le_put(b, ads, half, 4);
    le_put(b, ads + 8, length - half, 4);
    le_put(b, ads + 12, block + half / sector, 4);
    le_put(b, entry + 172, 16, 4);
    udf_tag_seal(b, entry, ads + 16 - entry - 16);
}
// The logical volume descriptor's domain made UDF 2.50's, as a Blu-ray's.
bool udf_volume_made_250(Bytes& b) {
    for (size_t at = 16 * sector; at < 300 * sector && at + sector <= b.size(); at += sector) {
        if (!udf_tag_at(b, at, 6)) continue;
        le_put(b, at + 240, 0x0250, 2);
        udf_tag_seal(b, at, b[at + 10] | b[at + 11] << 8);
        return true;
    }
    return false;
}
// ISO 9660's record of the file moved a sector on: its location, both
// byte orders.
bool iso_record_moved(Bytes& b, const std::string& name) {
    std::string text = name + ";1";
    auto it = std::search(b.begin(), b.end(), text.begin(), text.end());
    if (it == b.end()) return false;
    size_t record = static_cast<size_t>(it - b.begin()) - 33;
    uint32_t lba = le32(b, record + 2) + 1;
    le_put(b, record + 2, lba, 4);
    for (int k = 0; k < 4; ++k) b[record + 6 + k] = static_cast<uint8_t>(lba >> (8 * (3 - k)));
    return true;
}

class DvdImage : public ::testing::Test {
protected:
    void SetUp() override {
        if (dvd_folder_made().empty()) GTEST_SKIP() << "no DVD-Video folder (dvdauthor and ffmpeg make it)";
        if (std::system("genisoimage -version > /dev/null 2>&1 && isoinfo -version > /dev/null 2>&1") != 0) {
            GTEST_SKIP() << "no genisoimage";
        }
        fs::copy(dvd_folder_made(), dir_ / "disc", fs::copy_options::recursive);
    }
    fs::path image_made(const std::string& systems) {
        fs::path image = dir_ / "disc.iso";
        fs::remove(image);
        EXPECT_TRUE(commands_run(dir_.path(), "genisoimage -quiet -dvd-video " + systems + " -o disc.iso disc"));
        return image;
    }
    Bytes original(const std::string& name) const { return read_bytes(dir_ / "disc" / "VIDEO_TS" / name); }
    bool says(const RunResult& r, const std::string& utf8) const {
        return r.out.find(console_bytes(utf8)) != std::string::npos;
    }
    ScratchDir dir_;
};

// As a UDF bridge and as ISO 9660 alone: the NTSC sets 1 and 3 made 16:9
// inside the image (VOBs as the tests' demuxer says, IFO and BUP byte
// 0x4C), the PAL set 2 of another picture size left whole; nothing else
// in the image changes, and -u gives it back byte for byte.
TEST_F(DvdImage, TitleSetsAreChangedInsideTheImageAndUndoneByteForByte) {
    const std::vector<std::string> changed = {"VTS_01_0.IFO", "VTS_01_1.VOB", "VTS_01_0.BUP", "VTS_03_0.IFO",
                                              "VTS_03_1.VOB", "VTS_03_2.VOB", "VTS_03_3.VOB", "VTS_03_0.BUP"};
    for (const char* systems : {"-udf", ""}) {
        SCOPED_TRACE(systems);
        fs::path image = image_made(systems);
        Bytes before = read_bytes(image);
        fs::file_time_type time = fs::last_write_time(image);
        RunResult r = run_tool({"disc.iso"}, dir_.path());
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_TRUE(says(r, "タイトルセット02など1個は")) << r.out;
        EXPECT_EQ(fs::file_size(image), before.size());
        EXPECT_TRUE(fs::last_write_time(image) == time);
        EXPECT_TRUE(fs::exists(dir_ / "disc.iso.ini"));

        std::string listing = output_of("lsdvd -x " + quoted(image) + " 2>/dev/null");
        for (int set : {1, 2, 3}) EXPECT_EQ(lsdvd_aspect(listing, set), "16/9") << set;
        size_t expected_apart = 0;
        for (const std::string& name : changed) {
            Bytes was = original(name);
            Bytes expected = was;
            if (name.find(".VOB") != std::string::npos) {
                expected = rewritten(was, matching_headers(was, program_video_payload(was)), 3);
            } else {
                EXPECT_EQ(expected[attributes_at], 0x43);
                expected[attributes_at] = 0x4C;
            }
            EXPECT_TRUE(extracted(image, name) == expected) << name;
            expected_apart += bytes_apart(was, expected);
        }
        for (const char* name : {"VTS_02_0.IFO", "VTS_02_1.VOB", "VTS_02_0.BUP", "VIDEO_TS.IFO"}) {
            EXPECT_TRUE(extracted(image, name) == original(name)) << name;
        }
        EXPECT_EQ(bytes_apart(before, read_bytes(image)), expected_apart);
        EXPECT_EQ(probed_display(dir_ / "x_VTS_01_1.VOB"), "16:9");

        // Every place the report names lies in the file isoinfo places there.
        std::map<std::string, Extent> extents = iso_extents(image);
        RunResult json = run_tool({"--json", "-l", "disc.iso"}, dir_.path());
        const std::regex place(R"re("position":(\d+),"file":"([^"]+)")re");
        int places = 0;
        for (std::sregex_iterator m(json.out.begin(), json.out.end(), place), end; m != end; ++m, ++places) {
            const Extent& e = extents.at((*m)[2]);
            size_t at = std::stoul((*m)[1]);
            EXPECT_TRUE(at >= e.start && at < e.start + e.length) << (*m)[2] << " " << at;
        }
        EXPECT_GE(places, 10);

        RunResult undone = run_tool({"-u", "disc.iso"}, dir_.path());
        EXPECT_EQ(undone.exit_code, 0) << undone.out;
        EXPECT_TRUE(read_bytes(image) == before);
        EXPECT_TRUE(fs::last_write_time(image) == time);
        EXPECT_FALSE(fs::exists(dir_ / "disc.iso.ini"));
    }
}

// A VOB described in two extents, an ISO 9660 record that places a VOB a
// sector away from UDF's, and a UDF 2.50 volume (a Blu-ray's): each refused
// before a byte is written, with its own exit code and reason.
TEST_F(DvdImage, ImagesThatCannotBeChangedInPlaceAreRefusedUntouched) {
    fs::path image = image_made("-udf");
    const Bytes made = read_bytes(image);
    struct Damage {
        const char* what;
        int exit_code;
        const char* reason;
    };
    const Damage damages[] = {
        {"split", 12, "ファイルがいくつかに分かれて置かれているので"},
        {"moved", 6, "VIDEO_TSのファイルの場所を違えて記録しています"},
        {"udf250", 5, "DVD-Video以外のディスクイメージ"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Bytes damaged = made;
        if (std::string(d.what) == "split") {
            size_t entry = udf_entry_of_length(damaged, original("VTS_01_1.VOB").size());
            ASSERT_NE(entry, 0u);
            udf_entry_split(damaged, entry);
        } else if (std::string(d.what) == "moved") {
            ASSERT_TRUE(iso_record_moved(damaged, "VTS_01_1.VOB"));
        } else {
            ASSERT_TRUE(udf_volume_made_250(damaged));
        }
        write_bytes(image, damaged);
        for (const char* option : {"", "-l"}) {
            RunResult r = run_tool(*option ? std::vector<std::string>{option, "disc.iso"} : std::vector<std::string>{"disc.iso"},
                                   dir_.path());
            EXPECT_EQ(r.exit_code, d.exit_code) << r.out;
            EXPECT_TRUE(says(r, d.reason)) << r.out;
        }
        EXPECT_TRUE(read_bytes(image) == damaged);
        EXPECT_FALSE(fs::exists(dir_ / "disc.iso.ini"));
    }
}

#ifndef _WIN32
// A run killed at its first, a middle or its last write to the image: until
// the IFO's write the IFO still says 4:3, and a run again ends as one uncut
// run does; -u gives the image back.
TEST_F(DvdImage, AKilledRunIsFinishedByTheNextAndUndone) {
    fs::path image = image_made("-udf");
    const Bytes made = read_bytes(image);
    fs::path log = dir_ / "journal.log";
    ASSERT_EQ(run_tool({"disc.iso"}, dir_.path(), shim_environment({"MORVALEN_JOURNAL=" + log.string()})).exit_code, 0);
    const Bytes uncut = read_bytes(image);
    size_t writes = journal_positioned_writes(log).size();
    ASSERT_GE(writes, 3u);
    for (size_t at : {size_t{1}, writes / 2, writes}) {
        SCOPED_TRACE(at);
        write_bytes(image, made);
        fs::remove(dir_ / "disc.iso.ini");
        std::string kill = "MORVALEN_KILL_AT_WRITE=" + std::to_string(at);
        EXPECT_NE(run_tool({"disc.iso"}, dir_.path(), shim_environment({kill})).exit_code, 0);
        if (at == 1) {
            EXPECT_EQ(extracted(image, "VTS_01_0.IFO")[attributes_at], 0x43);
        }
        EXPECT_EQ(run_tool({"disc.iso"}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(image) == uncut);
        EXPECT_EQ(run_tool({"-u", "disc.iso"}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(image) == made);
    }
}
#endif

}  // namespace
