// The marker file as the way back: only real changes are recorded, each
// with the byte it held before its first change; -u puts them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "reference_demux.h"
#include "rewrite/engine.h"
#include "rewrite/marker.h"
#include "streams.h"
#include "support.h"

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

namespace {

// The headers a correct rewrite changes, by the tests' own reading.
std::vector<int64_t> headers_of(const Bytes& file, const std::string& name) {
    if (name.find(".m2v") != std::string::npos) {
        std::vector<int64_t> every(file.size());
        for (size_t i = 0; i < file.size(); ++i) every[i] = static_cast<int64_t>(i);
        return matching_headers(file, {every});
    }
    if (name.find(".ts") != std::string::npos) {
        TransportInfo info;
        return matching_headers(file, transport_video_payload(file, &info));
    }
    return matching_headers(file, program_video_payload(file));
}

// A 4:3 part and a 16:9 part of the same picture size joined, as a
// broadcast recording that switches shape: the second part is the first
// with its aspect nibbles set by the tests' own reading.
Bytes mixed(const std::string& sample, uint8_t first_code, uint8_t second_code) {
    Bytes part = read_bytes(sample_path(sample));
    std::vector<int64_t> headers = headers_of(part, sample);
    return rewritten(part, headers, first_code) + rewritten(part, headers, second_code);
}

struct MixedCase {
    const char* sample;
    const char* name;
};

const MixedCase mixed_cases[] = {
    {"dvd_ntsc_4x3.mpg", "mixed.mpg"},
    {"es_mpeg2_16x9.m2v", "mixed.m2v"},
    {"ts_sd_4x3.ts", "mixed.ts"},
};

class Undo : public ::testing::Test {
protected:
    fs::path make(const std::string& name, const Bytes& bytes) {
        write_bytes(dir_ / name, bytes);
        return dir_ / name;
    }
    ScratchDir dir_;
};

struct MixedFile {
    Bytes original;
    std::vector<int64_t> headers;  // the 4:3 half's, then the 16:9 half's
};

MixedFile mixed_file(const MixedCase& c) {
    MixedFile m;
    m.original = mixed(c.sample, 2, 3);
    m.headers = headers_of(m.original, c.name);
    return m;
}

// The marker after changes to the first `changed` headers; from `own` on,
// each line carries the byte it held.
std::string marker_after(const MixedFile& m, size_t changed, size_t own) {
    std::string text = std::to_string(m.original[m.headers[0]]) + "\r\n";
    for (size_t i = 0; i < changed; ++i) {
        text += std::to_string(m.headers[i]);
        if (i >= own) text += " " + std::to_string(m.original[m.headers[i]]);
        text += "\r\n";
    }
    return text;
}

TEST_F(Undo, OnlyRealChangesAreRecordedAndAMixedFileComesBackExactly) {
    for (const MixedCase& c : mixed_cases) {
        SCOPED_TRACE(c.name);
        MixedFile m = mixed_file(c);
        fs::path video = make(c.name, m.original);
        EngineOutcome o = engine_outcome(video, 3);
        EXPECT_EQ(o.result, rewrite_done_marker_created);
        EXPECT_TRUE(o.video == rewritten(m.original, m.headers, 3));
        // The 4:3 half only: the 16:9 half needed no change.
        EXPECT_EQ(o.marker, marker_after(m, m.headers.size() / 2, m.headers.size()));

        EngineOutcome undone = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(undone.result, 0);
        EXPECT_TRUE(undone.video == m.original);
        EXPECT_FALSE(undone.has_marker);
    }
}

// -o3, then -o2, then -o3, then -u: each byte's first original is kept,
// the 16:9 half's with its own byte on its line.
TEST_F(Undo, ForwardBackAndForwardAgainThenUndo) {
    for (const MixedCase& c : mixed_cases) {
        SCOPED_TRACE(c.name);
        MixedFile m = mixed_file(c);
        fs::path video = make(c.name, m.original);
        EXPECT_EQ(engine_outcome(video, 3).result, rewrite_done_marker_created);
        EngineOutcome back = engine_outcome(video, 2);
        EXPECT_EQ(back.result, rewrite_done);
        EXPECT_TRUE(back.video == rewritten(m.original, m.headers, 2));
        std::string expected = marker_after(m, m.headers.size(), m.headers.size() / 2);
        EXPECT_EQ(back.marker, expected);
        EXPECT_EQ(engine_outcome(video, 3).marker, expected);  // nothing new to record
        EngineOutcome undone = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(undone.result, 0);
        EXPECT_TRUE(undone.video == m.original);
    }
}

TEST_F(Undo, PositionsThatNoLongerHoldAHeaderAreReportedAndKept) {
    Bytes original = read_bytes(sample_path("es_mpeg2_16x9.m2v"));
    std::vector<int64_t> headers = headers_of(original, "v.m2v");
    fs::path video = make("v.m2v", original);
    engine_outcome(video, 2);
    std::string marker = read_text(dir_ / "v.ini");
    std::string extra = "5\r\n" + std::to_string(original.size() + 10) + "\r\n";
    std::ofstream(dir_ / "v.ini", std::ios::binary) << marker << extra;
    EngineOutcome undone = engine_outcome(video, 0, mode_undo);
    EXPECT_EQ(undone.result, restore_partial);
    EXPECT_TRUE(undone.video == original);  // every real position was put back
    EXPECT_EQ(undone.marker, marker_positions(marker + extra));
}

TEST_F(Undo, WithoutAReadableMarkerNothingIsWritten) {
    Bytes changed = rewritten(read_bytes(sample_path("es_mpeg2_16x9.m2v")),
                              headers_of(read_bytes(sample_path("es_mpeg2_16x9.m2v")), "v.m2v"), 2);
    fs::path video = make("v.m2v", changed);
    EXPECT_EQ(engine_outcome(video, 0, mode_undo).result, rewrite_marker_missing);
    for (const char* text : {"", "36\r\n7", "hello\r\n", "36\r\n7 x\r\n"}) {
        make("v.ini", Bytes(text, text + std::strlen(text)));
        EngineOutcome o = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(o.result, rewrite_marker_unreadable) << text;
        EXPECT_TRUE(o.video == changed);
        EXPECT_EQ(o.marker, text);
    }
}

// Reading the positions back: any order, a byte of their own, a lone LF;
// the video's name and size in the second line, or (older markers) none.
TEST(MarkerParse, LinesAsTheToolWritesThem) {
    struct Case {
        const char* text;
        bool owner_known;
    };
    const Case cases[] = {
        {"36\r\n9000000000\r\n7 52\r\n300\n", false},
        {"36\r\nvideo=518875 Vol 1.m2v\r\n9000000000\r\n7 52\r\n300\n", true},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        std::ofstream(dir / "m.ini", std::ios::binary) << c.text;
        FileHandleRec file = {os_invalid_handle, 0, 0};
        ASSERT_EQ(file_open(&file, (dir / "m.ini").string().c_str(), generic_read), 0);
        uint8_t first = 0;
        MarkerOwner owner = {};
        std::vector<uint64_t> entries;
        auto visit = [](void* context, uint64_t entry) {
            static_cast<std::vector<uint64_t>*>(context)->push_back(entry);
        };
        EXPECT_EQ(marker_parse(&file, &first, &owner, visit, &entries), 0) << c.text;
        file_close(&file);
        EXPECT_EQ(first, 36);
        EXPECT_EQ(entries, (std::vector<uint64_t>{9000000000ULL << 8 | 36, 7 << 8 | 52, 300 << 8 | 36}));
        EXPECT_EQ(owner.known, c.owner_known);
        if (c.owner_known) {
            EXPECT_EQ(owner.size, 518875);
            EXPECT_STREQ(owner.name, "Vol 1.m2v");
        }
    }
}

}  // namespace

