// Packages built with the real packer and Pack.dll, read back by kestx: list, verify and
// extract must give every stored file back, byte for byte.
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "Gost.h"
#include "Haval.h"
#include "KestxTestKit.h"
#include "PkgX86Filter.h"
#include "TestUtil.h"

namespace {

using namespace KestxTestKit;

std::string Sized(uint32_t seed, size_t size) {
    return MakeData(size, seed);
}

// A PE image with calls (E8) in its body: the library passes it through its x86 filter.
std::string X86Image(uint32_t seed, bool plus, size_t size) {
    std::string s = MakePeStub(plus) + Sized(seed, size);
    for (size_t at = 0x400; at + 5 < s.size(); at += 41) {
        s[at] = '\xE8';
        s[at + 4] = '\0';
    }
    return s;
}

// Presetup and data files of every kind that matters: empty, one byte, cipher-block and
// library-block multiples and their neighbours, x86 programs, spaces and non-ASCII bytes in
// names, and several directory levels.
std::vector<TTreeFile> RandomTree(uint32_t seed, bool bigBlocks) {
    std::mt19937 rng(seed);
    std::vector<TTreeFile> files = {
        {"Presetup\\Lang\\ENU.lng", Sized(seed, 900)},
        {"Presetup\\UnKest.exe", Sized(seed + 1, 3000)},
        {"Data\\empty.txt", ""},
        {"Data\\one.bin", "\x7F"},
        {"Data\\Sub dir\\eight.bin", Sized(seed + 2, 8)},
        {"Data\\Sub dir\\Deeper\\Still deeper\\thirteen.bin", Sized(seed + 3, 13)},
        {"Data\\\xC3\xA9t\xC3\xA9 \xE9\\caf\xE9 cr\xE8me.txt", Sized(seed + 4, 4096)},
        {"Data\\Sub dir\\empty too", ""},
        {"Data\\Program.exe", X86Image(seed + 7, false, 20000)},
        {"Data\\Library64.dll", X86Image(seed + 8, true, 5003)},
    };
    if (bigBlocks) {
        files.push_back({"Data\\Blocks\\one MiB.bin", Sized(seed + 5, 1u << 20)});
        files.push_back({"Data\\Blocks\\two MiB plus 5.bin", Sized(seed + 6, (2u << 20) + 5)});
    }
    const int extra = 5 + static_cast<int>(rng() % 10);
    for (int i = 0; i < extra; ++i) {
        std::string name = "Data";
        for (uint32_t d = rng() % 4; d > 0; --d) name += "\\dir " + std::to_string(rng() % 3);
        name += "\\file " + std::to_string(i) + ".dat";
        files.push_back({name, Sized(seed * 100 + i, rng() % 70000)});
    }
    return files;
}

std::vector<TTreeFile> Sorted(std::vector<TTreeFile> files) {
    std::sort(files.begin(), files.end(),
              [](const TTreeFile& a, const TTreeFile& b) { return a.Stored < b.Stored; });
    return files;
}

void ExpectSameTrees(const std::vector<TTreeFile>& got, const std::vector<TTreeFile>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].Stored, want[i].Stored);
        EXPECT_TRUE(got[i].Bytes == want[i].Bytes) << got[i].Stored << " differs";
    }
}

// The listing, one "size  name" line per file in packing order.
std::string ExpectedListing(const std::vector<TTreeFile>& files) {
    std::ostringstream s;
    for (const auto& f : files) {
        const std::string n = std::to_string(f.Bytes.size());
        s << std::string(11 - n.size(), ' ') << n << "  " << f.Stored << "\n";
    }
    return s.str();
}

struct TRoundTripCase {
    const char* Name;
    uint32_t Seed;
    std::string Password;
    int32_t Level;
    std::string VolumeSize;
    bool Signed;
    bool BigBlocks;
};

class KestxRoundTrip : public ::testing::TestWithParam<TRoundTripCase> {};

