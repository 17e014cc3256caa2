// The marker file as the way back: only real changes are recorded, each
// with the byte it held before its first change; -u puts them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

#include "reference_demux.h"
#include "edit_run.h"
#include "edit/marker.h"
#include "streams.h"
#include "support.h"

#ifndef _WIN32
#include <csignal>
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
        EXPECT_EQ(o.result, ended_marker_created);
        EXPECT_TRUE(o.video == rewritten(m.original, m.headers, 3));
        // The 4:3 half only: the 16:9 half needed no change.
        EXPECT_EQ(o.marker, marker_after(m, m.headers.size() / 2, m.headers.size()));

        EngineOutcome undone = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(undone.result, ended_done);
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
        EXPECT_EQ(engine_outcome(video, 3).result, ended_marker_created);
        EngineOutcome back = engine_outcome(video, 2);
        EXPECT_EQ(back.result, ended_done);
        EXPECT_TRUE(back.video == rewritten(m.original, m.headers, 2));
        std::string expected = marker_after(m, m.headers.size(), m.headers.size() / 2);
        EXPECT_EQ(back.marker, expected);
        EXPECT_EQ(engine_outcome(video, 3).marker, expected);  // nothing new to record
        EngineOutcome undone = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(undone.result, ended_done);
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
    EXPECT_EQ(undone.result, ended_partly_undone);
    EXPECT_TRUE(undone.video == original);  // every real position was put back
    EXPECT_EQ(undone.marker, marker_positions(marker + extra));
}

TEST_F(Undo, WithoutAReadableMarkerNothingIsWritten) {
    Bytes changed = rewritten(read_bytes(sample_path("es_mpeg2_16x9.m2v")),
                              headers_of(read_bytes(sample_path("es_mpeg2_16x9.m2v")), "v.m2v"), 2);
    fs::path video = make("v.m2v", changed);
    EXPECT_EQ(engine_outcome(video, 0, mode_undo).result, result_marker_missing);
    for (const char* text : {"", "hello\r\n", "36\r\n7 x\r\n", "36\r\n7\r\nx"}) {
        make("v.ini", Bytes(text, text + std::strlen(text)));
        EngineOutcome o = engine_outcome(video, 0, mode_undo);
        EXPECT_EQ(o.result, result_marker_unreadable) << text;
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
        {"36\r\nvideo=518875 Vol 1.m2v\r\ntime=-12.000000005\r\n9000000000\r\n7 52\r\n300\n", true},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        std::ofstream(dir / "m.ini", std::ios::binary) << c.text;
        FileHandleRec file = {os_invalid_handle, 0, 0};
        ASSERT_EQ(file_open(&file, (dir / "m.ini").string().c_str(), generic_read), 0);
        MarkerHead head = {};
        std::vector<uint64_t> entries;
        auto visit = [](void* context, uint64_t entry) {
            static_cast<std::vector<uint64_t>*>(context)->push_back(entry);
        };
        EXPECT_EQ(marker_parse(&file, &head, visit, &entries), 0) << c.text;
        file_close(&file);
        EXPECT_EQ(head.first_byte, 36);
        EXPECT_EQ(entries, (std::vector<uint64_t>{9000000000ULL << 8 | 36, 7 << 8 | 52, 300 << 8 | 36}));
        EXPECT_EQ(head.owner.known, c.owner_known);
        EXPECT_EQ(head.torn_at, -1);
        if (c.owner_known) {
            EXPECT_EQ(head.owner.size, 518875);
            EXPECT_STREQ(head.owner.name, "Vol 1.m2v");
            EXPECT_EQ(head.owner.written.seconds, -12);
            EXPECT_EQ(head.owner.written.nanoseconds, 5);
        }
    }
}

