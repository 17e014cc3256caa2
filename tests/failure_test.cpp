// The run on damaged or unwritable ground: reads that fail or end early,
// disks that fill up, files and folders that cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "reference_demux.h"
#include "streams.h"
#include "support.h"

#ifndef _WIN32
#include <unistd.h>

namespace {

std::set<int64_t> listed_positions(const std::string& text) {
    std::string marker = marker_positions(text);
    std::set<int64_t> positions;
    size_t line = marker.find("\r\n");
    while (line != std::string::npos && line + 2 < marker.size()) {
        positions.insert(std::stoll(marker.substr(line + 2)));
        line = marker.find("\r\n", line + 2);
    }
    return positions;
}

Bytes repeated(const Bytes& bytes, size_t at_least) {
    Bytes out;
    while (out.size() < at_least) out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

// An elementary stream with a sequence header every `spacing` bytes.
Bytes dense_elementary_stream(size_t headers, size_t spacing) {
    Bytes one = ntsc_4x3 + sequence_extension + filler(spacing - 22);
    return repeated(one, headers * spacing);
}

class Failures : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args, const std::string& environment = "LC_ALL=C") {
        return run_tool(args, dir_.path(), environment);
    }
    bool contains(const RunResult& r, const std::string& utf8) {
        return r.out.find(cp932(utf8)) != std::string::npos;
    }
    ScratchDir dir_;
};

// Each kind of file, cut off by a bad sector or a shortened file in the
// middle: the walk stops with an error, every header before the fault is
// rewritten and recorded, nothing after it is touched.
TEST_F(Failures, AReadThatComesUpShortStopsTheWalk) {
    struct Case {
        const char* sample;
        const char* name;
    } cases[] = {{"dvd_ntsc_4x3.mpg", "ps.mpg"}, {"es_mpeg2_16x9.m2v", "es.m2v"}, {"ts_sd_4x3.ts", "ts.ts"}};
    const int64_t fault = 2621440 + 1000;  // past the head window, before the tail
    for (const Case& c : cases) {
        for (const char* mode : {"", "MORVALEN_FAULT_SHORT=1 "}) {
            SCOPED_TRACE(std::string(c.name) + " " + mode);
            Bytes original = repeated(read_bytes(sample_path(c.sample)), 4 * 1048576);
            write_bytes(dir_ / c.name, original);
            fs::remove(fs::path(dir_ / c.name).replace_extension(".ini"));
            RunResult r = run({c.name}, std::string("LC_ALL=C ASAN_OPTIONS=verify_asan_link_order=0 ") + mode +
                                            "MORVALEN_FAULT_AT=" + std::to_string(fault) +
                                            " LD_PRELOAD=" FAULT_SHIM_PATH);
            EXPECT_EQ(r.exit_code, 6);
            EXPECT_TRUE(contains(r, "読み込みエラー: 位置")) << r.out;
            EXPECT_TRUE(contains(r, "\r\nファイルの読み込みに失敗しました\r\nエラー終了(-9)\r\n"));
            Bytes after = read_bytes(dir_ / c.name);
            std::set<int64_t> listed = listed_positions(read_text(fs::path(dir_ / c.name).replace_extension(".ini")));
            EXPECT_EQ(changed_positions(original, after), listed);
            ASSERT_FALSE(listed.empty());
            EXPECT_LT(*listed.rbegin(), fault);
            EXPECT_GT(*listed.rbegin(), fault - 1048576);
        }
    }
}

// The aspect bytes of the first `count` headers of dense_elementary_stream's
// stream, 100 bytes apart: what a run stopped at a write has changed, where
// its writes may each hold one place or several a few bytes apart.
std::set<int64_t> first_headers(size_t count) {
    std::set<int64_t> positions;
    for (size_t k = 0; k < count; ++k) positions.insert(7 + 100 * static_cast<int64_t>(k));
    return positions;
}

// A change that fails to be written (made on the committer thread) stops
// the run with its error; every change made is recorded, none after the
// failed one is made, and the undo gives the original back.
TEST_F(Failures, AChangeThatCannotBeWrittenStopsTheRunAndIsUndone) {
    Bytes original = dense_elementary_stream(5000, 100);
    write_bytes(dir_ / "v.m2v", original);
    RunResult r = run({"v.m2v"}, "LC_ALL=C ASAN_OPTIONS=verify_asan_link_order=0 MORVALEN_FAIL_AT_WRITE=3 "
                                 "LD_PRELOAD=" FAULT_SHIM_PATH);
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(contains(r, "アスペクト情報の書き換えに失敗しました\r\nエラー終了(-7)")) << r.out;
    std::set<int64_t> changed = changed_positions(original, read_bytes(dir_ / "v.m2v"));
    std::set<int64_t> listed = listed_positions(read_text(dir_ / "v.ini"));
    ASSERT_GE(changed.size(), 2u);  // those of the first two writes at the least
    EXPECT_LT(changed.size(), 5000u);
    EXPECT_EQ(changed, first_headers(changed.size()));
    EXPECT_TRUE(std::includes(listed.begin(), listed.end(), changed.begin(), changed.end()));
    EXPECT_EQ(run({"-u", "v.m2v"}).exit_code, 0);
    EXPECT_TRUE(read_bytes(dir_ / "v.m2v") == original);
}

