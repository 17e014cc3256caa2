#include <gtest/gtest.h>

#include "run/trailing_zero.h"
#include "support.h"

namespace {

// The count of the file at path, or -99 when it is refused; *result the
// probe's result.
int64_t measure(const fs::path& path, int* result = nullptr) {
    int64_t count = -99;
    FileHandleRec file = {os_invalid_handle, 0, 0};
    EXPECT_EQ(file_open(&file, path.string().c_str(), generic_read), 0);
    int measured = trailing_zero_count(&file, &count);
    file_close(&file);
    if (result != nullptr) *result = measured;
    return count;
}

TEST(TrailingZeros, CountsTheRunAcrossBlocks) {
    ScratchDir dir;
    struct Case {
        const char* name;
        Bytes bytes;
        int64_t expected;
    };
    Bytes three_mib(3 * 1048576, 0);
    three_mib[1572863] = 0x42;  // the last data byte, 1.5 MiB before the end
    three_mib[0] = 0x42;
    Bytes exact_block(2 * 1048576, 0);
    exact_block[1048575] = 1;  // last byte of the first block from the end
    const Case cases[] = {
        {"no_zeros", {1, 2, 3}, 0},
        {"all_zero", Bytes(5, 0), 5},
        {"one_zero", {7, 0}, 1},
        {"three_mib", three_mib, 1572864},
        {"block_edge", exact_block, 1048576},
    };
    for (const Case& c : cases) {
        fs::path path = dir / c.name;
        write_bytes(path, c.bytes);
        int result = 1;
        EXPECT_EQ(measure(path, &result), c.expected) << c.name;
        EXPECT_EQ(result, 0);
    }
}

TEST(TrailingZeros, AnEmptyFileFails) {
    ScratchDir dir;
    write_bytes(dir / "empty", {});
    int result = 0;
    EXPECT_EQ(measure(dir / "empty", &result), -99);
    EXPECT_EQ(result, 1);
}

}  // namespace
