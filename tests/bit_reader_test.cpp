#include <gtest/gtest.h>

#include "analysis/bit_reader.h"

namespace {

TEST(ShiftBitsLeft, WholeAndPartialBytes) {
    struct Case {
        uint32_t n;
        uint8_t expected[5];
    } cases[] = {
        {12, {0x45, 0x67, 0x89, 0xA0, 0x00}},
        {4, {0x23, 0x45, 0x67, 0x89, 0xA0}},
        {8, {0x34, 0x56, 0x78, 0x9A, 0x00}},
        {39, {0x00, 0x00, 0x00, 0x00, 0x00}},
        {33, {0x34, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        uint8_t bytes[5] = {0x12, 0x34, 0x56, 0x78, 0x9A};
        EXPECT_EQ(shift_bits_left(bytes, 5, c.n), 0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(bytes[i], c.expected[i]) << "n=" << c.n << " i=" << i;
    }
}

TEST(ShiftBitsLeft, RefusesZeroCountAndOneByteBuffers) {
    uint8_t bytes[2] = {0x12, 0x34};
    EXPECT_EQ(shift_bits_left(bytes, 2, 0), 1);
    EXPECT_EQ(shift_bits_left(bytes, 1, 4), 2);
    EXPECT_EQ(shift_bits_left(bytes, 1, 0), 2);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
}

TEST(TopBitsMask, SetsTheLeadingBits) {
    const std::pair<int, uint8_t> cases[] = {{0, 0x00}, {1, 0x80}, {3, 0xE0}, {7, 0xFE}, {8, 0xFF}, {12, 0xFF}};
    for (const auto& [n, expected] : cases) {
        uint8_t byte = 0;
        top_bits_mask(n, &byte);
        EXPECT_EQ(byte, expected) << n;
    }
}

TEST(PeekBits, DecoderExamples) {
    const uint8_t size_bytes[] = {0x2D, 0x02};
    const uint8_t rate_bytes[] = {0x17, 0xED, 0x23};
    EXPECT_EQ(peek_bits8(size_bytes, 4), 2);
    EXPECT_EQ(peek_bits8(size_bytes, 8), 0x2D);
    EXPECT_EQ(peek_bits16(size_bytes, 12), 720);
    EXPECT_EQ(peek_bits32(rate_bytes, 18), 24500u);
    EXPECT_EQ(peek_bits32(rate_bytes, 16), 0x17EDu);  // a whole number of bytes
    EXPECT_EQ(peek_bits32(rate_bytes, 3), 0u);
    EXPECT_EQ(size_bytes[0], 0x2D);  // peeks never change the buffer
}

}  // namespace
