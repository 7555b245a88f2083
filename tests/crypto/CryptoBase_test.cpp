#include "CryptoBase.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CryptoBaseTest, RotateRightMovesLowBitsToTheTop) {
    struct Case {
        uint32_t x;
        int n;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x12345678u, 8, 0x78123456u},  {0x00000001u, 1, 0x80000000u},
        {0x80000000u, 31, 0x00000001u}, {0xDEADBEEFu, 0, 0xDEADBEEFu},
        {0xDEADBEEFu, 32, 0xDEADBEEFu}, {0x0000FFFFu, 4, 0xF0000FFFu},
        {0x00000080u, 7, 0x00000001u},  {0x00000001u, 11, 0x00200000u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RotateRight(c.x, c.n), c.expected) << std::hex << c.x << " by " << c.n;
}

TEST(CryptoBaseTest, XorBytesCombinesEqualRanges) {
    const uint8_t a[5] = {0x00, 0xFF, 0x0F, 0xAA, 0x12};
    const uint8_t b[5] = {0xFF, 0xFF, 0xF0, 0x55, 0x34};
    uint8_t out[6] = {1, 2, 3, 4, 5, 0x77};
    XorBytes(a, b, out, 5);
    const uint8_t expected[6] = {0xFF, 0x00, 0xFF, 0xFF, 0x26, 0x77};
    EXPECT_EQ(std::memcmp(out, expected, 6), 0) << "wrote beyond the count";

    uint8_t inPlace[5];
    std::memcpy(inPlace, a, 5);
    XorBytes(inPlace, b, inPlace, 5);
    EXPECT_EQ(std::memcmp(inPlace, expected, 5), 0);
}

TEST(CryptoBaseTest, XorBytesDoesNothingForNonPositiveCounts) {
    const uint8_t a[2] = {1, 2};
    const uint8_t b[2] = {3, 4};
    for (int32_t count : {0, -1, -100}) {
        uint8_t out[2] = {9, 9};
        XorBytes(a, b, out, count);
        EXPECT_EQ(out[0], 9) << count;
        EXPECT_EQ(out[1], 9) << count;
    }
}

TEST(CryptoBaseTest, BurnBytesFillsExactlyTheRange) {
    uint8_t buf[6] = {1, 2, 3, 4, 5, 6};
    BurnBytes(buf + 1, 0xFF, 4);
    const uint8_t expected[6] = {1, 0xFF, 0xFF, 0xFF, 0xFF, 6};
    EXPECT_EQ(std::memcmp(buf, expected, 6), 0);
    BurnBytes(buf, 0, -3);
    EXPECT_EQ(std::memcmp(buf, expected, 6), 0);
}

TEST(CryptoBaseTest, LittleEndianWordsRoundTrip) {
    const uint8_t bytes[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(LoadLE32(bytes), 0x12345678u);
    uint8_t out[4];
    StoreLE32(out, 0xA1B2C3D4u);
    EXPECT_EQ(out[0], 0xD4);
    EXPECT_EQ(out[3], 0xA1);
    EXPECT_EQ(LoadLE32(out), 0xA1B2C3D4u);
}
