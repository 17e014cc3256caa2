#include <gtest/gtest.h>

#include "cli/progress.h"
#include "support.h"

namespace {

// A packet walk at `percent` of a 1,000,000-byte file after `elapsed` ms.
std::string line_at(double percent, uint32_t elapsed_ms, const char* list_line = nullptr) {
    ProgressInput input = {walk_packets, 0, static_cast<int64_t>(percent * 10000), 1000000,
                           0xFFFFF000u, 0xFFFFF000u + elapsed_ms, list_line};
    char line[progress_text_capacity] = {};
    progress_line_build(&input, line);
    return line;
}

TEST(Progress, RemainingTimeTexts) {
    // At 50 percent the remaining time equals the elapsed time.
    EXPECT_EQ(line_at(50, 59000), cp932("処理中(50%) 経過/残り時間 0:59/約59秒"));
    EXPECT_EQ(line_at(50, 60000), cp932("処理中(50%) 経過/残り時間 1:00/約2分"));
    EXPECT_EQ(line_at(50, 119000), cp932("処理中(50%) 経過/残り時間 1:59/約2分"));
    EXPECT_EQ(line_at(50, 120000), cp932("処理中(50%) 経過/残り時間 2:00/約3分"));
    EXPECT_EQ(line_at(100, 4505000), cp932("処理中(100%) 経過/残り時間 75:05/約0秒"));
}

TEST(Progress, NoEstimateUpToOnePercent) {
    EXPECT_EQ(line_at(1.0, 5000), cp932("処理中(1%) "));
    EXPECT_EQ(line_at(0.5, 5000), cp932("処理中(0%) "));
}

TEST(Progress, PercentIsTruncated) {
    EXPECT_EQ(line_at(99.9, 0), cp932("処理中(99%) 経過/残り時間 0:00/約0秒"));
}

TEST(Progress, LinearScanMeasuresByTheHeaderPosition) {
    ProgressInput input = {walk_linear, 250000, 999999, 1000000, 0, 0, nullptr};
    char line[progress_text_capacity] = {};
    progress_line_build(&input, line);
    EXPECT_EQ(std::string(line), cp932("処理中(25%) 経過/残り時間 0:00/約0秒"));
}

TEST(Progress, ListModeAppendsTheListLine) {
    EXPECT_EQ(line_at(0, 0, "LIST"), cp932("処理中(0%)  LIST"));
}

}  // namespace
