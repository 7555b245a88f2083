#include "KestxSafePath.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "KestxErrors.h"
#include "KestxNative.h"
#include "KestxTestKit.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

TEST(KestxSafePath, PlainRelativeNamesAreSplitIntoComponents) {
    std::vector<std::string> parts;
    EXPECT_EQ(CheckStoredName("Data\\Sub dir\\A.txt", parts, true), "");
    EXPECT_EQ(parts, (std::vector<std::string>{"Data", "Sub dir", "A.txt"}));
    EXPECT_EQ(CheckStoredName("Presetup/Kest.ini", parts, false), "");
    EXPECT_EQ(parts, (std::vector<std::string>{"Presetup", "Kest.ini"}));
    EXPECT_EQ(CheckStoredName("Data\\\xC3\xA9t\xE9..x", parts, true), "");
    EXPECT_EQ(parts.size(), 2u);
}

TEST(KestxSafePath, UnsafeNamesAreRefusedOnEveryPlatform) {
    const char* const cases[] = {
        "",
        "\\abs.txt",
        "/etc/passwd",
        "\\\\server\\share\\x",
        "C:\\x.txt",
        "c:relative.txt",
        "..",
        "..\\evil.txt",
        "Data\\..\\..\\evil.txt",
        "Data/../x",
        "Data\\.\\x",
        "Data\\\\x",
        "Data\\",
        "Data\\sub\\..",
    };
    for (const char* name : cases) {
        for (bool windows : {false, true}) {
            SCOPED_TRACE(std::string(name) + (windows ? " (windows rules)" : ""));
            std::vector<std::string> parts{"stale"};
            EXPECT_NE(CheckStoredName(name, parts, windows), "");
            EXPECT_TRUE(parts.empty());
        }
    }
}

TEST(KestxSafePath, WindowsRulesRefuseWhatWindowsTreatsSpecially) {
    const char* const cases[] = {"Data\\a:stream", "Data\\CON",    "Data\\nul.txt", "Data\\com1",
                                 "Data\\LPT9.log", "Data\\dot.",   "Data\\space ",  "Data\\a?b",
                                 "Data\\a|b",      "Data\\a\x01z", "Data\\a<b>",    "Data\\\"q\""};
    for (const char* name : cases) {
        SCOPED_TRACE(name);
        std::vector<std::string> parts;
        EXPECT_NE(CheckStoredName(name, parts, true), "");
        // Elsewhere these are ordinary names.
        EXPECT_EQ(CheckStoredName(name, parts, false), "");
    }
    std::vector<std::string> parts;
    EXPECT_EQ(CheckStoredName("Data\\CONSOLE.txt", parts, true), "");
    EXPECT_EQ(CheckStoredName("Data\\COM0", parts, true), "");
}

TEST(KestxSafePath, DirectoriesAreCreatedBelowTheTarget) {
    TestUtil::TempDir tmp;
    const fs::path dir = NativePath(tmp.Path());
    const fs::path file = PrepareOutputFile(dir, {"Data", "a", "b", "f.txt"});
    EXPECT_EQ(file, dir / "Data" / "a" / "b" / "f.txt");
    EXPECT_TRUE(fs::is_directory(dir / "Data" / "a" / "b"));
    EXPECT_FALSE(fs::exists(file));
    // A file where a directory is needed, or a directory where the file goes, is an error.
    KestxTestKit::WriteBytes(tmp.Path() + "plain", "x");
    EXPECT_THROW(PrepareOutputFile(dir, {"plain", "f.txt"}), EKestxData);
    EXPECT_THROW(PrepareOutputFile(dir, {"Data", "a"}), EKestxData);
}

TEST(KestxSafePath, ExistingSymbolicLinksBelowTheTargetAreNeverFollowed) {
    TestUtil::TempDir tmp;
    fs::path dir, outside;
    std::string why;
    if (!KestxTestKit::MakeTargetWithLink(tmp.Path(), "Data", dir, outside, why))
        GTEST_SKIP() << why;
    std::error_code ec;
    fs::create_symlink(outside / "victim.txt", dir / "top.txt", ec);
    ASSERT_FALSE(ec);

    EXPECT_THROW(PrepareOutputFile(dir, {"Data", "f.txt"}), EKestxData);
    EXPECT_THROW(PrepareOutputFile(dir, {"Data", "sub", "f.txt"}), EKestxData);
    EXPECT_THROW(PrepareOutputFile(dir, {"top.txt"}), EKestxData);
    EXPECT_TRUE(fs::is_empty(outside));
}

}  // namespace
