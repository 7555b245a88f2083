// The real Setup.exe, built by the real kestbuild, installing under Wine in silent mode.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "InstallerKit.h"
#include "PeFixture.h"
#include "TestUtil.h"

namespace fs = std::filesystem;
using namespace InstallerKit;

namespace {

constexpr int Installed = 0, BadSwitches = 2, WrongPassword = 3, Damaged = 4;

// A real x86 program: the package keeps it through the x86 branch filter.
std::string Program() {
    return TestUtil::ReadFile(TestUtil::Env("KEST_BIN_DIR") + "/Presetup/UnKest.exe");
}

std::vector<TFile> Tree() {
    return {{"empty.txt", ""},
            {"bin/Tool.exe", Program()},
            {"one.bin", "x"},
            {"odd size.dat", Bytes(70001, 1)},
            {"Sub Dir/Deeper/nested file.bin", Bytes(300000, 2)},
            {"Sub Dir/readme.txt", "Read me.\r\n"},
            {"big.bin", Bytes(3 << 20, 3)}};
}

class InstallerTest : public ::testing::Test {
  protected:
    std::string Target() const { return Tmp.Path() + "Program Files/Kest App"; }
    std::string Log() const { return Tmp.Path() + "install.log"; }
    TRun Install(const TBuilt& built, std::vector<std::string> args) {
        args.push_back("/LOG=" + WinPath(Log()));
        args.push_back("/D=" + WinPath(Target()));
        return RunWine(built.Exe, args);
    }
    std::string LogText() const {
        return TestUtil::Exists(Log()) ? TestUtil::ReadFile(Log()) : std::string();
    }
    void ExpectInstalled(const std::vector<TFile>& files) {
        const auto installed = Snapshot(Target());
        for (const TFile& f : files) {
            const auto it = installed.find(f.Name);
            ASSERT_NE(it, installed.end()) << f.Name;
            EXPECT_TRUE(it->second == f.Bytes) << f.Name << " differs";
            EXPECT_NE(LogText().find("installed " + WinName(f.Name)), std::string::npos) << f.Name;
        }
        EXPECT_TRUE(NoNewTempDirs());
    }
    // The name as the installer logs it: "\" separators, Windows-1252 (Latin-1 here).
    static std::string WinName(const std::string& utf8) {
        std::string out;
        for (size_t i = 0; i < utf8.size(); ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if (c == '/')
                out += '\\';
            else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size())
                out += static_cast<char>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F));
            else
                out += static_cast<char>(c);
        }
        return out;
    }
    void SetUp() override { TempDirsBefore = LeftoverTempDirs(); }
    void TearDown() override { DeleteRegistration(Project.Title); }
    // A killed run elsewhere may have left its folder; this test's runs must leave none.
    bool NoNewTempDirs() const { return LeftoverTempDirs() == TempDirsBefore; }

    TestUtil::TempDir Tmp;
    TProject Project;
    std::vector<std::string> TempDirsBefore;
};

TEST_F(InstallerTest, SilentInstallPutsEveryFileInPlace) {
    struct TCase {
        const char* Name;
        std::string Password, VolumeSize;
    };
    for (const TCase& c : {TCase{"plain", "", ""}, TCase{"protected", "s3cret pw", ""},
                           TCase{"volumes", "", "1M"}, TCase{"protected volumes", "pw", "700K"}}) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(Target());
        Project.Data = Tree();
        Project.Password = c.Password;
        Project.VolumeSize = c.VolumeSize;
        const TBuilt built = Build(Tmp.Path() + c.Name, Project);
        if (!c.VolumeSize.empty()) {
            ASSERT_TRUE(fs::exists(built.Dir + "/Setup.2"));
        }
        std::vector<std::string> args = {"/S"};
        if (!c.Password.empty()) args.push_back("/PASSWORD=" + c.Password);
        const TRun r = Install(built, args);
        EXPECT_EQ(r.Code, Installed) << r.Err << LogText();
        ExpectInstalled(Project.Data);
        EXPECT_TRUE(fs::exists(Target() + "/UnKest.exe"));
        EXPECT_EQ(RegistryValue(Project.Title, "DisplayName"), Project.Title);
        DeleteRegistration(Project.Title);
    }
}