// The positions a marker file lists, by the tests' own reading.
std::vector<int64_t> listed_positions(const fs::path& marker) {
    std::ifstream in(marker, std::ios::binary);
    std::string line;
    std::getline(in, line);  // the original byte
    std::vector<int64_t> listed;
    while (std::getline(in, line)) {
        bool named = line.compare(0, 6, "video=") == 0 || line.compare(0, 5, "time=") == 0;
        if (!named && line.compare(0, 7, "target=") != 0) listed.push_back(std::stoll(line));
    }
    return listed;
}

// An encoder-made sample repeated to 8 MiB, so that a walk spans several
// batches of changes, and where a rewrite changes it.
struct LongCase {
    const char* sample;
    const char* name;
    uint8_t target;
};

const LongCase long_cases[] = {
    {"es_mpeg2_16x9.m2v", "long.m2v", 2}, {"dvd_ntsc_4x3.mpg", "long.mpg", 3}, {"ts_sd_4x3.ts", "long.ts", 3}};

struct LongFile {
    Bytes original;
    std::vector<int64_t> headers;
};

LongFile long_file(const LongCase& c) {
    Bytes unit = read_bytes(sample_path(c.sample));
    LongFile f;
    while (f.original.size() < 8u * 1048576) f.original.insert(f.original.end(), unit.begin(), unit.end());
    // Each copy holds its headers where the sample does.
    std::vector<int64_t> in_unit = headers_of(unit, c.name);
    for (size_t copy = 0; copy < f.original.size() / unit.size(); ++copy) {
        for (int64_t h : in_unit) f.headers.push_back(h + static_cast<int64_t>(copy * unit.size()));
    }
    return f;
}

// Two runs on one file started together (a double click twice): the second
// waits for the first, so that each position is listed once, with the byte
// the file held before any change, and -u gives back the original.
TEST_F(Undo, TwoRunsAtOnceTakeTheirTurns) {
    for (const LongCase& c : long_cases) {
        SCOPED_TRACE(c.name);
        LongFile f = long_file(c);
        fs::path video = make(c.name, f.original);
        fs::path marker = fs::path(video).replace_extension(".ini");
        fs::remove(marker);
        std::vector<int> codes = run_tool_together({c.name}, dir_.path());
        std::sort(codes.begin(), codes.end());
        EXPECT_EQ(codes, (std::vector<int>{0, 4}));
        // The second finds the file converted from its first shape already.
        EXPECT_TRUE(read_bytes(video) == rewritten(f.original, f.headers, c.target));
        std::string text = marker_positions(read_text(marker));
        EXPECT_EQ(text.find(' '), std::string::npos) << "a line with a changed byte as its original";
        EXPECT_EQ(listed_positions(marker), f.headers);
        EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
        EXPECT_TRUE(read_bytes(video) == f.original);
    }
}

}  // namespace

