#include <gtest/gtest.h>

#include <chrono>

#include "cli/command_line.h"
#include "jobs/batch.h"
#include "run/file_run.h"
#include "support.h"

namespace {

TEST(OOption, ArithmeticOnTheThirdAndFourthCharacters) {
    const std::pair<const char*, int32_t> cases[] = {
        {"-o15", 15}, {"-o16", 16}, {"-o123", 12}, {"-o05", 5}, {"-o3", 3},
        {"-o1x", 82}, {"-o", -48},  {"-oa", 49},   {"-o\x82", -174},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(target_option_parse(text).code, expected) << text;
}

TEST(OOption, OnlyDigitsNameACode) {
    for (const char* text : {"-o15", "-o3", "-o05", "-o123", "-o1x9"}) {
        EXPECT_EQ(target_option_parse(text).digits, std::string(text) != "-o1x9") << text;
    }
    for (const char* text : {"-o1.", "-o1x", "-o", "-oa", "-o.5", "-o\x82"}) {
        EXPECT_FALSE(target_option_parse(text).digits) << text;
    }
}

// A platform whose opens fail a set number of times and whose waits cost
// nothing, counted.
struct FakePlatform {
    static uint32_t failures_left;
    static uint32_t opens;
    static uint32_t sleeps;
    static uint32_t locks_held;
    static uint32_t closes;
    static bool refuse;
    static int open(FileHandleRec* file, const char*, uint32_t) {
        ++opens;
        if (refuse) return file_open_refused;
        if (failures_left > 0) {
            --failures_left;
            file->handle = os_invalid_handle;
            return 1;
        }
        file->handle = 42;
        return 0;
    }
    static int lock(FileHandleRec*) {
        if (locks_held == 0) return 0;
        --locks_held;
        return 1;
    }
    static int close(FileHandleRec* file) {
        ++closes;
        file->handle = os_invalid_handle;
        return 0;
    }
    static void sleep(uint32_t ms) {
        EXPECT_EQ(ms, 50u);
        ++sleeps;
    }
    static void reset(uint32_t failures, bool refusing = false, uint32_t locked = 0) {
        refuse = refusing;
        failures_left = failures;
        locks_held = locked;
        opens = 0;
        closes = 0;
        sleeps = 0;
    }
};
uint32_t FakePlatform::failures_left = 0;
uint32_t FakePlatform::opens = 0;
uint32_t FakePlatform::sleeps = 0;
uint32_t FakePlatform::locks_held = 0;
uint32_t FakePlatform::closes = 0;
bool FakePlatform::refuse = false;

const OpenRetryOps fake_ops = {FakePlatform::open, FakePlatform::lock, FakePlatform::close,
                               FakePlatform::sleep};

TEST(OpeningLoop, OpensAtTheFourthAttempt) {
    FakePlatform::reset(3);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 99;
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_paced, &failed), 0);
    EXPECT_EQ(failed, 3u);
    EXPECT_EQ(FakePlatform::opens, 4u);
    EXPECT_EQ(FakePlatform::sleeps, 5u);  // one wait before each attempt, one after
    EXPECT_EQ(file.handle, 42);
}

TEST(OpeningLoop, GivesUpAfterExactly1001Attempts) {
    FakePlatform::reset(1000000);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_paced, &failed), 1);
    EXPECT_EQ(failed, 1001u);
    EXPECT_EQ(FakePlatform::opens, 1001u);
    EXPECT_EQ(FakePlatform::sleeps, 1002u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(OpeningLoop, ARefusalIsNotWaitedFor) {
    FakePlatform::reset(0, true);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 0;
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_paced, &failed), 2);
    EXPECT_EQ(FakePlatform::opens, 1u);
    EXPECT_EQ(failed, 0u);
}

// Another run of the tool holds the file: it is waited for as any holder,
// and the handle of each attempt that found it locked is closed again.
TEST(OpeningLoop, AnotherRunsLockIsWaitedFor) {
    FakePlatform::reset(0, false, 3);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 0;
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_paced, &failed), 0);
    EXPECT_EQ(failed, 3u);
    EXPECT_EQ(FakePlatform::closes, 3u);
    EXPECT_EQ(file.handle, 42);
    FakePlatform::reset(0, false, 1000000);
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_paced, &failed), 4);
    EXPECT_EQ(failed, 1001u);
    EXPECT_EQ(FakePlatform::closes, 1001u);
}

