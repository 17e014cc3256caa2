#include <gtest/gtest.h>

#include "cli/summary.h"

namespace {

std::string size_text(int64_t n) {
    char text[size_text_capacity] = {};
    format_size_text(n, text);
    return text;
}

std::string duration_text(double seconds) {
    char text[duration_text_capacity] = {};
    format_duration_text(seconds, text);
    return text;
}

TEST(SizeText, GroupsOfThreeFromTheRight) {
    EXPECT_EQ(size_text(0), "0");
    EXPECT_EQ(size_text(999), "999");
    EXPECT_EQ(size_text(1000), "1,000");
    EXPECT_EQ(size_text(123456), "123,456");
    EXPECT_EQ(size_text(1234567), "1,234,567");
    EXPECT_EQ(size_text(4700000000LL), "4,700,000,000");
    EXPECT_EQ(size_text(999999999999999LL), "999,999,999,999,999");
}

TEST(DurationText, HoursMinutesSecondsMilliseconds) {
    EXPECT_EQ(duration_text(0), "0:00:00.000");
    EXPECT_EQ(duration_text(3723.5), "1:02:03.500");
    EXPECT_EQ(duration_text(59.25), "0:00:59.250");
    EXPECT_EQ(duration_text(36000), "10:00:00.000");
    EXPECT_EQ(duration_text(0.1234567), "0:00:00.123");
    EXPECT_EQ(duration_text(0.9999996), "0:00:00.000");  // no carry into seconds
    EXPECT_EQ(duration_text(47721.858), "13:15:21.858");
}

TEST(SummaryLine, AllFieldsInOrder) {
    MpegSummary summary = {};
    summary.mpeg_version = 2;
    summary.horizontal_size = 720;
    summary.vertical_size = 480;
    summary.frame_rate_code = 4;
    summary.bit_rate_value = 2500;
    summary.duration_sec = 3723.5;
    summary.file_size = 4700000000LL;
    char line[512] = {};
    format_summary_line(&summary, line);
    EXPECT_STREQ(line, "MPEG-2 720x480 29.97fps 1000.00kbps 1:02:03.500 4,700,000,000");

    summary = {};
    summary.mpeg_version = 1;
    summary.file_size = 5;
    format_summary_line(&summary, line);
    EXPECT_STREQ(line, "MPEG-1 0x0 forbidden(0)fps 0.00kbps 0:00:00.000 5");
}

}  // namespace
