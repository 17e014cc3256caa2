#include <gtest/gtest.h>

#include "fileio/fileio.h"
#include "support.h"

namespace {

FileHandleRec closed_record() {
    return FileHandleRec{os_invalid_handle, 0, -7};
}

TEST(FileOpen, MissingFileFailsAndLeavesSizeAlone) {
    ScratchDir dir;
    FileHandleRec file = closed_record();
    EXPECT_EQ(file_open(&file, (dir / "missing.mpg").string().c_str(), generic_read), file_open_missing);
    EXPECT_EQ(file.size, -7);
    EXPECT_EQ(file.handle, os_invalid_handle);
}

TEST(FileOpen, NeverCreatesOrTruncates) {
    ScratchDir dir;
    fs::path name = dir / "video.mpg";
    FileHandleRec file = closed_record();
    EXPECT_EQ(file_open(&file, name.string().c_str(), generic_read | generic_write), file_open_missing);
    EXPECT_FALSE(fs::exists(name));
    write_bytes(name, {1, 2, 3});
    ASSERT_EQ(file_open(&file, name.string().c_str(), generic_read | generic_write), 0);
    EXPECT_EQ(file.size, 3);
    file_close(&file);
    EXPECT_EQ(read_bytes(name), (Bytes{1, 2, 3}));
}

TEST(FileOpen, LargeSparseFilesReportTheirFullSize) {
    ScratchDir dir;
    const std::pair<const char*, uintmax_t> cases[] = {
        {"two_gib.bin", 2147483648u},              // exactly 2^31: must not turn negative
        {"over_four_gib.bin", 4294967296u + 4097}, // needs the high half
    };
    for (const auto& [name, size] : cases) {
        fs::path path = dir / name;
        write_bytes(path, {});
        fs::resize_file(path, size);
        FileHandleRec file = closed_record();
        ASSERT_EQ(file_open(&file, path.string().c_str(), generic_read), 0);
        EXPECT_EQ(file.size, static_cast<int64_t>(size)) << name;
        EXPECT_EQ(file_seek(&file, 0, file_end), static_cast<int64_t>(size)) << name;
        EXPECT_EQ(file_seek(&file, -1, file_end), static_cast<int64_t>(size) - 1) << name;
        uint8_t byte = 0xAA;
        EXPECT_EQ(file_read(&file, &byte, 1), 1u);
        EXPECT_EQ(byte, 0);
        EXPECT_EQ(file.position, static_cast<int64_t>(size));
        file_close(&file);
    }
}

TEST(FileLayer, PositionFollowsSeeksAndReadsButNotWrites) {
    ScratchDir dir;
    fs::path path = dir / "data.bin";
    write_bytes(path, {10, 11, 12, 13, 14, 15, 16, 17});
    FileHandleRec file = closed_record();
    ASSERT_EQ(file_open(&file, path.string().c_str(), generic_read | generic_write), 0);

    uint8_t buffer[8] = {};
    EXPECT_EQ(file_seek(&file, 2, file_begin), 2);
    EXPECT_EQ(file_read(&file, buffer, 4), 4u);
    EXPECT_EQ(buffer[0], 12);
    EXPECT_EQ(file.position, 6);
    EXPECT_EQ(file_seek(&file, -3, file_current), 3);
    EXPECT_EQ(file.position, 3);

    uint8_t value = 0x99;
    EXPECT_EQ(file_write(&file, &value, 1), 1u);
    EXPECT_EQ(file.position, 3);  // the layer does not follow a write

    EXPECT_EQ(file_seek(&file, 0, file_end), 8);
    EXPECT_EQ(file_read(&file, buffer, 4), 0u);
    EXPECT_EQ(file.position, 8);
    EXPECT_EQ(file_close(&file), 0);
    EXPECT_EQ(read_bytes(path), (Bytes{10, 11, 12, 0x99, 14, 15, 16, 17}));
}

TEST(FileLayer, RefusedSeekKeepsThePosition) {
    ScratchDir dir;
    fs::path path = dir / "data.bin";
    write_bytes(path, {1, 2, 3, 4});
    FileHandleRec file = closed_record();
    ASSERT_EQ(file_open(&file, path.string().c_str(), generic_read), 0);
    file_seek(&file, 2, file_begin);
    EXPECT_EQ(file_seek(&file, -10, file_current), 2);
    EXPECT_EQ(file.position, 2);
    file_close(&file);
}

TEST(FileLayer, TwoHandlesShareOneFile) {
    ScratchDir dir;
    fs::path path = dir / "data.bin";
    write_bytes(path, {1, 2, 3, 4});
    FileHandleRec writer = closed_record();
    FileHandleRec reader = closed_record();
    ASSERT_EQ(file_open(&writer, path.string().c_str(), generic_read | generic_write), 0);
    ASSERT_EQ(file_open(&reader, path.string().c_str(), generic_read), 0);
    uint8_t byte = 0;
    EXPECT_EQ(file_read(&reader, &byte, 1), 1u);
    EXPECT_EQ(byte, 1);
    file_close(&reader);
    file_close(&writer);
}

TEST(FileExists, FilesAndDirectoriesAreFoundButDirectoriesDoNotOpen) {
    ScratchDir dir;
    write_bytes(dir / "there.mpg", {0});
    fs::create_directory(dir / "folder");
    EXPECT_EQ(file_exists((dir / "there.mpg").string().c_str()), 0);
    EXPECT_EQ(file_exists((dir / "absent.mpg").string().c_str()), 1);
    EXPECT_EQ(file_exists((dir / "folder").string().c_str()), 0);
    FileHandleRec file = closed_record();
    EXPECT_EQ(file_open(&file, (dir / "folder").string().c_str(), generic_read), file_open_refused);
}

#ifdef _WIN32
TEST(FileExists, WildcardsNameNoFile) {
    ScratchDir dir;
    write_bytes(dir / "there.mpg", {0});
    EXPECT_EQ(file_exists((dir / "*.mpg").string().c_str()), 1);
    EXPECT_EQ(file_exists((dir / "ther?.mpg").string().c_str()), 1);
}
#endif

TEST(FileCreate, OnlyNewAndNeverThroughALink) {
    ScratchDir dir;
    std::string name = (dir / "side.ini").string();
    FileHandleRec file = closed_record();
    ASSERT_EQ(file_create(&file, name.c_str()), 0);
    EXPECT_EQ(file.size, 0);
    EXPECT_EQ(file_write(&file, "abc", 3), 3u);
    file_close(&file);
    EXPECT_EQ(file_create(&file, name.c_str()), 1);
    EXPECT_EQ(read_text(name), "abc");
    std::error_code linked;
    fs::create_symlink(dir / "absent.txt", dir / "dangling.ini", linked);
    if (!linked) {
        EXPECT_EQ(file_create(&file, (dir / "dangling.ini").string().c_str()), 1);
        EXPECT_FALSE(fs::exists(dir / "absent.txt"));
    }
    ASSERT_EQ(file_open(&file, name.c_str(), generic_read | generic_write), 0);
    EXPECT_EQ(file.size, 3);
    EXPECT_EQ(file_truncate(&file, 1), 0);
    file_close(&file);
    EXPECT_EQ(read_text(name), "a");
    EXPECT_EQ(file_remove(name.c_str()), 0);
    EXPECT_FALSE(fs::exists(name));
    EXPECT_NE(file_remove(name.c_str()), 0);
}

TEST(FileWriteAt, OneByteAtAPositionPastFourGibibytes) {
    ScratchDir dir;
    fs::path path = dir / "big.bin";
    write_bytes(path, {});
    const int64_t far = (int64_t{1} << 32) + 7;
    fs::resize_file(path, static_cast<uintmax_t>(far + 1));
    FileHandleRec file = closed_record();
    ASSERT_EQ(file_open(&file, path.string().c_str(), generic_read | generic_write), 0);
    file_seek(&file, 5, file_begin);
    uint8_t value = 0x34;
    EXPECT_EQ(file_write_at(&file, far, &value, 1), 1u);
    EXPECT_EQ(file.position, 5);
    uint8_t back = 0;
    file_seek(&file, far, file_begin);
    EXPECT_EQ(file_read(&file, &back, 1), 1u);
    EXPECT_EQ(back, 0x34);
    file_close(&file);
}

TEST(FileSame, OneFileWhateverNameReachesIt) {
    ScratchDir dir;
    write_bytes(dir / "real.mpg", {1, 2, 3});
    write_bytes(dir / "other.mpg", {1, 2, 3});
    fs::create_directory(dir / "sub");
    FileHandleRec real = closed_record();
    FileHandleRec again = closed_record();
    FileHandleRec other = closed_record();
    ASSERT_EQ(file_open(&real, (dir / "real.mpg").string().c_str(), generic_read), 0);
    ASSERT_EQ(file_open(&again, (dir / "sub" / ".." / "real.mpg").string().c_str(), generic_read), 0);
    ASSERT_EQ(file_open(&other, (dir / "other.mpg").string().c_str(), generic_read), 0);
    EXPECT_TRUE(file_same(&real, &again));
    EXPECT_FALSE(file_same(&real, &other));
    file_close(&real);
    file_close(&again);
    file_close(&other);
}

TEST(JoinHalves, LowHalfNeverSubtracts) {
    EXPECT_EQ(join_halves(0x80000000u, 0), 2147483648LL);
    EXPECT_EQ(join_halves(0x00001001u, 1), 4294967296LL + 4097);
    EXPECT_EQ(join_halves(0xFFFFFFFDu, -1), -3);
}

}  // namespace
