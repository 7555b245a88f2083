// The meaning of the caller's choices: byte sizes from the environment, volume limits and
// the level map.
#include "PackSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "LzmaCoder.h"
#include "PackFormat.h"

namespace {

TEST(PackSettings, ParsesByteSizesWithSuffixes) {
    const struct {
        const char* Text;
        std::optional<uint64_t> Value;
    } cases[] = {
        {"0", 0},
        {"4096", 4096},
        {"64k", 64ull << 10},
        {"650M", 650ull << 20},
        {"2G", 2ull << 30},
        {"18446744073709551615", UINT64_MAX},
        {"", std::nullopt},
        {"K", std::nullopt},
        {"12X", std::nullopt},
        {"1.5G", std::nullopt},
        {" 10", std::nullopt},
        {"10MB", std::nullopt},
        {"-5", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"17179869184G", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseByteSize(c.Text), c.Value) << c.Text;
}

TEST(PackSettings, VolumeOneStaysBelowTheTrailerLimit) {
    using PackFormat::Volume1Cap;
    EXPECT_EQ(VolumeLimit(std::nullopt, 1), Volume1Cap);
    EXPECT_EQ(VolumeLimit(std::nullopt, 2), UINT64_MAX);
    EXPECT_EQ(VolumeLimit(uint64_t(100), 1), 4096u);
    EXPECT_EQ(VolumeLimit(uint64_t(100), 7), 4096u);
    EXPECT_EQ(VolumeLimit(uint64_t(650) << 20, 1), uint64_t(650) << 20);
    EXPECT_EQ(VolumeLimit(uint64_t(4) << 30, 1), Volume1Cap);
    EXPECT_EQ(VolumeLimit(uint64_t(4) << 30, 2), uint64_t(4) << 30);
    // With room for a 64 MiB stub, the executable's offsets stay within 31 bits.
    EXPECT_LE(Volume1Cap + (64u << 20), uint64_t(INT32_MAX) + 1);
}

// The map that the format document states.
TEST(PackSettings, LevelsMapToTheDocumentedSettings) {
    const struct {
        int32_t Asked, Level;
        uint32_t DictKiB;
        lzma_match_finder Finder;
        uint32_t Nice, Depth;
        lzma_mode Mode;
        bool BigFilesThreaded;
        uint32_t GroupHashBytes;
    } cases[] = {
        {1, 1, 1024, LZMA_MF_HC3, 128, 4, LZMA_MODE_FAST, true, 5},
        {3, 3, 4096, LZMA_MF_HC4, 273, 48, LZMA_MODE_FAST, true, 0},
        {5, 5, 8192, LZMA_MF_BT4, 32, 0, LZMA_MODE_NORMAL, true, 0},
        {7, 7, 16384, LZMA_MF_BT4, 96, 32, LZMA_MODE_NORMAL, true, 5},
        {-3, 7, 16384, LZMA_MF_BT4, 96, 32, LZMA_MODE_NORMAL, true, 5},
        {8, 8, 32768, LZMA_MF_BT4, 64, 0, LZMA_MODE_NORMAL, false, 0},
        {9, 9, 65536, LZMA_MF_BT4, 273, 0, LZMA_MODE_NORMAL, false, 0},
        {12, 9, 65536, LZMA_MF_BT4, 273, 0, LZMA_MODE_NORMAL, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Asked);
        const TLevelSettings s = LevelSettings(c.Asked);
        EXPECT_EQ(s.Level, c.Level);
        EXPECT_FALSE(s.Stored);
        EXPECT_EQ(s.Lzma.dict_size, c.DictKiB << 10);
        EXPECT_EQ(s.Lzma.mf, c.Finder);
        EXPECT_EQ(s.Lzma.nice_len, c.Nice);
        EXPECT_EQ(s.Lzma.depth, c.Depth);
        EXPECT_EQ(s.GroupHashBytes, c.GroupHashBytes);
        EXPECT_EQ(s.Lzma.mode, c.Mode);
        EXPECT_EQ(s.Lzma.lc * 100 + s.Lzma.lp * 10 + s.Lzma.pb, 302u);
        EXPECT_EQ(s.Threaded.dict_size, std::min(c.DictKiB, 4096u) << 10);
        const uint64_t both = TLzmaCoder::RawMemory(s.Lzma) +
                              TLzmaCoder::ThreadedMemory(s.Threaded, 2, s.ThreadedBlock);
        EXPECT_EQ(both <= MemoryBudget, c.BigFilesThreaded) << both;
    }
    EXPECT_TRUE(LevelSettings(0).Stored);
    EXPECT_EQ(LevelSettings(0).Level, 0);
}

}  // namespace
