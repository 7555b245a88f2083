#include "BuildState.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "BuildSys.h"
#include "ConsoleScript.h"
#include "TestUtil.h"
#include "kvErrors.h"
#include "kvFileUtils.h"
#include "kvStrUtils.h"

namespace {

std::string CurrentDirWithSlash() {
    return AddBackslash(BuildSys::FullPathOf("."));
}

TEST(BuildStateTest, ExtensionRule) {
    struct Case {
        const char* name;
        const char* ext;
        const char* withDotOne;
    } cases[] = {
        {"C:\\Out.d\\Setup", "", "C:\\Out.d\\Setup.1"},
        {"Setup.", ".", "Setup.1"},
        {"C:\\Out\\Setup.exe", ".exe", "C:\\Out\\Setup.1"},
        {"a.b.c", ".c", "a.b.1"},
        {"dir/x.y/name", "", "dir/x.y/name.1"},
        {"C:name", "", "C:name.1"},
        {"", "", ".1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractExt(c.name), c.ext) << c.name;
        EXPECT_EQ(ChangeExt(c.name, ".1"), c.withDotOne) << c.name;
    }
    EXPECT_EQ(ExtractDir("C:\\Out\\Setup.exe"), "C:\\Out\\");
    EXPECT_EQ(ExtractDir("Setup.exe"), "");
}

TEST(BuildStateTest, ProjectFileTakesKstExtension) {
    std::string expected = CurrentDirWithSlash() + "Demo.kst";
    for (const char* argument : {"Demo", "Demo.txt", "Demo.kst"})
        EXPECT_EQ(ProjectFileFor(argument), expected) << argument;
}

TEST(BuildStateTest, ExeNameRules) {
    std::string cwd = CurrentDirWithSlash();
    struct Case {
        const char* exeName;
        const char* file;
    } cases[] = {
        {"", "Setup.exe"},        {"Setup.EXE", "Setup.EXE"}, {"Setup.bin", "Setup.bin.exe"},
        {"Setup.", "Setup..exe"}, {"My.Exe", "My.Exe"},       {"Install", "Install.exe"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExeFileFor(c.exeName), cwd + c.file) << c.exeName;
    EXPECT_EQ(PackageFileFor("C:\\Out\\Setup.exe"), "C:\\Out\\Setup.1");
}

TEST(BuildStateTest, ImagePathResolvesAgainstCurrentDirectory) {
    TestUtil::TempDir tmp;
    std::filesystem::create_directories(tmp / "Work");
    std::filesystem::create_directories(tmp / "Image");
    auto saved = std::filesystem::current_path();
    std::filesystem::current_path(tmp / "Work");
    std::string image = ImageDirFor("..\\Image");
    std::string expected = AddBackslash(BuildSys::FullPathOf(tmp / "Image"));
    std::filesystem::current_path(saved);
    EXPECT_EQ(image, expected);
    EXPECT_EQ(image.back(), '\\');
    EXPECT_TRUE(DirExists(image));
    EXPECT_EQ(ImageDirFor(""), "");
    // An ImagePath that already ends in a separator gets no second one.
    EXPECT_EQ(ImageDirFor(tmp / "Image\\"), expected);
}

TEST(BuildStateTest, LinkMatchingAndSplitting) {
    struct Case {
        const char* line;
        bool presetup;
        bool data;
    } cases[] = {
        {"Data\\A.txt=C:\\X=Y.txt", false, true},
        {"data\\Extra.dll=x", false, true},
        {"PRESETUP\\Lang.lng=x", true, false},
        {"Presetup\\=x", true, false},
        {"Other\\A.txt=x", false, false},
        {"DataA.txt=x", false, false},
        {"Dat=x", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinkIsUnder(c.line, "Presetup\\"), c.presetup) << c.line;
        EXPECT_EQ(LinkIsUnder(c.line, "Data\\"), c.data) << c.line;
    }
    EXPECT_EQ(NameOf("Data\\A.txt=C:\\X=Y.txt"), "Data\\A.txt");
    EXPECT_EQ(ValueOf("Data\\A.txt=C:\\X=Y.txt"), "C:\\X=Y.txt");
}

TEST(BuildStateTest, WriteLineAddsBreakAndRaisesOnOutputError) {
    TConsoleScript console;
    WriteLine("first");
    WriteLine("");
    EXPECT_EQ(console.Output, "first\n\n");
    console.FailWrites = true;
    EXPECT_THROW(WriteLine("lost"), EInOutError);
}

}  // namespace
