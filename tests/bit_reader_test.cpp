#include <gtest/gtest.h>

#include "codecs/bit_reader.h"

namespace {

TEST(BitReader, FieldsOfAnyWidthOneAfterTheOther) {
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    BitReader r = {bytes, 5, 0, false};
    EXPECT_EQ(bits_read(&r, 4), 0x1u);
    EXPECT_EQ(bits_read(&r, 12), 0x234u);
    EXPECT_EQ(bits_read(&r, 8), 0x56u);
    bits_skip(&r, 3);
    EXPECT_EQ(bits_read(&r, 13), 0x189Au);
    EXPECT_FALSE(r.overrun);
    EXPECT_EQ(bits_read(&r, 1), 0u);  // past the end
    EXPECT_TRUE(r.overrun);
}

TEST(BitReader, DecoderExamples) {
    const uint8_t size_bytes[] = {0x2D, 0x02, 0x40};
    BitReader size = {size_bytes, 3, 0, false};
    EXPECT_EQ(bits_read(&size, 12), 720u);
    EXPECT_EQ(bits_read(&size, 12), 576u);
    const uint8_t rate_bytes[] = {0x17, 0xED, 0x23};
    BitReader rate = {rate_bytes, 3, 0, false};
    EXPECT_EQ(bits_read(&rate, 18), 24500u);
    const uint8_t wide[] = {0xFF, 0x00, 0xFF, 0x00, 0x80};
    BitReader all = {wide, 5, 0, false};
    EXPECT_EQ(bits_read(&all, 32), 0xFF00FF00u);
    EXPECT_EQ(bits_read(&all, 1), 1u);
}

TEST(BitReader, ExpGolombCodes) {
    // ue: 1, 010, 011, 00100; se: 010 (1), 011 (-1).
    const uint8_t bytes[] = {0xA6, 0x44, 0xC0};
    BitReader r = {bytes, 3, 0, false};
    EXPECT_EQ(bits_ue(&r), 0u);
    EXPECT_EQ(bits_ue(&r), 1u);
    EXPECT_EQ(bits_ue(&r), 2u);
    EXPECT_EQ(bits_ue(&r), 3u);
    EXPECT_EQ(bits_se(&r), 1);
    EXPECT_EQ(bits_se(&r), -1);
    EXPECT_FALSE(r.overrun);
    const uint8_t zeros[] = {0, 0, 0, 0, 0};
    BitReader none = {zeros, 5, 0, false};
    EXPECT_EQ(bits_ue(&none), 0u);
    EXPECT_TRUE(none.overrun);  // no field has 32 leading zeros
}

}  // namespace