TEST_P(KestxRoundTrip, ListVerifyAndExtractGiveEveryFileBack) {
    const TRoundTripCase& c = GetParam();
    TestUtil::TempDir tmp;
    TBuildOptions options;
    options.Password = c.Password;
    options.Level = c.Level;
    options.VolumeSize = c.VolumeSize;
    options.Signed = c.Signed;
    const TBuilt built =
        BuildPackage(tmp.Path() + "build", RandomTree(c.Seed, c.BigBlocks), options);
    if (!c.VolumeSize.empty()) {
        EXPECT_GT(built.Volumes, 2u);
    }

    const TRunResult list = RunKestx({"list", built.Exe});
    ASSERT_EQ(list.Code, 0) << list.Error;
    const std::string listing = ExpectedListing(built.Files);
    EXPECT_EQ(list.Out.substr(0, listing.size()), listing);
    EXPECT_NE(list.Out.find(std::to_string(built.Files.size()) + " files"), std::string::npos);
    EXPECT_NE(list.Out.find(std::to_string(built.Volumes) + " volume"), std::string::npos);

    std::vector<std::string> pw;
    if (!c.Password.empty()) pw = {"--password", c.Password};
    std::vector<std::string> verifyArgs = {"verify", built.Exe};
    verifyArgs.insert(verifyArgs.end(), pw.begin(), pw.end());
    const TRunResult verify = RunKestx(verifyArgs);
    ASSERT_EQ(verify.Code, 0) << verify.Error;
    EXPECT_NE(verify.Out.find("OK: "), std::string::npos);
    EXPECT_EQ(verify.Err, "");

    std::vector<std::string> extractArgs = {"extract", built.Exe, tmp.Path() + "out"};
    extractArgs.insert(extractArgs.end(), pw.begin(), pw.end());
    const TRunResult extract = RunKestx(extractArgs);
    ASSERT_EQ(extract.Code, 0) << extract.Error;
    ExpectSameTrees(ReadTree(tmp.Path() + "out"), Sorted(built.Files));

    // A second extraction over the first replaces the files and leaves nothing else.
    const TRunResult again = RunKestx(extractArgs);
    ASSERT_EQ(again.Code, 0) << again.Error;
    ExpectSameTrees(ReadTree(tmp.Path() + "out"), Sorted(built.Files));
}

INSTANTIATE_TEST_SUITE_P(
    Trees, KestxRoundTrip,
    ::testing::Values(
        TRoundTripCase{"PlainLevel7", 1, "", 7, "", false, true},
        TRoundTripCase{"ProtectedLevel7", 2, "s3cret pass", 7, "", false, true},
        TRoundTripCase{"ProtectedStored", 3, "pw", 0, "", false, true},
        TRoundTripCase{"ProtectedLevel1Volumes", 4, "\xE9t\xE9", 1, "64K", false, false},
        TRoundTripCase{"PlainLevel9VolumesSigned", 5, "", 9, "20000", true, false},
        TRoundTripCase{"ProtectedStoredVolumesSigned", 6, "x", 0, "48K", true, false}),
    [](const ::testing::TestParamInfo<TRoundTripCase>& info) { return info.param.Name; });

TEST(KestxRoundTripXz, FilesOfTheirOwnStreamRoundTripProtected) {
    // 16 MiB and more go into an .xz stream of their own, beside the solid stream.
    TestUtil::TempDir tmp;
    std::vector<TTreeFile> files = {{"Presetup\\a.txt", Sized(7, 5000)},
                                    {"Data\\small before.txt", Sized(8, 30000)},
                                    {"Data\\big.bin", Sized(9, (16u << 20) + 3)},
                                    {"Data\\small after.txt", Sized(10, 30000)}};
    TBuildOptions options;
    options.Password = "big one";
    options.Level = 1;
    const TBuilt built = BuildPackage(tmp.Path() + "build", files, options);
    const TRunResult extract =
        RunKestx({"extract", built.Exe, tmp.Path() + "out", "--password", "big one"});
    ASSERT_EQ(extract.Code, 0) << extract.Error;
    ExpectSameTrees(ReadTree(tmp.Path() + "out"), Sorted(built.Files));
}