#ifndef _WIN32
namespace {

// Starts the tool on the video with the preloaded shim set to kill it
// (SIGKILL) just before its kill_at-th write to the video.
int run_killed_at_write(const fs::path& video, const std::string& option, size_t kill_at) {
    std::vector<std::string> variables = {
        "LC_ALL=C", "ASAN_OPTIONS=verify_asan_link_order=0", "LD_PRELOAD=" FAULT_SHIM_PATH,
        "MORVALEN_KILL_AT_WRITE=" + std::to_string(kill_at)};
    std::vector<char*> environment;
    for (std::string& v : variables) environment.push_back(v.data());
    environment.push_back(nullptr);
    std::string path = video.string();
    char* argv[] = {const_cast<char*>(MORVALENCMD_PATH), const_cast<char*>(option.c_str()),
                    path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t tool = 0;
    int failed = posix_spawn(&tool, MORVALENCMD_PATH, &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    int status = 0;
    waitpid(tool, &status, 0);
    return status;
}

// The positions a marker file lists, by the tests' own reading.
std::vector<int64_t> listed_positions(const fs::path& marker) {
    std::ifstream in(marker, std::ios::binary);
    std::string line;
    std::getline(in, line);  // the original byte
    std::vector<int64_t> listed;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "video=") != 0) listed.push_back(std::stoll(line));
    }
    return listed;
}