// Another program cuts the file shorter while its changes are being
// written: no change is made past the new end, which would grow the file
// back with zeros; the run says where it was cut and ends as a short read
// does. The undo puts back every change made before the cut and reports
// the positions recorded past it as missing.
TEST_F(Failures, AFileCutShorterDuringTheRewriteIsNeverGrown) {
    Bytes original = dense_elementary_stream(3000, 100);  // one batch of changes, at the end
    write_bytes(dir_ / "v.m2v", original);
    RunResult r = run({"v.m2v"}, "LC_ALL=C ASAN_OPTIONS=verify_asan_link_order=0 MORVALEN_TRUNCATE_AFTER_WRITE=2 "
                                 "MORVALEN_TRUNCATE_TO=150000 LD_PRELOAD=" FAULT_SHIM_PATH);
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(contains(r, "ファイルが150000バイトに短くなっていた"));
    Bytes after = read_bytes(dir_ / "v.m2v");
    ASSERT_EQ(after.size(), 150000u);
    Bytes cut(original.begin(), original.begin() + 150000);
    std::set<int64_t> changed = changed_positions(cut, after);
    // The headers before the cut, up to the write that would have reached
    // past it (which holds one place, or several a few bytes apart).
    ASSERT_GE(changed.size(), 2u);
    EXPECT_LE(changed.size(), 1500u);
    EXPECT_EQ(changed, first_headers(changed.size()));
    std::set<int64_t> listed = listed_positions(read_text(dir_ / "v.ini"));
    EXPECT_TRUE(std::includes(listed.begin(), listed.end(), changed.begin(), changed.end()));
    EXPECT_EQ(run({"-u", "v.m2v"}).exit_code, 8);
    EXPECT_TRUE(read_bytes(dir_ / "v.m2v") == cut);
}

class FullDisk : public Failures {
protected:
    void SetUp() override {
        disk_ = std::make_unique<TmpfsMount>(dir_ / "disk", "1m");
        if (!disk_->mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
        original_ = dense_elementary_stream(5000, 100);
        write_bytes(dir_ / "disk" / "v.m2v", original_);
    }
    std::unique_ptr<TmpfsMount> disk_;
    Bytes original_;
};

TEST_F(FullDisk, AMarkerFileThatCannotBeStartedChangesNothing) {
    disk_->fill(0);
    RunResult r = run({"disk/v.m2v"});
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(contains(r, "iniファイルの書き込みに失敗しました\r\nエラー終了(-10)"));
    EXPECT_TRUE(read_bytes(dir_ / "disk" / "v.m2v") == original_);
    EXPECT_FALSE(fs::exists(dir_ / "disk" / "v.ini"));  // a later run can still record
}

TEST_F(FullDisk, AMarkerFileThatFillsUpStopsBeforeTheUnrecordedChange) {
    disk_->fill(4096);
    RunResult r = run({"disk/v.m2v"});
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(contains(r, "iniファイルの書き込みに失敗しました\r\nエラー終了(-10)"));
    std::string marker = read_text(dir_ / "disk" / "v.ini");
    EXPECT_EQ(marker.substr(marker.size() - 2), "\r\n");  // no half line
    // Records go out a batch at a time: the batch that found the disk full
    // made no change at all.
    std::set<int64_t> listed = listed_positions(marker);
    EXPECT_LT(listed.size(), 5000u);
    EXPECT_EQ(changed_positions(original_, read_bytes(dir_ / "disk" / "v.m2v")), listed);
}

TEST_F(FullDisk, AListFileThatFillsUpStopsTheListing) {
    disk_->fill(4096);
    RunResult r = run({"-l", "disk/v.m2v"});
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_TRUE(contains(r, "リストファイルの書き込みに失敗しました\r\nエラー終了(-11)"));
    EXPECT_TRUE(read_bytes(dir_ / "disk" / "v.m2v") == original_);
}

// A file that can never be opened for writing: a read-only file system
// when the tests run as root (root writes through any permission), a file
// and folder without write permission otherwise.
class ReadOnly : public Failures {
protected:
    void SetUp() override {
        original_ = read_bytes(sample_path("dvd_ntsc_4x3.mpg"));
        disc_ = std::make_unique<TmpfsMount>(dir_ / "disc", "4m");
        write_bytes(dir_ / "disc" / "v.mpg", original_);
        if (disc_->mounted()) {
            ASSERT_TRUE(disc_->read_only());
        } else {
            fs::permissions(dir_ / "disc" / "v.mpg", fs::perms::owner_read);
            fs::permissions(dir_ / "disc", fs::perms::owner_read | fs::perms::owner_exec);
        }
    }
    void TearDown() override {
        if (!disc_->mounted()) fs::permissions(dir_ / "disc", fs::perms::owner_all);
    }
    std::unique_ptr<TmpfsMount> disc_;
    Bytes original_;
};

TEST_F(ReadOnly, ARewriteStopsAtOnce) {
    auto start = std::chrono::steady_clock::now();
    RunResult r = run({"disc/v.mpg"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));  // not 50 s
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_TRUE(contains(r, "ファイルに書き込めません(読み取り専用か、書き込みの権限がありません)\r\n"));
    EXPECT_TRUE(read_bytes(dir_ / "disc" / "v.mpg") == original_);
}

TEST_F(ReadOnly, AListingStillReachesTheConsole) {
    RunResult r = run({"-l", "disc/v.mpg"});
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_NE(r.out.find("        2092 0000082c 2d 01 e0 24 (-)"), std::string::npos) << r.out;
    EXPECT_TRUE(contains(r, "リストファイルの書き込みに失敗しました\r\nエラー終了(-11)"));
    EXPECT_FALSE(fs::exists(dir_ / "disc" / "v.txt"));
}

}  // namespace
#endif
