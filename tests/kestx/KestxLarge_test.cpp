// The two big cases: one file of 300 MB and 10,000 small files. Natively only, and not
// under the sanitizers, to keep the test run short.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "KestxNative.h"
#include "KestxTestKit.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

using namespace KestxTestKit;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

bool SkipBigCases(std::string& why) {
    if (OnWindows()) why = "big cases run natively only (too slow under Wine)";
    if (Sanitized) why = "big cases do not run under the sanitizers";
    return !why.empty();
}

constexpr size_t Chunk = 1u << 20;

std::string ChunkOf(size_t i) {
    return MakeData(Chunk, static_cast<uint32_t>(1000 + i));
}

TEST(KestxLarge, File300MBRoundTrips) {
    std::string why;
    if (SkipBigCases(why)) GTEST_SKIP() << why;
    TestUtil::TempDir tmp;
    const size_t chunks = 300;
    const std::string source = tmp.Path() + "big.src";
    {
        std::ofstream out(NativePath(source), std::ios::binary);
        for (size_t i = 0; i < chunks; ++i) out << ChunkOf(i);
        out << "tail";  // not a multiple of any block size
    }
    TTreeFile big{"Data\\big.bin", "", source};
    // Stored and protected: the size itself is under test (hundreds of blocks chained
    // through the cipher, offsets past 2^28), not the codec, which costs minutes here.
    TBuildOptions options;
    options.Level = 0;
    options.Password = "large";
    const TBuilt built = BuildPackage(tmp.Path() + "build", {big}, options);
    fs::remove(NativePath(source));

    const TRunResult r =
        RunKestx({"extract", built.Exe, tmp.Path() + "out", "--password", "large"});
    ASSERT_EQ(r.Code, 0) << r.Error;
    std::ifstream in(NativePath(tmp.Path() + "out") / "Data" / "big.bin", std::ios::binary);
    std::string got(Chunk, '\0');
    for (size_t i = 0; i < chunks; ++i) {
        ASSERT_TRUE(in.read(got.data(), static_cast<std::streamsize>(Chunk))) << "chunk " << i;
        ASSERT_TRUE(got == ChunkOf(i)) << "chunk " << i << " differs";
    }
    std::string tail(8, '\0');
    in.read(tail.data(), 8);
    EXPECT_EQ(in.gcount(), 4);
    EXPECT_EQ(tail.substr(0, 4), "tail");
}

TEST(KestxLarge, TenThousandSmallFilesRoundTrip) {
    std::string why;
    if (SkipBigCases(why)) GTEST_SKIP() << why;
    TestUtil::TempDir tmp;
    std::mt19937 rng(77);
    std::vector<TTreeFile> files;
    for (int i = 0; i < 10000; ++i)
        files.push_back({"Data\\dir " + std::to_string(i % 50) + "\\f" + std::to_string(i) + ".txt",
                         MakeData(rng() % 600, static_cast<uint32_t>(i))});
    const TBuilt built = BuildPackage(tmp.Path() + "build", files, {});
    const TRunResult list = RunKestx({"list", built.Exe});
    ASSERT_EQ(list.Code, 0) << list.Error;
    EXPECT_NE(list.Out.find("10001 files"), std::string::npos);
    const TRunResult r = RunKestx({"extract", built.Exe, tmp.Path() + "out"});
    ASSERT_EQ(r.Code, 0) << r.Error;
    const std::vector<TTreeFile> got = ReadTree(tmp.Path() + "out");
    ASSERT_EQ(got.size(), built.Files.size());
    std::vector<TTreeFile> want = built.Files;
    std::sort(want.begin(), want.end(),
              [](const TTreeFile& a, const TTreeFile& b) { return a.Stored < b.Stored; });
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].Stored, want[i].Stored);
        ASSERT_TRUE(got[i].Bytes == want[i].Bytes) << got[i].Stored;
    }
}

}  // namespace
