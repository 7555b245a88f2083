// Extraction writes below its target directory only: unsafe stored names are refused one
// by one, and symbolic links already in the target are never followed.
#include <gtest/gtest.h>

#include <filesystem>

#include "KestxNative.h"
#include "KestxTestKit.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

using namespace KestxTestKit;

TEST(KestxExtractSafety, UnsafeStoredNamesAreRefusedAndTheRestExtracted) {
    TestUtil::TempDir tmp;
    const std::vector<TTreeFile> files = {
        {"Data\\ok.txt", "fine"},
        {"..\\escape.txt", "bad1"},
        {"Data\\..\\..\\escape2.txt", "bad2"},
        {"\\abs.txt", "bad3"},
        {"C:\\drive.txt", "bad4"},
        {"Data/../../escape3.txt", "bad5"},
        {"Data\\sub\\fine.txt", "fine too"},
    };
    TBuildOptions options;
    options.Password = "p";
    options.Level = 5;
    const TBuilt built = BuildPackage(tmp.Path() + "build", files, options);
    const std::string target = tmp.Path() + "work" + TestUtil::Sep() + "target";
    const TRunResult r = RunKestx({"extract", built.Exe, target, "--password", "p"});
    EXPECT_EQ(r.Code, 2);
    EXPECT_EQ(r.Error, "");
    for (const char* refused : {"..\\escape.txt", "Data\\..\\..\\escape2.txt", "\\abs.txt",
                                "C:\\drive.txt", "Data/../../escape3.txt"})
        EXPECT_NE(r.Err.find(std::string("refused '") + refused + "'"), std::string::npos)
            << refused << "\n"
            << r.Err;
    EXPECT_NE(r.Out.find("refused 5 unsafe stored names"), std::string::npos) << r.Out;

    const std::vector<TTreeFile> got = ReadTree(target);
    ASSERT_EQ(got.size(), 3u);  // Kest.ini and the two safe data files
    EXPECT_EQ(got[0].Stored, "Data\\ok.txt");
    EXPECT_EQ(got[0].Bytes, "fine");
    EXPECT_EQ(got[1].Stored, "Data\\sub\\fine.txt");
    EXPECT_EQ(got[1].Bytes, "fine too");
    EXPECT_EQ(got[2].Stored, "Presetup\\Kest.ini");
    // Nothing appeared anywhere else in the scratch area.
    const std::vector<TTreeFile> all = ReadTree(tmp.Path() + "work");
    EXPECT_EQ(all.size(), 3u);
    EXPECT_FALSE(fs::exists(NativePath(tmp.Path()) / "escape.txt"));
    EXPECT_FALSE(fs::exists(NativePath(tmp.Path()) / "escape2.txt"));
}

TEST(KestxExtractSafety, SymbolicLinksInTheTargetAreNotFollowed) {
    TestUtil::TempDir tmp;
    const TBuilt built =
        BuildPackage(tmp.Path() + "build", {{"Data\\a.txt", "A"}, {"Data\\sub\\b.txt", "B"}}, {});
    fs::path target, outside;
    std::string why;
    if (!MakeTargetWithLink(tmp.Path(), "Data", target, outside, why)) GTEST_SKIP() << why;

    const TRunResult r = RunKestx({"extract", built.Exe, AnsiName(target)});
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("symbolic link"), std::string::npos) << r.Error;
    EXPECT_TRUE(fs::is_empty(outside));

    // A link standing where a file goes is not written through either.
    fs::remove(target / "Data");
    fs::create_directories(target / "Data");
    const fs::path victim = outside / "victim.txt";
    WriteBytes(AnsiName(victim), "keep me");
    std::error_code ec;
    fs::create_symlink(victim, target / "Data" / "a.txt", ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(RunKestx({"extract", built.Exe, AnsiName(target)}).Code, 2);
    EXPECT_EQ(ReadBytes(AnsiName(victim)), "keep me");
}

}  // namespace
