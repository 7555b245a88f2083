#include "Presetup.h"

#include <filesystem>

#include "BuildFixture.h"
#include "kvProfile.h"

namespace {

namespace fs = std::filesystem;
using TestUtil::WriteFile;

class PresetupTest : public BuildFixture {
  protected:
    void DefaultTree(const std::string& languages, const std::string& uninstall) {
        WriteFile(Program / "Presetup/Kest.ini",
                  "[Config]\r\nLanguages=" + languages + "\r\nUninstall=" + uninstall + "\r\n");
        for (const char* lng : {"ENU.lng", "DEU.lng", "FRA.lng", "ITA.lng", "pt.br.lng"})
            WriteFile(Program / ("Presetup/" + std::string(lng)), lng);
        WriteFile(Program / "Presetup/UnKest.exe", "uninstaller");
    }
};

TEST_F(PresetupTest, ProjectFilesWinAndDefaultsFillGaps) {
    DefaultTree("ENU", "1");
    WriteFile(Image / "Presetup/Setup.dat", "project");
    WriteFile(Image / "Presetup/Sub/Deep/Only.txt", "project deep");
    fs::create_directories(Image / "Presetup/Empty");
    WriteFile(Program / "Presetup/Setup.dat", "default");
    WriteFile(Program / "Presetup/Lib.dll", "default lib");
    WriteFile(Program / "Presetup/Sub/Other.txt", "default sub");
    AssemblePresetup();
    EXPECT_EQ(CopyOf("Setup.dat"), "project");
    EXPECT_EQ(CopyOf("Lib.dll"), "default lib");
    EXPECT_EQ(CopyOf("Sub/Deep/Only.txt"), "project deep");
    EXPECT_EQ(CopyOf("Sub/Other.txt"), "default sub");
    EXPECT_TRUE(fs::is_directory(Build / "Presetup/Empty"));
    EXPECT_EQ(BuildState().RuntimeIni, Build.Path() + "Presetup\\Kest.ini");
    // The sources are only read.
    EXPECT_EQ(TestUtil::ReadFile(Program / "Presetup/Setup.dat"), "default");
}

TEST_F(PresetupTest, EmptyProjectPresetupGivesTheDefaults) {
    DefaultTree("ENU,DEU,FRA,ITA,PT.BR", "1");
    fs::create_directories(Image / "Presetup");
    AssemblePresetup();
    for (const char* name :
         {"Kest.ini", "ENU.lng", "DEU.lng", "FRA.lng", "ITA.lng", "pt.br.lng", "UnKest.exe"})
        EXPECT_TRUE(InCopy(name)) << name;
}

TEST_F(PresetupTest, LanguagePruningTable) {
    struct Case {
        const char* languages;
        std::vector<std::string> kept;
    } cases[] = {
        {"DEU,FRA", {"ENU.lng", "DEU.lng", "FRA.lng"}},
        {"deu", {"ENU.lng", "DEU.lng"}},
        {"", {"ENU.lng"}},
        {"ENU, DEU", {"ENU.lng"}},  // the second word is " DEU"
        {"ITA,,pt.br", {"ENU.lng", "ITA.lng", "pt.br.lng"}},
    };
    for (const auto& c : cases) {
        TestUtil::TempDir program, build;
        BuildState().ProgramDir = program.Path();
        BuildState().BuildDir = build.Path();
        WriteFile(program / "Presetup/Kest.ini",
                  std::string("[Config]\nLanguages=") + c.languages + "\nUninstall=1\n");
        for (const char* lng : {"ENU.lng", "DEU.lng", "FRA.lng", "ITA.lng", "pt.br.lng"})
            WriteFile(program / ("Presetup/" + std::string(lng)), lng);
        AssemblePresetup();
        std::vector<std::string> kept;
        for (const char* lng : {"ENU.lng", "DEU.lng", "FRA.lng", "ITA.lng", "pt.br.lng"})
            if (TestUtil::Exists(build / ("Presetup/" + std::string(lng)))) kept.push_back(lng);
        EXPECT_EQ(kept, c.kept) << c.languages;
        ProfileDropIni(BuildState().RuntimeIni);
    }
}

TEST_F(PresetupTest, OnlyTopLevelLanguageFilesArePruned) {
    DefaultTree("ENU", "1");
    WriteFile(Image / "Presetup/Sub/ITA.lng", "kept: not in the top level");
    fs::create_directories(Image / "Presetup/FRA.lng");  // a directory is never deleted
    AssemblePresetup();
    EXPECT_TRUE(InCopy("Sub/ITA.lng"));
    EXPECT_TRUE(fs::is_directory(Build / "Presetup/FRA.lng"));
    EXPECT_FALSE(InCopy("ITA.lng"));
}

TEST_F(PresetupTest, UninstallerKeptOnlyForOne) {
    struct Case {
        const char* value;
        bool kept;
    } cases[] = {{"1", true}, {"yes", false}, {"true", false}, {"0", false}};
    for (const auto& c : cases) {
        TestUtil::TempDir program, build;
        BuildState().ProgramDir = program.Path();
        BuildState().BuildDir = build.Path();
        WriteFile(program / "Presetup/Kest.ini", std::string("[Config]\nUninstall=") + c.value);
        WriteFile(program / "Presetup/UnKest.exe", "u");
        AssemblePresetup();
        EXPECT_EQ(TestUtil::Exists(build / "Presetup/UnKest.exe"), c.kept) << c.value;
        ProfileDropIni(BuildState().RuntimeIni);
    }
}

TEST_F(PresetupTest, MissingKestIniKeepsEnglishOnlyAndNoUninstaller) {
    for (const char* name : {"ENU.lng", "DEU.lng", "UnKest.exe"})
        WriteFile(Program / ("Presetup/" + std::string(name)), name);
    AssemblePresetup();
    EXPECT_TRUE(InCopy("ENU.lng"));
    EXPECT_FALSE(InCopy("DEU.lng"));
    EXPECT_FALSE(InCopy("UnKest.exe"));
}

TEST_F(PresetupTest, ReadOnlyFilesStayReadOnlyButKestIniBecomesWritable) {
    DefaultTree("ENU", "1");
    WriteFile(Image / "Presetup/Kest.ini", "[Config]\nUninstall=1\n");
    WriteFile(Image / "Presetup/Fixed.txt", "fixed");
    auto readOnly = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(Image / "Presetup/Kest.ini", readOnly, fs::perm_options::remove);
    fs::permissions(Image / "Presetup/Fixed.txt", readOnly, fs::perm_options::remove);
    AssemblePresetup();
    auto isReadOnly = [](const std::string& path) {
        return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
    };
    EXPECT_TRUE(isReadOnly(Build / "Presetup/Fixed.txt"));
    EXPECT_FALSE(isReadOnly(Build / "Presetup/Kest.ini"));
    // The records of later steps reach the copy.
    ProfileWriteString(BuildState().RuntimeIni, "FileInfo", "A.txt", "1");
    ProfileFlushAll();
    EXPECT_NE(CopyOf("Kest.ini").find("A.txt=1"), std::string::npos);
}

}  // namespace
