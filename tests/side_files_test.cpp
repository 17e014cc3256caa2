#include <gtest/gtest.h>

#include <cstring>

#include "edit/side_files.h"
#include "support.h"

namespace {

std::string side(const std::string& path, const char* extension = marker_extension) {
    return side_path(path.c_str(), extension);
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

TEST(SidePath, MultibyteNamesHideNoDot) {
    // UTF-8 bytes 0x81 to 0x9F inside テ, ス, ト and 第 are no lead bytes here:
    // every '.' and '/' is one.
    EXPECT_EQ(side("テスト.mpg"), "テスト.ini");
    EXPECT_EQ(side("Vol.1 テスト.mpg"), "Vol.1 テスト.ini");
    EXPECT_EQ(side("Vol.2 テスト.mpg", list_extension), "Vol.2 テスト.txt");
    EXPECT_EQ(side("第1話.v2.m2v"), "第1話.v2.ini");
    EXPECT_EQ(side("録画.d/テスト"), "録画.d/テスト.ini");
    EXPECT_EQ(side("한국 드라마.mpg"), "한국 드라마.ini");
}

TEST(SidePath, TheWholePathCountsHoweverLong) {
    std::string deep = std::string(3000, 'd') + "/" + std::string(150, 'n') + ".mpg";
    EXPECT_EQ(side(deep), deep.substr(0, deep.size() - 4) + ".ini");
}

TEST(ListLine, FormatsPositionBytesAndFlag) {
    char out[list_line_capacity] = {};
    const uint8_t same[8] = {0x2d, 0x01, 0xe0, 0x24, 0x2d, 0x01, 0xe0, 0x24};
    format_list_line(out, 2092, same);
    EXPECT_STREQ(out, "        2092 0000082c 2d 01 e0 24 (-)");
    const uint8_t differ[8] = {0x2d, 0x01, 0xe0, 0x24, 0x07, 0xc0, 0x80, 0x24};
    format_list_line(out, 0x123456789aULL, differ);
    EXPECT_STREQ(out, " 78187493530 123456789a 2d 01 e0 24 (*)");
}

// The list file is opened without emptying it, and emptied only when it is
// not the video itself.
TEST(ListFile, OnlyItsOwnListIsReplacedAndNeverTheVideo) {
    ScratchDir dir;
    fs::path video_path = dir / "movie.mpg";
    write_bytes(video_path, Bytes(100, 'v'));
    FileHandleRec video = {os_invalid_handle, 0, 0};
    ASSERT_EQ(file_open(&video, video_path.string().c_str(), generic_read), 0);
    ListFileRec* list = new ListFileRec;

    fs::path list_path = dir / "movie.txt";
    std::string older = "movie.mpg sequence header list\r\n        2092 0000082c 2d 01 e0 24 (-)\r\n";
    write_bytes(list_path, Bytes(older.begin(), older.end()));
    ASSERT_EQ(list_file_create(list, list_path.string().c_str(), &video), list_created);
    list_write_header(list, "movie.mpg");
    EXPECT_EQ(read_text(list_path), older);  // until the list is whole
    EXPECT_EQ(list_file_finish(list), 0);
    EXPECT_EQ(read_text(list_path), "movie.mpg sequence header list\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    // The user's notes under that name: not a list of the tool's.
    for (const char* notes : {"notes\r\n", "", "movie.mpg sequence header list"}) {
        write_bytes(list_path, Bytes(notes, notes + std::strlen(notes)));
        EXPECT_EQ(list_file_create(list, list_path.string().c_str(), &video), list_not_ours) << notes;
        EXPECT_EQ(read_text(list_path), notes);
    }
    std::string same = (dir / "." / "movie.mpg").string();
    EXPECT_EQ(list_file_create(list, same.c_str(), &video), list_is_video);
    EXPECT_EQ(fs::file_size(video_path), 100u);
    EXPECT_EQ(list_file_create(list, (dir / "none" / "movie.txt").string().c_str(), &video), list_not_made);
    EXPECT_EQ(list_file_finish(list), 1);
    file_close(&video);
    delete list;
}

TEST(ListFile, NamesThatCodePage932CannotHoldBecomeQuestionMarks) {
    ScratchDir dir;
    fs::path list_path = dir / "l.txt";
    FileHandleRec video = {os_invalid_handle, 0, 0};
    write_bytes(dir / "v.mpg", {0});
    ASSERT_EQ(file_open(&video, (dir / "v.mpg").string().c_str(), generic_read), 0);
    ListFileRec* list = new ListFileRec;
    ASSERT_EQ(list_file_create(list, list_path.string().c_str(), &video), list_created);
    list_write_header(list, "Café テスト 한국.mpg");
    list_file_finish(list);
    EXPECT_EQ(read_text(list_path), console_bytes("Caf? テスト ??.mpg sequence header list\n"));
    file_close(&video);
    delete list;
}

}  // namespace