// Cipher cross-check: the stored blocks of a protected package's data files, decrypted here
// with the cipher file by file (the chain restarting at every file and running on from block
// to block), are the solid stream that decodes to the data files' bytes; presetup files stay
// plain, in the group stream.
TEST(KestxEncryption, DataBlocksAreTheCipherOfTheCompressedBlocks) {
    TestUtil::TempDir tmp;
    std::vector<TTreeFile> files = RandomTree(11, false);
    // Incompressible data makes the encoder hand out blocks of odd sizes mid-file.
    std::mt19937 rng(11);
    std::string noise(5u << 19, '\0');
    for (char& ch : noise) ch = static_cast<char>(rng());
    files.push_back({"Data\\noise.bin", noise});
    TBuildOptions options;
    options.Password = "cross check";
    const TBuilt sealed = BuildPackage(tmp.Path() + "sealed", files, options);

    uint32_t dictSize = 0;
    const auto stored = StoredBlocks(sealed.Exe, &dictSize);
    uint8_t key[32];
    THavalContext h;
    HavalInit(h);
    HavalUpdate(h, options.Password.data(), static_cast<int32_t>(options.Password.size()));
    HavalFinal(h, key);
    std::string solid, expected;
    bool sawChainedBlocks = false;
    for (const TStoredFile& file : stored) {
        SCOPED_TRACE(file.Name);
        const bool data = file.Name.rfind("Data\\", 0) == 0;
        EXPECT_EQ(file.Plain, !data) << "presetup files in the group stream, data files not";
        if (!data) continue;
        ASSERT_TRUE(file.Codec == 1 || file.Codec == 3) << int(file.Codec);
        TGostContext ctx;
        GostInit(ctx, key, 256, nullptr);
        for (size_t b = 0; b < file.Blocks.size(); ++b) {
            std::string block = file.Blocks[b];
            GostDecryptCBC(ctx, reinterpret_cast<const uint8_t*>(block.data()),
                           reinterpret_cast<uint8_t*>(block.data()),
                           static_cast<int32_t>(block.size()));
            if (b > 0 && !block.empty() && !file.Blocks[b - 1].empty()) sawChainedBlocks = true;
            solid += block;
        }
        const auto original = std::find_if(files.begin(), files.end(),
                                           [&](const TTreeFile& f) { return f.Stored == file.Name; });
        ASSERT_NE(original, files.end());
        if (file.Codec == 1) {
            expected += original->Bytes;
            continue;
        }
        // A program's bytes went through the x86 filter before the stream.
        TX86Filter filter(TX86Filter::Encode);
        std::vector<uint8_t> filtered;
        filter.Convert(reinterpret_cast<const uint8_t*>(original->Bytes.data()),
                       original->Bytes.size(), filtered);
        filter.Finish(filtered);
        expected.append(filtered.begin(), filtered.end());
    }
    lzma_options_lzma opt{};
    opt.dict_size = dictSize;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_raw_decoder(&strm, filters), LZMA_OK);
    std::string decoded(expected.size() + 1, '\0');
    strm.next_in = reinterpret_cast<const uint8_t*>(solid.data());
    strm.avail_in = solid.size();
    strm.next_out = reinterpret_cast<uint8_t*>(decoded.data());
    strm.avail_out = decoded.size();
    const lzma_ret r = lzma_code(&strm, LZMA_RUN);
    decoded.resize(decoded.size() - strm.avail_out);
    lzma_end(&strm);
    EXPECT_EQ(r, LZMA_OK);
    EXPECT_TRUE(decoded == expected) << "the decrypted blocks decode to the data files";
    // The chain really ran on from one non-empty block to the next within a file.
    EXPECT_TRUE(sawChainedBlocks);
}

}  // namespace
