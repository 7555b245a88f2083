#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "KestxTestKit.h"
#include "PkgCrc64.h"

namespace {

TEST(KestxCrc64, CheckValues) {
    EXPECT_EQ(Crc64Update(0, "123456789", 9), 0x995DC9BBDF1939FAull);
    EXPECT_EQ(Crc64Update(0, "", 0), 0u);
    // One byte goes through the table alone, eight through the sliced path.
    EXPECT_EQ(Crc64Update(0, "a", 1), 0x330284772E652B05ull);
}

TEST(KestxCrc64, PiecesGiveTheSameValueAsTheWhole) {
    const std::string data = KestxTestKit::MakeData(100003, 5);
    const uint64_t whole = Crc64Update(0, data.data(), data.size());
    for (size_t piece : {1u, 3u, 7u, 8u, 9u, 64u, 4099u}) {
        uint64_t crc = 0;
        for (size_t at = 0; at < data.size(); at += piece)
            crc = Crc64Update(crc, data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(crc, whole) << "pieces of " << piece;
    }
}

}  // namespace