// A build without a password keeps the check hash that the project's Kest.ini holds; the
// installer tells from the data that nothing is protected and asks for no password.
TEST_F(InstallerTest, StaleCheckHashWithPlainDataInstallsWithoutPassword) {
    for (const char* volumeSize : {"", "700K"}) {
        SCOPED_TRACE(volumeSize);
        fs::remove_all(Target());
        fs::remove(Log());
        Project.Data = Tree();
        Project.VolumeSize = volumeSize;
        Project.KestIniExtra =
            "PswCheckHash=8C6A0BD7D2A2D5C4C7E5D6B2F1A0E9D8C7B6A5F4E3D2C1B0A9F8E7D6C5B4A3F2\r\n";
        const TBuilt built = Build(Tmp.Path() + "stale" + volumeSize, Project);
        const TRun r = Install(built, {"/S"});
        EXPECT_EQ(r.Code, Installed) << r.Err << LogText();
        ExpectInstalled(Project.Data);
        EXPECT_NE(LogText().find("the data files are not protected"), std::string::npos)
            << LogText();
        DeleteRegistration(Project.Title);
    }
}

// The build stores names in Windows-1252; Wine creates them as the file system spells them.
TEST_F(InstallerTest, NonAsciiNamesAreInstalledAsSpelled) {
    Project.Data = {{"café.txt", "coffee"}, {"Ärger/ü.txt", "umlaut"}};
    const TRun r = Install(Build(Tmp.Path() + "p", Project), {"/S"});
    EXPECT_EQ(r.Code, Installed) << r.Err;
    ExpectInstalled(Project.Data);
}

// Whatever goes wrong, the target is exactly as it was before, replaced files included.
TEST_F(InstallerTest, FailuresLeaveTheTargetAsItWas) {
    Project.Data = Tree();
    Project.Password = "right";
    const TBuilt built = Build(Tmp.Path() + "p", Project);
    TestUtil::WriteFile(Target() + "/odd size.dat", "the user's older copy");
    TestUtil::WriteFile(Target() + "/Sub Dir/mine.txt", "the user's own file");
    const auto before = Snapshot(Target());

    // One flipped byte inside the last, incompressible file's data.
    const std::string damaged = Tmp.Path() + "damaged/Setup.exe";
    fs::create_directories(Tmp.Path() + "damaged");
    std::string bytes = TestUtil::ReadFile(built.Exe);
    bytes[bytes.size() - 8 - 24 - 13 - 9 - 5000] ^= 0x20;
    TestUtil::WriteFile(damaged, bytes);
    // The package without its volume trailer and end.
    const std::string truncated = Tmp.Path() + "truncated/Setup.exe";
    TestUtil::WriteFile(truncated, TestUtil::ReadFile(built.Exe).substr(0, bytes.size() / 2));

    struct TCase {
        const char* Name;
        std::string Exe;
        std::vector<std::string> Args;
        int Code;
    };
    const TCase cases[] = {
        {"wrong password", built.Exe, {"/S", "/PASSWORD=wrong"}, WrongPassword},
        {"no password", built.Exe, {"/S"}, WrongPassword},
        {"damaged block", damaged, {"/S", "/PASSWORD=right"}, Damaged},
        {"truncated", truncated, {"/S", "/PASSWORD=right"}, Damaged},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TRun r = RunWine(c.Exe, [&] {
            auto args = c.Args;
            args.push_back("/LOG=" + WinPath(Log()));
            args.push_back("/D=" + WinPath(Target()));
            return args;
        }());
        EXPECT_EQ(r.Code, c.Code) << r.Err;
        EXPECT_TRUE(Snapshot(Target()) == before);
        EXPECT_TRUE(NoNewTempDirs());
        EXPECT_EQ(RegistryValue(Project.Title, "DisplayName"), "");
        EXPECT_FALSE(r.Err.empty());
    }
    // The same package installs once the password is right.
    const TRun ok = Install(built, {"/S", "/PASSWORD=right"});
    EXPECT_EQ(ok.Code, Installed) << ok.Err;
    ExpectInstalled(Project.Data);
    EXPECT_EQ(TestUtil::ReadFile(Target() + "/Sub Dir/mine.txt"), "the user's own file");
}

