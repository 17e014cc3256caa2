#include <gtest/gtest.h>

#include "analysis/trailing_zero.h"
#include "support.h"

namespace {

int64_t measure(const fs::path& path) {
    int64_t count = -99;
    EXPECT_EQ(trailing_zero_count(path.string().c_str(), &count), 0);
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
        EXPECT_EQ(measure(path), c.expected) << c.name;
    }
}

TEST(TrailingZeros, EmptyAndMissingFilesFail) {
    ScratchDir dir;
    write_bytes(dir / "empty", {});
    int64_t count = -99;
    EXPECT_EQ(trailing_zero_count((dir / "empty").string().c_str(), &count), 1);
    EXPECT_EQ(trailing_zero_count((dir / "missing").string().c_str(), &count), 1);
    EXPECT_EQ(count, -99);
}

}  // namespace
