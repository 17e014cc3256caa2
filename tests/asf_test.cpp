// ASF files as ffmpeg writes them (Windows Media Video 7 and 8, the
// Microsoft MPEG-4 variant), and as the tests' own object writer changes
// their header where no muxer here makes the file: a file-wide pair in an
// Extended Content Description Object, no records but a Padding Object's
// room, neither. Every pair of aspect records takes the target, as ffprobe
// and the tests' own reading of the values say; the records go into a
// Padding Object's room without moving a byte; only listed bytes change,
// the pictures decode as before, and -u gives the file back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "judges.h"
#include "support.h"

namespace {

const std::string ff = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=duration=1:rate=25:size=";

const Bytes guid_metadata = {0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48,
                             0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA};
const Bytes guid_padding = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                            0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
const Bytes guid_extension = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                              0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes guid_content = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                            0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

void le_append(Bytes* b, uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) b->push_back(static_cast<uint8_t>(value >> (8 * k)));
}

void le_add(Bytes* b, size_t at, uint64_t more, int bytes) {
    uint64_t value = 0;
    for (int k = 0; k < bytes; ++k) value |= uint64_t{(*b)[at + k]} << (8 * k);
    value += more;
    for (int k = 0; k < bytes; ++k) (*b)[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

size_t find(const Bytes& b, const Bytes& what) {
    auto it = std::search(b.begin(), b.end(), what.begin(), what.end());
    return it == b.end() ? SIZE_MAX : static_cast<size_t>(it - b.begin());
}

Bytes object_of(const Bytes& guid, const Bytes& body) {
    Bytes o = guid;
    le_append(&o, 24 + body.size(), 8);
    return o + body;
}

// The tests' own object writer: the object goes in at `at`, and every
// object that holds it (the Header Object, and the Header Extension
// Object where `in_extension`) grows by as much.
void object_insert(Bytes* b, size_t at, const Bytes& object, bool in_extension) {
    b->insert(b->begin() + static_cast<ptrdiff_t>(at), object.begin(), object.end());
    le_add(b, 16, object.size(), 8);
    if (!in_extension) return le_add(b, 24, 1, 4);
    size_t extension = find(*b, guid_extension);
    le_add(b, extension + 16, object.size(), 8);
    le_add(b, extension + 42, object.size(), 4);
}

Bytes descriptor(char letter, uint32_t value) {
    Bytes d;
    le_append(&d, 26, 2);
    for (char c : std::string("AspectRatio") + letter) le_append(&d, static_cast<uint8_t>(c), 2);
    le_append(&d, 0, 2);
    le_append(&d, 3, 2);
    le_append(&d, 4, 2);
    le_append(&d, value, 4);
    return d;
}

class Asf : public ::testing::Test {
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
};

TEST_F(Asf, EveryPairOfAspectRecordsTakesTheTarget) {
    ASSERT_TRUE(make(ff + "320x240 -c:v wmv2 -aspect 16:9 wmv2.wmv && " + ff + "720x480 -c:v msmpeg4 ms.asf && " +
                     ff + "320x240 -c:v wmv1 -aspect 16:9 wmv1.wmv"));
    Bytes wmv = read_bytes(dir_ / "wmv2.wmv");
    // A file-wide pair, which a stream's own outranks: 8:9 against 4:3.
    Bytes content = wmv;
    Bytes descriptors = {2, 0};
    object_insert(&content, 30, object_of(guid_content, descriptors + descriptor('X', 8) + descriptor('Y', 9)), false);
    write_bytes(dir_ / "content.wmv", content);
    // No records, and the room they took: once exactly, once with padding left.
    Bytes exact = wmv;
    std::copy(guid_padding.begin(), guid_padding.end(), exact.begin() + static_cast<ptrdiff_t>(find(exact, guid_metadata)));
    write_bytes(dir_ / "room.wmv", exact);
    Bytes more = exact;
    object_insert(&more, find(more, guid_padding), object_of(guid_padding, Bytes(200, 0)), true);
    write_bytes(dir_ / "more_room.wmv", more);
    const Made cases[] = {
        {"wmv2.wmv", "-o2", "4:3"}, {"ms.asf", "-o3", "20:11"}, {"wmv1.wmv", "-o2", "4:3"},
        {"content.wmv", "-o2", "4:3"}, {"room.wmv", "-o3", "16:9"}, {"more_room.wmv", "-o3", "16:9"},
    };
    for (const Made& c : cases) {
        fs::path video = dir_ / c.name;
        SCOPED_TRACE(c.name);
        std::string sums = frame_sums(video);
        Bytes before = read_bytes(video);
        EXPECT_EQ(run({"-l", c.name}).exit_code, 0);
        RunResult r = run({c.option, c.name});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        Bytes after = read_bytes(video);
        EXPECT_FALSE(changed_positions(before, after).empty());
        EXPECT_EQ(change_unlisted(before, after, fs::path(video).replace_extension(".ini")), SIZE_MAX);
        EXPECT_EQ(probed_display(video), c.display_after);
        EXPECT_EQ(frame_sums(video), sums);
        EXPECT_EQ(run({c.option, c.name}).exit_code, 4);
        EXPECT_EQ(run({"-u", c.name}).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == before);
    }
    // The file-wide pair took the target too: its values are the last bytes of each descriptor.
    run({"-o2", "content.wmv"});
    Bytes changed = read_bytes(dir_ / "content.wmv");
    EXPECT_EQ(changed[30 + 26 + 32], 1);
    EXPECT_EQ(changed[30 + 26 + 36 + 32], 1);
}

TEST_F(Asf, FilesItCannotChangeAreLeftUntouched) {
    ASSERT_TRUE(make(ff + "320x240 -c:v wmv2 -aspect 16:9 wmv2.wmv && " + ff + "320x240 -c:v mpeg4 -aspect 16:9 -f asf mpeg4.asf && " +
                     ff + "320x240 -c:v wmv2 -aspect 16:9 wmv2.avi"));
    Bytes wmv = read_bytes(dir_ / "wmv2.wmv");
    Bytes roomless = wmv;
    std::fill_n(roomless.begin() + static_cast<ptrdiff_t>(find(roomless, guid_metadata)), 16, 0x11);
    write_bytes(dir_ / "roomless.wmv", roomless);
    write_bytes(dir_ / "cut.wmv", Bytes(wmv.begin(), wmv.begin() + 400));
    Bytes vc1 = wmv;
    const Bytes wmv2 = {'W', 'M', 'V', '2'};
    const Bytes wvc1 = {'W', 'V', 'C', '1'};
    std::copy(wvc1.begin(), wvc1.end(), vc1.begin() + static_cast<ptrdiff_t>(find(vc1, wmv2)));
    write_bytes(dir_ / "vc1.wmv", vc1);
    Bytes avi = read_bytes(dir_ / "wmv2.avi");
    for (size_t at = find(avi, wmv2); at < 4096; at = find(avi, wmv2)) {
        std::copy(wvc1.begin(), wvc1.end(), avi.begin() + static_cast<ptrdiff_t>(at));
    }
    write_bytes(dir_ / "vc1.avi", avi);
    // MPEG-4 records the aspect in its frames too, which are not read here; VC-1's frames are read, and
    // a VC-1 whose sequence headers are nowhere cannot be judged.
    const std::pair<const char*, int> cases[] = {
        {"roomless.wmv", 12}, {"cut.wmv", 6}, {"mpeg4.asf", 5}, {"vc1.wmv", 6}, {"vc1.avi", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Bytes before = read_bytes(dir_ / c.first);
        EXPECT_EQ(run({"-o2", c.first}).exit_code, c.second);
        EXPECT_TRUE(read_bytes(dir_ / c.first) == before);
    }
}

}  // namespace