// In a run over many files, a file that opens at once costs no wait; one
// that does not is waited for as a file alone is.
TEST(OpeningLoop, ABatchWaitsOnlyForAFileThatDoesNotOpenAtOnce) {
    FakePlatform::reset(0);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 0;
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_at_once, &failed), 0);
    EXPECT_EQ(FakePlatform::sleeps, 0u);
    FakePlatform::reset(3);
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_at_once, &failed), 0);
    EXPECT_EQ(failed, 3u);
    EXPECT_EQ(FakePlatform::sleeps, 4u);  // before each of the three retries, and once after
}

TEST(OpeningLoop, LastChanceAttemptSucceeds) {
    FakePlatform::reset(1000);
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 0;
    EXPECT_EQ(open_with_retries(&file, "x", &fake_ops, open_paced, &failed), 0);
    EXPECT_EQ(failed, 1000u);
}

TEST(CommandLineScan, OptionsBeforeTheFirstNameAndNamesAfterIt) {
    ScratchDir dir;
    write_bytes(dir / "movie.mpg", {0});
    write_bytes(dir / "-dash.mpg", {0});
    std::string movie = (dir / "movie.mpg").string();
    std::string dash = (dir / "-dash.mpg").string();
    std::vector<std::string> args = {"morvalencmd", "-list", "-o3", "absent.mpg", "-o7", movie, dash, "-r"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    CommandLine line;
    EXPECT_EQ(command_line_scan(static_cast<int>(argv.size()), argv.data(), &line), 0);
    // Options after a name are not applied, but the first is kept to refuse.
    EXPECT_EQ(line.request.mode, mode_list);
    EXPECT_FALSE(line.request.resync);
    EXPECT_TRUE(line.request.target.given && line.request.target.digits);
    EXPECT_EQ(line.request.target.code, 3);
    EXPECT_EQ(line.request.target.text, "-o3");
    EXPECT_EQ(line.request.set_target, -1);
    EXPECT_FALSE(line.undo_conflict);
    EXPECT_STREQ(line.late_option, "-o7");
    ASSERT_EQ(line.name_count, 3);
    EXPECT_STREQ(line.names[0], "absent.mpg");
    EXPECT_STREQ(line.names[1], movie.c_str());
    EXPECT_STREQ(line.names[2], dash.c_str());  // an existing file, not an option
}

// -u wins the mode over -l, and either -l or -o beside it is a conflict;
// the latest -o is the one kept.
TEST(CommandLineScan, TheModeTheTargetAndTheirConflict) {
    struct Case {
        std::vector<std::string> options;
        RequestMode mode;
        bool resync;
        const char* target;  // null: none given
        bool conflict;
    } cases[] = {
        {{}, mode_convert, false, nullptr, false},
        {{"-r", "-o12", "-o3x"}, mode_convert, true, "-o3x", false},
        {{"-u", "-r"}, mode_undo, true, nullptr, false},
        {{"-c", "-o3"}, mode_convert, false, "-o3", false},
        {{"-l", "-u"}, mode_undo, false, nullptr, true},
        {{"-u", "-o2"}, mode_undo, false, "-o2", true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"morvalencmd"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("absent.mpg");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        CommandLine line;
        command_line_scan(static_cast<int>(argv.size()), argv.data(), &line);
        SCOPED_TRACE(testing::PrintToString(c.options));
        EXPECT_EQ(line.request.mode, c.mode);
        EXPECT_EQ(line.request.resync, c.resync);
        EXPECT_EQ(line.request.container_only, c.options.size() > 0 && c.options[0] == "-c");
        EXPECT_EQ(line.request.target.given, c.target != nullptr);
        EXPECT_EQ(line.request.target.text, c.target != nullptr ? c.target : "");
        EXPECT_EQ(line.undo_conflict, c.conflict);
    }
}

// No length of its own: a name the file system takes is taken.
TEST(CommandLineScan, LongNamesAreTaken) {
    ScratchDir dir;
    fs::path deep = dir.path();
    while (path_utf8(deep).size() < 600) deep /= utf8_path(std::string(20, 'd') + "録画");
    fs::create_directories(deep);
    fs::path file = deep / utf8_path("第1話.mpg");
    write_bytes(file, {0});
    std::string name = path_utf8(file);
    ASSERT_GT(name.size(), 600u);
    std::vector<std::string> args = {"morvalencmd", name};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    CommandLine line;
    EXPECT_EQ(command_line_scan(2, argv.data(), &line), 0);
    std::string path;
    EXPECT_TRUE(name_resolve(line.names[0], &path));
}

}  // namespace