// A run killed half way (Ctrl+C, a crash, a power cut) leaves only changes
// its marker file records, each listed before its byte changed; a run with
// the same target finishes it, and -u then gives back the original exactly.
// The files are encoder-made samples repeated to 8 MiB.
TEST_F(Undo, AnInterruptedRunIsFinishedAndUndone) {
    struct Case {
        const char* sample;
        const char* name;
        uint8_t target;
    } cases[] = {{"es_mpeg2_16x9.m2v", "long.m2v", 2}, {"dvd_ntsc_4x3.mpg", "long.mpg", 3}};
    for (const Case& c : cases) {
        Bytes unit = read_bytes(sample_path(c.sample));
        Bytes original;
        while (original.size() < 8u * 1048576) original.insert(original.end(), unit.begin(), unit.end());
        // Each copy holds its headers where the sample does.
        std::vector<int64_t> in_unit = headers_of(unit, c.name);
        std::vector<int64_t> all;
        for (size_t copy = 0; copy < original.size() / unit.size(); ++copy) {
            for (int64_t h : in_unit) all.push_back(h + static_cast<int64_t>(copy * unit.size()));
        }
        fs::path marker = fs::path(dir_ / c.name).replace_extension(".ini");
        std::string option = "-o" + std::to_string(c.target);
        for (size_t kill_at : {size_t{1}, all.size() / 4, all.size() * 3 / 4}) {
            SCOPED_TRACE(std::string(c.name) + " killed at write " + std::to_string(kill_at));
            fs::path video = make(c.name, original);
            fs::remove(marker);
            int status = run_killed_at_write(video, option, kill_at);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            // Every header before the killed write changed, none after; the
            // marker already lists the one whose write never happened, and
            // the rest of its batch.
            std::vector<int64_t> done(all.begin(), all.begin() + static_cast<ptrdiff_t>(kill_at - 1));
            EXPECT_TRUE(read_bytes(video) == rewritten(original, done, c.target));
            std::vector<int64_t> listed = listed_positions(marker);
            ASSERT_GE(listed.size(), kill_at);
            EXPECT_TRUE(std::equal(listed.begin(), listed.end(), all.begin()));

            RunResult r = run_tool({option, c.name}, dir_.path());
            EXPECT_EQ(r.exit_code, 0);  // not "nothing to do": the rest still has the old shape
            EXPECT_TRUE(read_bytes(video) == rewritten(original, all, c.target));
            r = run_tool({"-u", c.name}, dir_.path());
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_TRUE(read_bytes(video) == original);
            EXPECT_FALSE(fs::exists(marker));
        }
    }
}

}  // namespace
#endif