TEST_F(InstallerTest, MissingVolumeFailsInSilentMode) {
    Project.Data = Tree();
    Project.VolumeSize = "500K";
    const TBuilt built = Build(Tmp.Path() + "p", Project);
    ASSERT_TRUE(fs::exists(built.Dir + "/Setup.3"));
    fs::remove(built.Dir + "/Setup.3");
    const TRun r = Install(built, {"/S"});
    EXPECT_EQ(r.Code, Damaged);
    EXPECT_NE(r.Err.find("Setup.3"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(Target()));
    EXPECT_TRUE(NoNewTempDirs());
}

TEST_F(InstallerTest, NewerInstalledVersionIsKeptOlderIsReplaced) {
    auto pe = [](uint32_t ms, uint32_t ls) {
        PeFixture::ImageDesc d;
        d.ms = ms;
        d.ls = ls;
        return PeFixture::Make(d).bytes;
    };
    const std::string newer = pe(0x00020000, 0), older = pe(0x00010000, 0);
    Project.Data = {
        {"App.dll", pe(0x00010005, 0)}, {"Lib.dll", pe(0x00010005, 0)}, {"plain.txt", "text"}};
    const TBuilt built = Build(Tmp.Path() + "p", Project);
    TestUtil::WriteFile(Target() + "/App.dll", newer);
    TestUtil::WriteFile(Target() + "/Lib.dll", older);
    const TRun r = Install(built, {"/S"});
    EXPECT_EQ(r.Code, Installed) << r.Err;
    EXPECT_TRUE(TestUtil::ReadFile(Target() + "/App.dll") == newer);
    EXPECT_TRUE(TestUtil::ReadFile(Target() + "/Lib.dll") == Project.Data[1].Bytes);
    EXPECT_NE(LogText().find("kept App.dll: the installed version 2.0.0.0 is newer than 1.5.0.0"),
              std::string::npos)
        << LogText();
    EXPECT_NE(LogText().find("installed Lib.dll"), std::string::npos);
}

TEST_F(InstallerTest, SignedSetupInstalls) {
    if (std::system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null") != 0)
        GTEST_SKIP() << "osslsigncode or openssl is not installed";
    Project.Data = Tree();
    const TBuilt built = Build(Tmp.Path() + "p", Project);
    const std::string d = Tmp.Path();
    const std::string make = "cd '" + d +
                             "' && openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
                             "-subj /CN=KestTest -keyout key.pem -out cert.pem >/dev/null 2>&1 && "
                             "osslsigncode sign -certs cert.pem -key key.pem -in '" +
                             built.Exe + "' -out Signed.exe >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    fs::create_directories(d + "signed");
    fs::rename(d + "Signed.exe", d + "signed/Setup.exe");
    ASSERT_GT(fs::file_size(d + "signed/Setup.exe"), fs::file_size(built.Exe));
    const TRun r = Install({d + "signed", d + "signed/Setup.exe"}, {"/S"});
    EXPECT_EQ(r.Code, Installed) << r.Err;
    ExpectInstalled(Project.Data);
}

TEST_F(InstallerTest, UninstallRemovesWhatWasInstalledAndKeepsTheUsersFiles) {
    for (bool userFile : {true, false}) {
        SCOPED_TRACE(userFile ? "with a file of the user's" : "nothing else");
        fs::remove_all(Tmp.Path() + "Program Files");
        Project.Data = Tree();
        const TBuilt built = Build(Tmp.Path() + (userFile ? "a" : "b"), Project);
        ASSERT_EQ(Install(built, {"/S"}).Code, Installed);
        ASSERT_NE(RegistryValue(Project.Title, "UninstallString"), "");
        if (userFile) TestUtil::WriteFile(Target() + "/Sub Dir/notes.txt", "mine");
        const TRun r = RunWine(Target() + "/UnKest.exe", {"/S"});
        EXPECT_EQ(r.Code, 0) << r.Err;
        // The uninstaller's own file, its record and the empty folders go from a copy that
        // waits for it to end.
        for (int i = 0;
             i < 300 && (fs::exists(Target() + "/UnKest.exe") ||
                         fs::exists(Target() + "/UnKest.dat") || fs::exists(Target()) != userFile ||
                         fs::exists(Tmp.Path() + "Program Files") != userFile);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::map<std::string, std::string> expected;
        if (userFile) expected = {{"Sub Dir/", ""}, {"Sub Dir/notes.txt", "mine"}};
        EXPECT_TRUE(Snapshot(Target()) == expected);
        EXPECT_EQ(fs::exists(Target()), userFile);
        EXPECT_TRUE(fs::exists(Tmp.Path() + "Program Files") == userFile);
        EXPECT_EQ(RegistryValue(Project.Title, "UninstallString"), "");
    }
}

TEST_F(InstallerTest, SwitchesAreChecked) {
    Project.Data = {{"a.txt", "a"}};
    const TBuilt built = Build(Tmp.Path() + "p", Project);
    EXPECT_EQ(RunWine(built.Exe, {"/S", "/BOGUS"}).Code, BadSwitches);
    const TRun help = RunWine(built.Exe, {"/S", "/?"});
    EXPECT_EQ(help.Code, 0);
    EXPECT_NE(help.Err.find("/D="), std::string::npos) << help.Err;
    EXPECT_FALSE(fs::exists(Target()));
}

}  // namespace