#ifndef _WIN32
namespace {

std::string target_option(const LongCase& c) {
    return "-o" + std::to_string(c.target);
}


// A run killed half way (Ctrl+C, a crash) leaves only changes its marker
// file records, each listed before its byte changed; a run with the same
// target finishes it, and -u then gives back the original exactly.
TEST_F(Undo, AnInterruptedRunIsFinishedAndUndone) {
    for (const LongCase& c : long_cases) {
        LongFile f = long_file(c);
        const std::vector<int64_t>& all = f.headers;
        fs::path marker = fs::path(dir_ / c.name).replace_extension(".ini");
        for (size_t kill_at : {size_t{1}, all.size() / 4, all.size() * 3 / 4}) {
            SCOPED_TRACE(std::string(c.name) + " killed at write " + std::to_string(kill_at));
            fs::path video = make(c.name, f.original);
            fs::remove(marker);
            int status = run_with_shim(video, target_option(c),
                                       {"MORVALEN_KILL_AT_WRITE=" + std::to_string(kill_at)});
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            // Every header before the killed write changed, none after; the
            // marker already lists the one whose write never happened, and
            // the rest of its batch.
            std::vector<int64_t> done(all.begin(), all.begin() + static_cast<ptrdiff_t>(kill_at - 1));
            EXPECT_TRUE(read_bytes(video) == rewritten(f.original, done, c.target));
            std::vector<int64_t> listed = listed_positions(marker);
            ASSERT_GE(listed.size(), kill_at);
            EXPECT_TRUE(std::equal(listed.begin(), listed.end(), all.begin()));

            RunResult r = run_tool({target_option(c), c.name}, dir_.path());
            EXPECT_EQ(r.exit_code, 0);  // not "nothing to do": the rest still has the old shape
            EXPECT_TRUE(read_bytes(video) == rewritten(f.original, all, c.target));
            r = run_tool({"-u", c.name}, dir_.path());
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_TRUE(read_bytes(video) == f.original);
            EXPECT_FALSE(fs::exists(marker));
        }
    }
}

// A power cut can tear the marker file's last lines before their sync: cut
// short (a position's, a run's target, a grown video's size), or zero bytes where the file system
// had extended it (with lines that reached the disk after them). Those lines are dropped, since the
// bytes they record were never written, and -u or a run that finishes the
// job goes on; the marker is cut back before it grows.
TEST_F(Undo, ATornMarkerTailNeverBlocksTheWayBack) {
    const LongCase& c = long_cases[1];
    LongFile f = long_file(c);
    fs::path marker = fs::path(dir_ / c.name).replace_extension(".ini");
    const std::string torn[] = {"1234", "4567\r", std::string(4096, '\0'),
                                "12" + std::string(3000, '\0') + "\r\n345\r\n", "target=2 0:",
                                std::string(2048, '\0') + "et=3 0:0\r\n345\r\n", "grown=3400 17"};
    for (const std::string& tail : torn) {
        for (bool undo_first : {true, false}) {
            SCOPED_TRACE(std::to_string(tail.size()) + (undo_first ? " undone" : " finished"));
            fs::path video = make(c.name, f.original);
            fs::remove(marker);
            std::string kill = "MORVALEN_KILL_AT_WRITE=" + std::to_string(f.headers.size() / 2);
            run_tool({c.name}, dir_.path(), shim_environment({kill}));
            std::ofstream(marker, std::ios::binary | std::ios::app) << tail;
            if (!undo_first) {
                EXPECT_EQ(run_tool({c.name}, dir_.path()).exit_code, 0);
                EXPECT_TRUE(read_bytes(video) == rewritten(f.original, f.headers, c.target));
                EXPECT_EQ(listed_positions(marker), f.headers);
            }
            EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
            EXPECT_TRUE(read_bytes(video) == f.original);
            EXPECT_FALSE(fs::exists(marker));
        }
    }
}

// A run killed half way leaves the time of the kill on the file: -u, and a
// run that finishes the job, put back the time it had before the first.
TEST_F(Undo, TheTimeBeforeTheFirstChangeComesBack) {
    const LongCase& c = long_cases[2];
    LongFile f = long_file(c);
    fs::path video = make(c.name, f.original);
    fs::file_time_type before = fs::last_write_time(video) - std::chrono::hours(24 * 400);
    for (bool finish_first : {true, false}) {
        SCOPED_TRACE(finish_first ? "finished, then undone" : "undone");
        fs::last_write_time(video, before);
        std::string kill = "MORVALEN_KILL_AT_WRITE=" + std::to_string(f.headers.size() / 2);
        run_tool({c.name}, dir_.path(), shim_environment({kill}));
        EXPECT_NE(fs::last_write_time(video), before);
        if (finish_first) {
            EXPECT_EQ(run_tool({c.name}, dir_.path()).exit_code, 0);
            EXPECT_EQ(fs::last_write_time(video), before);
        }
        EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
        EXPECT_EQ(fs::last_write_time(video), before);
        EXPECT_TRUE(read_bytes(video) == f.original);
    }
}

// The order of a journal, as the preloaded shim logged every write and
// sync: each byte written to the video has its marker line on the disk
// already, the record is synced a few times in a walk, not once a header,
// and the video is synced after its last write. A listing syncs nothing.
TEST_F(Undo, EveryChangeWaitsForItsRecordOnTheDisk) {
    for (const LongCase& c : long_cases) {
        SCOPED_TRACE(c.name);
        LongFile f = long_file(c);
        fs::path video = make(c.name, f.original);
        fs::path marker = fs::path(video).replace_extension(".ini");
        fs::path log = dir_ / "journal.log";
        fs::remove(marker);
        fs::remove(log);
        int status = run_with_shim(video, target_option(c), {"MORVALEN_JOURNAL=" + log.string()});
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        // Where each position's line ends in the marker file.
        std::string text = read_text(marker);
        std::map<int64_t, size_t> line_end;
        for (size_t at = text.find('\n') + 1; at < text.size(); at = text.find('\n', at) + 1) {
            if (std::isdigit(static_cast<unsigned char>(text[at]))) {
                line_end[std::stoll(text.substr(at))] = text.find('\n', at) + 1;
            }
        }
        std::ifstream in(log);
        std::string kind, path;
        size_t marker_written = 0, marker_synced = 0, video_writes = 0, syncs_between_writes = 0;
        bool last_video_synced = false;
        while (in >> kind >> path) {
            int64_t offset = 0;
            size_t count = 0;
            if (kind == "W") in >> offset >> count;
            if (path == marker.string() && kind == "W") {
                marker_written = std::max(marker_written, static_cast<size_t>(offset) + count);
            } else if (path == marker.string()) {
                syncs_between_writes += marker_synced < marker_written && video_writes > 0;
                marker_synced = marker_written;
            } else if (path == video.string() && kind == "W") {
                ++video_writes;
                ASSERT_EQ(line_end.count(offset), 1u) << offset;
                EXPECT_LE(line_end[offset], marker_synced) << "a change before its record: " << offset;
                last_video_synced = false;
            } else if (path == video.string()) {
                last_video_synced = true;
            }
        }
        EXPECT_EQ(video_writes, f.headers.size());
        EXPECT_GE(syncs_between_writes, 1u);  // a batch boundary in mid-walk
        EXPECT_LT(syncs_between_writes, 10u);
        EXPECT_TRUE(last_video_synced);

        fs::remove(log);
        status = run_with_shim(video, "-l", {"MORVALEN_JOURNAL=" + log.string()});
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(read_text(log).find("S "), std::string::npos);
    }
}

// A power cut at a write, with what was never synced thrown away: the
// marker cut back to its last sync, and the video's unsynced writes kept or
// lost. -u then gives back the original, and so do -o and -u after it.
TEST_F(Undo, APowerCutLeavesAWayBack) {
    for (const LongCase& c : long_cases) {
        LongFile f = long_file(c);
        fs::path marker = fs::path(dir_ / c.name).replace_extension(".ini");
        for (size_t cut_at : {size_t{1}, f.headers.size() / 2}) {
            for (const char* keep : {"all", "synced"}) {
                for (bool finish_first : {false, true}) {
                    SCOPED_TRACE(std::string(c.name) + " cut at write " + std::to_string(cut_at) +
                                 ", keeping " + keep + (finish_first ? ", finished" : ""));
                    fs::path video = make(c.name, f.original);
                    fs::remove(marker);
                    int status = run_with_shim(video, target_option(c),
                                               {"MORVALEN_CUT_AT_WRITE=" + std::to_string(cut_at),
                                                std::string("MORVALEN_CUT_KEEP=") + keep});
                    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
                    if (finish_first) {
                        EXPECT_EQ(run_tool({target_option(c), c.name}, dir_.path()).exit_code, 0);
                        EXPECT_TRUE(read_bytes(video) == rewritten(f.original, f.headers, c.target));
                    }
                    EXPECT_EQ(run_tool({"-u", c.name}, dir_.path()).exit_code, 0);
                    EXPECT_TRUE(read_bytes(video) == f.original);
                    EXPECT_FALSE(fs::exists(marker));
                }
            }
        }
    }
}

}  // namespace
#endif
