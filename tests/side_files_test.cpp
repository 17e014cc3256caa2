#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "rewrite/side_files.h"
#include "support.h"

namespace {

std::string side(const std::string& path, const char* extension = marker_extension) {
    char out[side_path_capacity] = {};
    EXPECT_EQ(make_side_path(path.c_str(), extension, out), 0) << path;
    return out;
}

TEST(SidePath, ReplacesOnlyTheLastComponentsExtension) {
    EXPECT_EQ(side("D:\\video\\movie.mpg"), "D:\\video\\movie.ini");
    EXPECT_EQ(side("D:\\video\\movie.mpg", list_extension), "D:\\video\\movie.txt");
    EXPECT_EQ(side("movie"), "movie.ini");
    EXPECT_EQ(side("a.b.mpg"), "a.b.ini");
    EXPECT_EQ(side("dir.x/movie"), "dir.x/movie.ini");
    EXPECT_EQ(side("dir.x\\movie"), "dir.x\\movie.ini");
    EXPECT_EQ(side("../rel/movie.m2v"), "../rel/movie.ini");
    EXPECT_EQ(side("C:movie.mpg"), "C:movie.ini");
}

TEST(SidePath, DoubleByteTrailIsNoSeparator) {
    // "表.d\x95\x5C" is a name whose last character ends in the byte 0x5C:
    // the '.' before it still starts the extension of the same component.
    EXPECT_EQ(side("x.y\\\x95\x5C.mpg"), "x.y\\\x95\x5C.ini");
    EXPECT_EQ(side("\x83\x5C.mpg"), "\x83\x5C.ini");
    EXPECT_EQ(side("dir.d\\\x83\x5C"), "dir.d\\\x83\x5C.ini");
    EXPECT_EQ(side("a.b\x83\x5C" "c"), "a.ini");
}

TEST(SidePath, TheWholePathCountsAndMustFit) {
    std::string deep = std::string(300, 'd') + "/" + std::string(150, 'n') + ".mpg";
    EXPECT_EQ(side(deep), deep.substr(0, deep.size() - 4) + ".ini");
    char out[side_path_capacity] = {};
    std::string longest = std::string(507, 'n');  // 507 + ".ini" leaves room for the end
    EXPECT_EQ(make_side_path(longest.c_str(), marker_extension, out), 0);
    std::string too_long = std::string(508, 'n');
    EXPECT_EQ(make_side_path(too_long.c_str(), marker_extension, out), 1);
}

TEST(SideNames, SameByThePlatformRule) {
    EXPECT_TRUE(side_names_same("movie.txt", "movie.txt"));
    EXPECT_FALSE(side_names_same("movie.txt", "movie.txt2"));
    EXPECT_EQ(side_names_same("movie.TXT", "movie.txt"), os_names_ignore_case);
}

TEST(ListLine, FormatsPositionBytesAndFlag) {
    char out[side_path_capacity] = {};
    const uint8_t same[8] = {0x2d, 0x01, 0xe0, 0x24, 0x2d, 0x01, 0xe0, 0x24};
    format_list_line(out, 2092, same);
    EXPECT_STREQ(out, "        2092 0000082c 2d 01 e0 24 (-)");
    const uint8_t differ[8] = {0x2d, 0x01, 0xe0, 0x24, 0x07, 0xc0, 0x80, 0x24};
    format_list_line(out, 0x123456789aULL, differ);
    EXPECT_STREQ(out, " 78187493530 123456789a 2d 01 e0 24 (*)");
}

TEST(SideFiles, MarkerAndListContents) {
    ScratchDir dir;
    fs::path marker_path = dir / "m.ini";
    std::FILE* marker = side_file_create(marker_path.string().c_str());
    ASSERT_NE(marker, nullptr);
    marker_write_first(marker, 0x24);
    marker_write_position(marker, 2092);
    marker_write_position(marker, 4294967296LL);
    side_file_close(marker);
    EXPECT_EQ(read_text(marker_path), "36\r\n2092\r\n4294967296\r\n");

    fs::path list_path = dir / "m.txt";
    write_bytes(list_path, Bytes(100, 'x'));  // replaced, not appended to
    std::FILE* list = side_file_create(list_path.string().c_str());
    ASSERT_NE(list, nullptr);
    list_write_header(list, "m.mpg");
    list_write_line(list, "line");
    side_file_close(list);
    EXPECT_EQ(read_text(list_path), "m.mpg sequence header list\r\nline\r\n");
}

}  // namespace
