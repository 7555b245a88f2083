// Runs the real program on projects made in scratch directories, then opens what it built
// with kestx. Natively and, in the Windows build, KestBuild.exe under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "HPacker.h"
#include "PkgParse.h"
#include "PkgTrailer.h"
#include "Platform.h"
#include "ProgramRun.h"
#include "TestUtil.h"
#include "kvFileUtils.h"

namespace {

namespace fs = std::filesystem;
using TestUtil::Exists;
using TestUtil::ReadFile;
using TestUtil::WriteFile;
using Lines = std::vector<std::string>;

const std::string Title = "Marvo Installer 1.62 build utility";
const Lines Banner = {"", Title, std::string(34, '=')};
const std::string FailedLine = "Package building is failed! Press any key...";

std::string BinDir() {
    return TestUtil::Env("KEST_BIN_DIR") + "/";
}
std::string ExeSuffix() {
    return IsWindowsHost() ? ".exe" : "";
}
std::string KestBuildName() {
    return IsWindowsHost() ? "KestBuild.exe" : "kestbuild";
}

uint32_t Le32At(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return v;
}

// The stored names of a built executable's package, read as the installer reads them.
std::vector<std::string> StoredNames(const std::string& exe) {
    TMemorySource src(exe.data(), exe.size());
    const TTrailer trailer = LocateTrailer(src);
    TPackageStream stream(src, FirstVolumeBegin(src, trailer.Offset), trailer.Offset, "Setup.exe",
                          nullptr);
    TPackageParser parser(stream);
    std::vector<std::string> names;
    TFileEntry file;
    std::vector<unsigned char> block;
    while (parser.NextFile(file)) {
        names.push_back(file.Name);
        while (parser.NextBlock(block)) {
        }
    }
    return names;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen());
    return s;
}

bool Contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

size_t IndexOf(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

// Where the report of an escaping error begins (its message may span lines).
size_t ReportAt(const Lines& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("Error: ", 0) == 0) return i;
    return lines.size();
}

// The last progress line drawn for each shown name, in the order the names first appear.
std::vector<std::pair<std::string, std::string>> FinalProgress(const Lines& lines, size_t from,
                                                               size_t to) {
    std::vector<std::pair<std::string, std::string>> shown;
    for (size_t i = from; i < to && i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.rfind("  Adding ", 0) != 0 || l.size() < 63) continue;
        std::string name = l.substr(9, l.find("  ", 9) - 9);
        auto it = std::find_if(shown.begin(), shown.end(),
                               [&](const auto& p) { return p.first == name; });
        if (it == shown.end())
            shown.emplace_back(name, l.substr(60));
        else
            it->second = l.substr(60);
    }
    return shown;
}

// The error box's text, where it can be seen: on standard error natively; under Windows the
// box takes it.
void ExpectInBox(const TRunResult& r, const std::string& text) {
    if (IsWindowsHost()) return;
    EXPECT_NE(r.Err.find(text), std::string::npos) << r.Err;
}

std::vector<std::string> NamesOf(const std::vector<std::pair<std::string, std::string>>& shown) {
    std::vector<std::string> names;
    for (const auto& p : shown) names.push_back(p.first);
    return names;
}

// A small file system of its own (a tmpfs) mounted at a scratch directory, natively and
// where this user may mount; Mounted is false otherwise.
class TSmallDisk {
  public:
    TSmallDisk(const std::string& dir, const std::string& size) : Dir(dir) {
        if (IsWindowsHost()) return;
        fs::create_directories(dir);
        std::string mount = "mount -t tmpfs -o size=" + size + " tmpfs '" + dir + "' 2>/dev/null";
        Mounted = std::system(mount.c_str()) == 0;
    }
    ~TSmallDisk() {
        if (Mounted) std::system(("umount '" + Dir + "'").c_str());
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;
    bool Mounted = false;

  private:
    std::string Dir;
};

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (TestUtil::Env("KEST_BIN_DIR").empty()) GTEST_SKIP() << "KEST_BIN_DIR not set";
        Program = BinDir() + KestBuildName();
        // A CI service's own variables must not switch the key wait off here.
        Env = {{"TMPDIR", HostPath(Tmp.Path())},
               {"TMP", HostPath(Tmp.Path())},
               {"TEMP", HostPath(Tmp.Path())},
               {"CI", ""},
               {"KEST_NO_WAIT", ""}};
    }

    // A small image: project presetup over the defaults, a data tree with a subfolder, an
    // empty file and a hidden folder, and links of both kinds.
    void MakeDemo(const std::string& extraConfig = "", const std::string& iniExtra = "") {
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=1\r\n" +
                                         extraConfig +
                                         "[FileLinks]\r\n"
                                         "Presetup\\Extra.lng=Links\\Extra.lng\r\n"
                                         "Data\\System\\Shared.dll=Links\\Shared.dll\r\n"
                                         "Data\\App.txt=Links\\Readme.txt\r\n"
                                         "Other\\Ignored.txt=Links\\Readme.txt\r\n");
        WriteFile(Work / "Image/Presetup/Kest.ini",
                  "[Config]\r\nLanguages=DEU,fra\r\nUninstall=0\r\n" + iniExtra +
                      "[FileInfo]\r\nStale.txt=1\r\n");
        WriteFile(Work / "Image/Presetup/Setup.dat", "project setup data");
        WriteFile(Work / "Image/Presetup/ENU.lng", "project english");
        WriteFile(Work / "Image/Data/App.txt", std::string(1000, 'a'));
        WriteFile(Work / "Image/Data/Empty.dat", "");
        WriteFile(Work / "Image/Data/Sub/Deep.txt", RandomBytes(70000, 1));
        WriteFile(Work / "Image/Data/.hidden/H.txt", "hidden");
        Plat::SetAttributes(Work / "Image/Data/.hidden", Plat::AttrDirectory | Plat::AttrHidden);
        WriteFile(Work / "Links/Extra.lng", "extra language");
        WriteFile(Work / "Links/Shared.dll", std::string(300, 's'));
        WriteFile(Work / "Links/Readme.txt", "the link that the image's own file replaces");
    }

    TRunResult Build(const std::vector<std::string>& args = {"Demo"}, TEnvList extra = {}) {
        TEnvList env = Env;
        env.insert(env.end(), extra.begin(), extra.end());
        return RunProgram(Work.Path(), Program, args, env);
    }

    TRunResult Kestx(const std::vector<std::string>& args) {
        return RunProgram(Work.Path(), BinDir() + "kestx" + ExeSuffix(), args);
    }

    // Extracts Setup.exe below Work/X and returns the directory.
    std::string Extract(const std::string& exe, const std::string& password = "") {
        std::vector<std::string> args = {"extract", exe, "X"};
        if (!password.empty()) args.insert(args.end(), {"--password", password});
        TRunResult r = Kestx(args);
        EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        return Work / "X/";
    }

    bool TmpIsEmpty() const { return fs::is_empty(Tmp.Path()); }

    // A program directory of its own with the given library as Pack.dll ("" for none).
    std::string PrivateProgram(const std::string& library, bool withStub = true) {
        for (const char* name :
             {"Presetup/Kest.ini", "Presetup/ENU.lng", "Presetup/DEU.lng", "Presetup/UnKest.exe"})
            WriteFile(Bin / name, ReadFile(BinDir() + name));
        if (withStub) fs::copy_file(BinDir() + "Kest.sfx", Bin / "Kest.sfx");
        if (!library.empty())
            fs::copy_file(TestUtil::Env("KEST_BUILD_TESTLIBS") + "/" + library, Bin / "Pack.dll");
        fs::copy_file(Program, Bin / KestBuildName());
        Program = Bin / KestBuildName();
        return Program;
    }

    TestUtil::TempDir Work, Tmp, Bin;
    std::string Program;
    TEnvList Env;
};

TEST_F(EndToEnd, SuccessfulBuildWithoutPassword) {
    MakeDemo();
    std::string dll = VersionedDll();
    if (!dll.empty()) fs::copy_file(dll, Work / "Image/Data/Lib.dll");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    Lines lines = r.OutLines();
    Lines head(Banner);
    head.insert(head.end(), {"Building presetup directory...", "Getting information about files...",
                             "Creating package...", "Compressing presetup files:"});
    ASSERT_GE(lines.size(), head.size() + 4);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + head.size()), head) << r.Out;
    EXPECT_EQ(
        Lines(lines.end() - 3, lines.end()),
        Lines({"Closing package...", "Converting to SFX...", "Package building is completed."}));
    EXPECT_FALSE(Contains(lines, "Enabling password protection..."));
    size_t dataAt = IndexOf(lines, "Compressing data files:");
    ASSERT_LT(dataAt, lines.size());

    auto presetup = FinalProgress(lines, head.size(), dataAt);
    auto data = FinalProgress(lines, dataAt, lines.size());
    EXPECT_EQ(NamesOf(presetup), Lines({"DEU.lng", "ENU.lng", "FRA.lng", "Kest.ini", "Setup.dat",
                                        "Links\\Extra.lng"}));
    Lines dataNames = {"App.txt", "Empty.dat", ".hidden\\H.txt", "Sub\\Deep.txt",
                       "Links\\Shared.dll"};
    if (!dll.empty()) dataNames.insert(dataNames.begin() + 2, "Lib.dll");
    EXPECT_EQ(NamesOf(data), dataNames);
    for (const auto& p : presetup) EXPECT_EQ(p.second, "Ok  ") << p.first;
    for (const auto& p : data) EXPECT_EQ(p.second, "Ok  ") << p.first;

    EXPECT_FALSE(Exists(Work / "Setup.1"));
    EXPECT_TRUE(TmpIsEmpty());
    std::string exe = ReadFile(Work / "Setup.exe");
    std::string stub = ReadFile(BinDir() + "Kest.sfx");
    ASSERT_GT(exe.size(), stub.size() + 8);
    EXPECT_TRUE(exe.substr(0, stub.size()) == stub);
    EXPECT_EQ(Le32At(exe, exe.size() - 4), exe.size() - 8);

    std::string x = Extract("Setup.exe");
    // Merge: the project's files win, the defaults fill gaps; languages and uninstaller pruned.
    EXPECT_EQ(ReadFile(x + "Presetup/ENU.lng"), "project english");
    EXPECT_EQ(ReadFile(x + "Presetup/Setup.dat"), "project setup data");
    EXPECT_EQ(ReadFile(x + "Presetup/DEU.lng"), ReadFile(BinDir() + "Presetup/DEU.lng"));
    EXPECT_EQ(ReadFile(x + "Presetup/Extra.lng"), "extra language");
    EXPECT_FALSE(Exists(x + "Presetup/ITA.lng"));
    EXPECT_FALSE(Exists(x + "Presetup/UnKest.exe"));
    uint32_t presetupSize = 0;
    for (const auto& e : fs::directory_iterator(x + "Presetup"))
        presetupSize += static_cast<uint32_t>(fs::file_size(e.path()));
    EXPECT_EQ(Le32At(exe, exe.size() - 8), presetupSize);
    // Data: the image's own App.txt, not the pruned link; links under their stored names.
    EXPECT_EQ(ReadFile(x + "Data/App.txt"), std::string(1000, 'a'));
    EXPECT_TRUE(ReadFile(x + "Data/Sub/Deep.txt") == RandomBytes(70000, 1));
    EXPECT_EQ(ReadFile(x + "Data/.hidden/H.txt"), "hidden");
    EXPECT_EQ(ReadFile(x + "Data/System/Shared.dll"), std::string(300, 's'));
    EXPECT_FALSE(Exists(x + "Other"));
    std::string ini = ReadFile(x + "Presetup/Kest.ini");
    for (const char* entry : {"App.txt=1000", "Empty.dat=0", "Sub\\Deep.txt=70000",
                              ".hidden\\H.txt=6", "System\\Shared.dll=300", "Stale.txt=1"})
        EXPECT_NE(ini.find(entry), std::string::npos) << entry << "\n" << ini;
    if (!dll.empty()) {
        std::string entry = "Lib.dll=" + std::to_string(fs::file_size(dll)) + ",";
        EXPECT_NE(ini.find(entry), std::string::npos) << "version after the size\n" << ini;
    }
    // The sources stay as they were.
    EXPECT_EQ(ReadFile(Work / "Image/Presetup/Kest.ini").find("App.txt"), std::string::npos);
}

TEST_F(EndToEnd, PasswordProtectsTheDataFiles) {
    MakeDemo("Password=Secret 1\r\nExeName=Out\\Protected\r\n");
    fs::create_directories(Work / "Out");
    TRunResult r = Build({"Demo.txt"});
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    Lines lines = r.OutLines();
    size_t enable = IndexOf(lines, "Enabling password protection...");
    size_t data = IndexOf(lines, "Compressing data files:");
    ASSERT_LT(enable, lines.size()) << r.Out;
    EXPECT_EQ(enable + 1, data);
    EXPECT_GT(enable, IndexOf(lines, "Compressing presetup files:"));
    EXPECT_EQ(lines.back(), "Package building is completed.");
    EXPECT_TRUE(Exists(Work / "Out/Protected.exe"));
    EXPECT_FALSE(Exists(Work / "Out/Protected.1"));
    EXPECT_TRUE(TmpIsEmpty());

    EXPECT_EQ(Kestx({"verify", "Out/Protected.exe"}).ExitCode, 2);
    EXPECT_EQ(Kestx({"verify", "Out/Protected.exe", "--password", "wrong"}).ExitCode, 2);
    TRunResult ok = Kestx({"verify", "Out/Protected.exe", "--password", "Secret 1"});
    EXPECT_EQ(ok.ExitCode, 0) << ok.Out << ok.Err;
    std::string x = Extract("Out/Protected.exe", "Secret 1");
    EXPECT_TRUE(ReadFile(x + "Data/Sub/Deep.txt") == RandomBytes(70000, 1));
    std::string ini = ReadFile(x + "Presetup/Kest.ini");
    EXPECT_NE(ini.find("PswCheckHash=" + TPacker::HashStringHex("zvqSecret 1zvq")),
              std::string::npos)
        << ini;
}

TEST_F(EndToEnd, ValidationMessages) {
    WriteFile(Work / "NoImage.kst", "[Config]\r\nExeName=Setup\r\n");
    WriteFile(Work / "BadImage.kst", "[Config]\r\nImagePath=Nowhere\r\n");
    WriteFile(Work / "NoPresetup.kst", "[Config]\r\nImagePath=Image\r\n");
    WriteFile(Work / "Image/Presetup", "a file where the Presetup directory belongs");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "Data file (*.kst) was not specified!"},
        {{"Missing.txt"}, "Missing.kst is not found!"},
        {{"NoImage"}, "Image directory is not exists!"},
        {{"BadImage", "ignored"}, "Image directory is not exists!"},
        {{"NoPresetup"}, "Presetup directory is not exists!"},
    };
    for (const auto& c : cases) {
        TRunResult r = Build(c.args);
        // Standard input is not a console: the key wait fails and that error is reported.
        EXPECT_EQ(r.ExitCode, 1) << c.message;
        Lines lines = r.OutLines();
        ASSERT_GE(lines.size(), 5u) << r.Out;
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3), Banner);
        EXPECT_EQ(lines[3], FailedLine);
        EXPECT_EQ(ReportAt(lines), 4u) << r.Out;
        EXPECT_NE(r.Out.find("There is no console to wait on for a key"), std::string::npos)
            << r.Out;
        EXPECT_EQ(r.Out.find(c.message), std::string::npos) << "the box text is not console text";
        ExpectInBox(r, c.message);
        EXPECT_TRUE(TmpIsEmpty());
        EXPECT_FALSE(Exists(Work / "Setup.exe"));
    }
    // The box names the full path of the project file and carries the caption "Error".
    TRunResult r = Build({"Missing"});
    ExpectInBox(r, "File " + Plat::FullPath(Work / "Missing.kst") + " is not found!");
    ExpectInBox(r, "Error");
}

TEST_F(EndToEnd, ByteOrderMarksOfWindowsEditorsAreSkipped) {
    MakeDemo();
    const std::string bom = "\xEF\xBB\xBF";
    for (const char* name : {"Demo.kst", "Image/Presetup/Kest.ini"})
        WriteFile(Work / name, bom + ReadFile(Work / name));
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    // Both first sections count: the image was found, and Kest.ini's languages were kept.
    std::string x = Extract("Setup.exe");
    EXPECT_TRUE(Exists(x + "Presetup/FRA.lng"));
    EXPECT_FALSE(Exists(x + "Presetup/ITA.lng"));
    EXPECT_EQ(ReadFile(x + "Data/App.txt"), std::string(1000, 'a'));
}

TEST_F(EndToEnd, KeyWaitSwitchedOffForUnattendedRuns) {
    struct Case {
        TEnvList env;
        bool waits;
    } cases[] = {
        {{{"KEST_NO_WAIT", "1"}}, false},
        {{{"CI", "true"}}, false},
        {{{"CI", "1"}, {"KEST_NO_WAIT", "0"}}, false},
        {{{"KEST_NO_WAIT", "0"}}, true},
        {{{"KEST_NO_WAIT", "yes"}}, true},
    };
    for (const auto& c : cases) {
        std::string what = c.env[0].first + "=" + c.env[0].second;
        TRunResult r = Build({"Missing"}, c.env);
        EXPECT_EQ(r.ExitCode, 1) << what;
        Lines lines = r.OutLines();
        ASSERT_GE(lines.size(), 4u) << what << "\n" << r.Out;
        EXPECT_EQ(lines[3], c.waits ? FailedLine : "Package building is failed!") << what;
        // Without a wait there is no failing key wait to report.
        EXPECT_EQ(ReportAt(lines) < lines.size(), c.waits) << what << "\n" << r.Out;
    }
}

TEST_F(EndToEnd, HelpAndVersionAsTheFirstArgument) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string shown;  // a line of standard output
    } cases[] = {
        {{"--help"}, 0, "Usage: " + KestBuildName() + " PROJECT[.kst]"},
        {{"--version"}, 0, Title},
        {{"--help", "more"}, 0, Title},
        {{"--helpme"}, 1, FailedLine},
        {{"Demo", "--help"}, 1, FailedLine},
    };
    for (const auto& c : cases) {
        TRunResult r = Build(c.args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << c.args[0];
        EXPECT_TRUE(Contains(r.OutLines(), c.shown)) << c.args[0] << "\n" << r.Out;
        if (c.exitCode == 0) {
            EXPECT_EQ(r.Err, "") << c.args[0];
            EXPECT_EQ(r.Out.find("Package building"), std::string::npos) << c.args[0];
        }
    }
    ExpectInBox(Build({"--helpme"}), "--helpme.kst is not found!");
}

// Spelled as on Windows, where letter case does not matter: the program and Pack.dll find
// the same files.
TEST_F(EndToEnd, NamesSpelledInAnotherCaseFindTheirFiles) {
    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=IMG\r\nExeName=OUT\\Setup.exe\r\nCompressionLevel=1\r\n"
              "[FileLinks]\r\nData\\Linked.txt=EXT\\Linked.TXT\r\n"
              "Presetup\\Extra.lng=ext\\SUB\\EXTRA.LNG\r\n");
    WriteFile(Work / "img/presetup/Kest.ini", "[Config]\r\nLanguages=DEU\r\n");
    WriteFile(Work / "img/data/App.txt", "app");
    WriteFile(Work / "img/data/sub/Deep.txt", "deep");
    WriteFile(Work / "ext/linked.txt", "linked");
    WriteFile(Work / "ext/sub/extra.lng", "extra");
    fs::create_directories(Work / "out");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Err, "");
    std::string x = Extract("out/Setup.exe");
    EXPECT_EQ(ReadFile(x + "Data/App.txt"), "app");
    EXPECT_EQ(ReadFile(x + "Data/sub/Deep.txt"), "deep");
    EXPECT_EQ(ReadFile(x + "Data/Linked.txt"), "linked");
    EXPECT_EQ(ReadFile(x + "Presetup/Extra.lng"), "extra");
    EXPECT_TRUE(Exists(x + "Presetup/DEU.lng"));
}

// What Pack.dll refuses, it names on standard error with the system's reason.
TEST_F(EndToEnd, RefusalsNameTheFileAndTheReason) {
    struct Case {
        const char* what;
        std::string config;  // more lines of [Config]
        std::string links;   // lines of [FileLinks]
        std::string told;    // the start of Pack.dll's line
        std::string reason;  // its end ("" for any non-empty system text)
    } cases[] = {
        {"missing link source", "", "Data\\Gone.txt=Links\\Gone.txt\r\n",
         "Pack.dll: cannot open \"Links\\Gone.txt\": ", ""},
        {"link source is a folder", "", "Data\\Folder.txt=Links\r\n",
         "Pack.dll: cannot pack \"Links\": ", "it is a folder, not a file"},
        {"no folder for the output", "ExeName=dist\\Setup.exe\r\n", "",
         "Pack.dll: cannot create volume \"" + Plat::FullPath(Work / "dist") + "\\Setup.1\": ", ""},
    };
    for (const auto& c : cases) {
        WriteFile(Work / "Demo.kst",
                  "[Config]\r\nImagePath=Image\r\n" + c.config + "[FileLinks]\r\n" + c.links);
        WriteFile(Work / "Image/Data/App.txt", "app");
        WriteFile(Work / "Links/Readme.txt", "a file in the folder");
        TRunResult r = Build();
        EXPECT_EQ(r.ExitCode, 1) << c.what;
        EXPECT_TRUE(Contains(r.OutLines(), FailedLine)) << c.what << "\n" << r.Out;
        // Exactly one line, and it carries a reason.
        size_t at = r.Err.find(c.told);
        ASSERT_NE(at, std::string::npos) << c.what << "\n" << r.Err;
        std::string line = r.Err.substr(at, r.Err.find('\n', at) - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string reason = line.substr(c.told.size());
        EXPECT_FALSE(reason.empty()) << c.what;
        if (!c.reason.empty()) {
            EXPECT_EQ(reason, c.reason) << c.what;
        }
        EXPECT_EQ(r.Err.find("Pack.dll:", at + 1), std::string::npos) << r.Err;
        EXPECT_TRUE(TmpIsEmpty()) << c.what;
    }
}

// Console lines end as the host's own: CR LF in the Windows build, LF natively; never a
// CR alone or doubled.
TEST_F(EndToEnd, ConsoleLinesEndInTheHostsLineBreak) {
    MakeDemo();
    WriteFile(Work / "Broken.kst",
              "[Config]\r\nImagePath=Image\r\n[FileLinks]\r\nData\\Gone.txt=Gone.txt\r\n");
    const std::string lineEnd = IsWindowsHost() ? "\r\n" : "\n";
    auto checkLines = [&](const std::string& raw, const std::string& what) {
        ASSERT_FALSE(raw.empty()) << what;
        EXPECT_EQ(raw.back(), '\n') << what << "\n" << raw;
        std::ptrdiff_t lines = 0;
        for (size_t at = raw.find('\n'); at != std::string::npos; at = raw.find('\n', at + 1)) {
            ++lines;
            EXPECT_EQ(raw.substr(at + 1 - std::min(at + 1, lineEnd.size()), lineEnd.size()),
                      lineEnd)
                << what << ", line " << lines << "\n"
                << raw;
        }
        EXPECT_EQ(std::count(raw.begin(), raw.end(), '\r'), IsWindowsHost() ? lines : 0)
            << what << "\n"
            << raw;
    };
    TRunResult built = Build({"Demo"}, {{"KEST_NO_WAIT", "1"}});
    EXPECT_EQ(built.ExitCode, 0) << built.Out << built.Err;
    checkLines(built.RawOut, "output of a build");
    TRunResult failed = Build({"Broken"}, {{"KEST_NO_WAIT", "1"}});
    EXPECT_EQ(failed.ExitCode, 1) << failed.Out;
    checkLines(failed.RawOut, "output of a failed build");
    checkLines(failed.RawErr, "Pack.dll's refusal");
}

TEST_F(EndToEnd, UnreadableDataFileIsNamed) {
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
    WriteFile(Work / "Image/Data/Secret.txt", "secret");
    fs::permissions(Work / "Image/Data/Secret.txt", fs::perms::none);
    if (std::FILE* probe = std::fopen((Work / "Image/Data/Secret.txt").c_str(), "rb")) {
        std::fclose(probe);
        GTEST_SKIP() << "this user reads every file";
    }
    TRunResult r = Build();
    fs::permissions(Work / "Image/Data/Secret.txt", fs::perms::owner_all);
    EXPECT_EQ(r.ExitCode, 1);
    std::string told = "Pack.dll: cannot open \"" + Plat::FullPath(Work / "Image") +
                       "\\Data\\Secret.txt\": " + Plat::ErrorText(Plat::ErrAccessDenied);
    EXPECT_NE(r.Err.find(told), std::string::npos) << r.Err;
}

// A folder that the walk cannot enter must stop the build, never be left out unseen. Where
// this user reads everything (root), the build runs as "nobody" through setpriv.
TEST_F(EndToEnd, UnreadableFoldersStopTheBuildByName) {
    if (IsWindowsHost()) GTEST_SKIP() << "access rights are set natively";
    for (const char* locked : {"Data/Sub/Locked", "Presetup/Locked"}) {
        fs::remove_all(Work / "Image");
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
        WriteFile(Work / "Image/Data/App.txt", "app");
        WriteFile(Work / "Image/Data/Sub/B.txt", "b");
        const std::string dir = Work / "Image/" + locked;
        WriteFile(dir + "/Hidden.txt", "never left out unseen");
        fs::permissions(dir, fs::perms::none);
        std::error_code readable;
        fs::directory_iterator probe(dir, readable);
        TRunResult r;
        if (!readable) {
            if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "this user reads every folder";
            const std::string owner =
                "chown -R 65534:65534 '" + Work.Path() + "' '" + Tmp.Path() + "'";
            ASSERT_EQ(std::system(owner.c_str()), 0);
            r = RunProgram(Work.Path(), "/usr/bin/setpriv",
                           {"--reuid=65534", "--regid=65534", "--clear-groups", Program, "Demo"},
                           Env);
        } else {
            r = Build();
        }
        fs::permissions(dir, fs::perms::owner_all);
        EXPECT_EQ(r.ExitCode, 1) << locked << "\n" << r.Out << r.Err;
        std::string shown = locked;
        std::replace(shown.begin(), shown.end(), '/', '\\');
        const std::string told = "Error: Cannot read the folder " + Plat::FullPath(Work / "Image") +
                                 "\\" + shown + "\\: " + Plat::ErrorText(Plat::ErrAccessDenied);
        EXPECT_TRUE(Contains(r.OutLines(), told)) << locked << "\n" << r.Out;
        EXPECT_FALSE(Exists(Work / "Setup.exe")) << locked;
        EXPECT_TRUE(TmpIsEmpty()) << locked;
    }
}

// Names are kept in the ANSI code page (Windows-1252 unless chosen): the file system's UTF-8
// names and a UTF-8 project become the bytes that the Windows build stores
// (same_output.sh compares the two builds).
TEST_F(EndToEnd, NonAsciiNamesAreStoredInTheCodePage) {
    if (IsWindowsHost()) GTEST_SKIP() << "the UTF-8 names are made natively";
    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n[FileLinks]\r\n"
              "Data\\Lizenz-\xC3\x9C"
              "bersicht.txt=Links\\\xC3\x9C"
              "bersicht.txt\r\n");
    WriteFile(Work / "Image/Data/caf\xC3\xA9.txt", "cafe");
    WriteFile(Work / "Image/Data/\xC3\x84rger/\xC3\xBC.txt", "ue");
    WriteFile(Work /
                  "Links/\xC3\x9C"
                  "bersicht.txt",
              "overview");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    std::string exe = ReadFile(Work / "Setup.exe");
    const std::vector<std::string> names = StoredNames(exe);
    for (const char* stored : {"Data\\caf\xE9.txt", "Data\\\xC4rger\\\xFC.txt",
                               "Data\\Lizenz-\xDC"
                               "bersicht.txt"})
        EXPECT_NE(std::find(names.begin(), names.end(), stored), names.end()) << stored;
    // Level 0 stores the files raw, so Kest.ini's records show.
    for (const char* stored : {"\ncaf\xE9.txt=4", "\n\xC4rger\\\xFC.txt=2",
                               "\nLizenz-\xDC"
                               "bersicht.txt=8"})
        EXPECT_NE(exe.find(stored), std::string::npos) << stored;
    EXPECT_EQ(exe.find("caf\xC3\xA9"), std::string::npos) << "a UTF-8 name was stored";
    // The terminal shows UTF-8.
    EXPECT_NE(r.Out.find("  Adding caf\xC3\xA9.txt  "), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("  Adding \xC3\x84rger\\\xC3\xBC.txt  "), std::string::npos) << r.Out;
    // A project saved in Windows-1252 names the same files and gives the same bytes.
    std::string project = ReadFile(Work / "Demo.kst");
    project.replace(project.find("\xC3\x9C"), 2, "\xDC");
    project.replace(project.find("\xC3\x9C"), 2, "\xDC");
    WriteFile(Work / "Demo.kst", project);
    TRunResult again = Build();
    ASSERT_EQ(again.ExitCode, 0) << again.Out << again.Err;
    EXPECT_TRUE(ReadFile(Work / "Setup.exe") == exe);
    // kestx shows and extracts them in UTF-8 again, and takes UTF-8 names on its command line.
    TRunResult listed = Kestx({"list", "Setup.exe"});
    EXPECT_NE(listed.Out.find("Data\\caf\xC3\xA9.txt"), std::string::npos) << listed.Out;
    EXPECT_NE(listed.Out.find("Data\\\xC3\x84rger\\\xC3\xBC.txt"), std::string::npos);
    std::string x = Extract("Setup.exe");
    EXPECT_EQ(ReadFile(x + "Data/caf\xC3\xA9.txt"), "cafe");
    EXPECT_EQ(ReadFile(x + "Data/\xC3\x84rger/\xC3\xBC.txt"), "ue");
    fs::copy_file(Work / "Setup.exe", Work / "Ausgabe-\xC3\xBC.exe");
    TRunResult verified = Kestx({"verify", "Ausgabe-\xC3\xBC.exe"});
    EXPECT_EQ(verified.ExitCode, 0) << verified.Out << verified.Err;
}

TEST_F(EndToEnd, CodePageIsChosenWithKestCodepage) {
    if (IsWindowsHost()) GTEST_SKIP() << "Windows uses the system's code page";
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
    // "Privet" in Cyrillic letters: Windows-1251 holds it, Windows-1252 does not.
    WriteFile(Work / "Image/Data/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", "hi");
    struct Case {
        std::string value;
        int exitCode;
        std::string shown;  // on standard output, or in the box
    } cases[] = {
        {"1251", 0, "Package building is completed."},
        {"", 1,
         "Error: The name of " + Plat::FullPath(Work / "Image") +
             "\\Data\\??????.txt has characters that the code page 1252 cannot hold"},
        {"932", 1, "KEST_CODEPAGE=932 is not a code page that names can be kept in"},
        {"12x", 1, "KEST_CODEPAGE=12x is not a code page that names can be kept in"},
    };
    for (const auto& c : cases) {
        fs::remove(Work / "Setup.exe");
        TRunResult r = Build({"Demo"}, {{"KEST_CODEPAGE", c.value}});
        EXPECT_EQ(r.ExitCode, c.exitCode) << c.value << "\n" << r.Out << r.Err;
        EXPECT_TRUE(r.Out.find(c.shown) != std::string::npos ||
                    r.Err.find(c.shown) != std::string::npos)
            << c.value << "\n"
            << r.Out << r.Err;
        EXPECT_EQ(Exists(Work / "Setup.exe"), c.exitCode == 0) << c.value;
        EXPECT_TRUE(TmpIsEmpty()) << c.value;
    }
    EXPECT_FALSE(Exists(Work / "Setup.exe"));
    ASSERT_EQ(Build({"Demo"}, {{"KEST_CODEPAGE", "1251"}}).ExitCode, 0);
    EXPECT_NE(ReadFile(Work / "Setup.exe").find("Data\\\xCF\xF0\xE8\xE2\xE5\xF2.txt"),
              std::string::npos);
}

TEST_F(EndToEnd, NulBytesInProjectValuesAreRefused) {
    using namespace std::string_literals;
    const std::string victim = "a file that the text before the NUL byte names";
    struct Case {
        std::string config, links, named;
    } cases[] = {
        {"ImagePath=Image\r\nExeName=Victim\0.exe\r\n"s, "", "ExeName"},
        {"ImagePath=Image\0x\r\n"s, "", "ImagePath"},
        {"ImagePath=Image\r\nPassword=se\0cret\r\n"s, "", "Password"},
        {"ImagePath=Image\r\n", "Data\\A.txt=Victim\0x\r\n"s, "Data\\A.txt"},
    };
    WriteFile(Work / "Image/Data/A.txt", "a");
    WriteFile(Work / "Image/Data/Sub/B.txt", "b");
    for (const auto& c : cases) {
        WriteFile(Work / "Victim.exe", victim);
        WriteFile(Work / "Victim", victim);
        WriteFile(Work / "Demo.kst", "[Config]\r\n" + c.config + "[FileLinks]\r\n" + c.links);
        TRunResult r = Build();
        EXPECT_NE(r.ExitCode, 0) << c.named << "\n" << r.Out;
        EXPECT_TRUE(Contains(r.OutLines(), FailedLine)) << c.named << "\n" << r.Out;
        ExpectInBox(r, c.named);
        ExpectInBox(r, "holds a NUL byte");
        EXPECT_EQ(ReadFile(Work / "Victim.exe"), victim) << c.named;
        EXPECT_EQ(ReadFile(Work / "Victim"), victim) << c.named;
        EXPECT_FALSE(Exists(Work / "Setup.exe")) << c.named;
        EXPECT_TRUE(TmpIsEmpty()) << c.named;
    }
}

TEST_F(EndToEnd, PackageNameLongerThan260CharactersIsNeverCut) {
    if (IsWindowsHost()) GTEST_SKIP() << "the scratch paths would pass the Windows limit";
    // An output directory whose full path is 200 characters, and a name that makes the
    // package's full path 265 characters: cut at 260, it would name the victim.
    std::string prefix = Plat::FullPath(Work / "Out") + "\\";
    ASSERT_LT(prefix.size(), 190u);
    std::string dir = "Out/" + std::string(199 - prefix.size(), 'd');
    std::string name(265 - 200 - 2, 'n');
    std::string victim = Work / (dir + "/" + name.substr(0, name.size() - 3));
    ASSERT_EQ((Plat::FullPath(Work / dir) + "\\" + name + ".1").size(), 265u);
    WriteFile(victim, "an unrelated file");
    WriteFile(Work / "Image/Data/A.txt", "a");
    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=Image\r\nExeName=" + dir + "/" + name + "\r\n");
    TRunResult r = Build();
    EXPECT_NE(r.ExitCode, 0) << r.Out;
    EXPECT_FALSE(Contains(r.OutLines(), "Package building is completed.")) << r.Out;
    EXPECT_NE(r.Out.find("longer than 260 characters"), std::string::npos) << r.Out;
    EXPECT_EQ(ReadFile(victim), "an unrelated file");
    EXPECT_FALSE(Exists(Work / (dir + "/" + name + ".exe")));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(EndToEnd, OutputsThatAreInputsAreRefused) {
    struct Case {
        std::string exeName, link, refused;
    } cases[] = {
        {"Image\\Data\\App.exe", "", "App.exe"},
        {"image/data/Sub/New", "", "New.exe"},
        {"Image\\Setup", "", "Setup.exe"},
        {"Out\\Tool.exe", "Data\\Tool.exe=Out\\Tool.exe", "Tool.exe"},
        {"Out\\Tool", "Data\\Tool.1=Out\\Tool.1", "Tool.1"},
        {"Out\\Setup", "Data\\Part.bin=Out\\SETUP.2", "SETUP.2"},
    };
    for (const auto& c : cases) {
        const std::string app = RandomBytes(5000, 3);
        WriteFile(Work / "Image/Data/App.exe", app);
        WriteFile(Work / "Image/Data/Sub/B.txt", "b");
        for (const char* name : {"Out/Tool.exe", "Out/Tool.1", "Out/SETUP.2"})
            WriteFile(Work / name, "linked input");
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nExeName=" + c.exeName +
                                         "\r\n[FileLinks]\r\n" + c.link + "\r\n");
        TRunResult r = Build();
        EXPECT_NE(r.ExitCode, 0) << c.exeName << "\n" << r.Out;
        EXPECT_TRUE(Contains(r.OutLines(), FailedLine)) << c.exeName << "\n" << r.Out;
        EXPECT_FALSE(Contains(r.OutLines(), "Creating package...")) << c.exeName;
        ExpectInBox(r, c.refused);
        EXPECT_TRUE(ReadFile(Work / "Image/Data/App.exe") == app) << c.exeName;
        for (const char* name : {"Out/Tool.exe", "Out/Tool.1", "Out/SETUP.2"})
            EXPECT_EQ(ReadFile(Work / name), "linked input") << c.exeName << " " << name;
        EXPECT_FALSE(Exists(Work / "Image/Setup.exe")) << c.exeName;
        EXPECT_FALSE(Exists(Work / "Image/Data/Sub/New.exe")) << c.exeName;
        EXPECT_TRUE(TmpIsEmpty()) << c.exeName;
    }
}

TEST_F(EndToEnd, DanglingLinksAtBuildDirectoryNamesDoNotStopTheBuild) {
    if (IsWindowsHost()) GTEST_SKIP() << "links are planted natively";
    // Someone who can write to the temporary directory plants dangling links at the
    // names of the next two seconds.
    Plat::LocalTime now = Plat::GetLocalTime();
    int hundredths = ((now.hour * 60 + now.minute) * 60 + now.second) * 100 + now.milliseconds / 10;
    if (hundredths > 8640000 - 1000) GTEST_SKIP() << "too close to midnight";
    std::vector<std::string> planted;
    for (int k = 0; k < 200; ++k) {
        int t = hundredths + k;
        Plat::LocalTime at = now;
        at.hour = t / 360000;
        at.minute = t / 6000 % 60;
        at.second = t / 100 % 60;
        at.milliseconds = t % 100 * 10;
        planted.push_back(Tmp / DateTimeName(at));
        fs::create_symlink(Work / "nowhere", planted.back());
    }
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
    WriteFile(Work / "Image/Data/A.txt", "a");
    TRunResult r = Build();
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_TRUE(Contains(r.OutLines(), "Package building is completed.")) << r.Out;
    for (const std::string& link : planted) EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(std::distance(fs::directory_iterator(Tmp.Path()), fs::directory_iterator()), 200);
}

TEST_F(EndToEnd, ClosedOutputPipeEndsTheBuildWithCleanUp) {
    if (IsWindowsHost()) GTEST_SKIP() << "the pipe is closed natively";
    // More output than a pipe holds, and a reader that goes away after 200 bytes.
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
    for (int i = 0; i < 1300; ++i) WriteFile(Work / ("Image/Data/F" + std::to_string(i)), "f");
    std::string cmd = "cd '" + Work.Path() + "' && timeout -k 5 120 env TMPDIR='" + Tmp.Path() +
                      "' '" + Program + "' Demo </dev/null 2>err.txt | head -c 200 >/dev/null; " +
                      "exit ${PIPESTATUS[0]}\n";
    WriteFile(Work / "run.sh", cmd);
    int status = std::system(("bash '" + Work / "run.sh" + "'").c_str());
    ASSERT_EQ(status & 0x7f, 0) << "bash itself ended by a signal";
    EXPECT_EQ((status >> 8) & 0xff, 1) << "not killed by SIGPIPE (141), not a success";
    EXPECT_TRUE(TmpIsEmpty());
    EXPECT_FALSE(Exists(Work / "Setup.exe"));
}

TEST_F(EndToEnd, ImageWithoutPresetupUsesTheDefaults) {
    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=Image\\\r\nExeName=Out.d\\Setup\r\nCompressionLevel=fast\r\n");
    WriteFile(Work / "Image/Data/A.txt", "a");
    fs::create_directories(Work / "Out.d");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_TRUE(fs::is_directory(Work / "Image/Presetup"));
    EXPECT_TRUE(Exists(Work / "Out.d/Setup.exe"));
    EXPECT_FALSE(Exists(Work / "Out.1"));
    std::string x = Extract("Out.d/Setup.exe");
    // The shipped Kest.ini keeps ENU and DEU and the uninstaller.
    for (const char* name : {"Kest.ini", "ENU.lng", "DEU.lng", "UnKest.exe"})
        EXPECT_TRUE(Exists(x + "Presetup/" + name)) << name;
    for (const char* name : {"FRA.lng", "ITA.lng"})
        EXPECT_FALSE(Exists(x + "Presetup/" + name)) << name;
    EXPECT_EQ(ReadFile(x + "Data/A.txt"), "a");
}

TEST_F(EndToEnd, FurtherVolumesStayBesideTheExecutable) {
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
    WriteFile(Work / "Image/Data/Random.bin", RandomBytes(30000, 7));
    WriteFile(Work / "Setup.exe", "an earlier build");
    WriteFile(Work / "Setup.1", "an earlier package");
    WriteFile(Work / "Setup.77", "an earlier volume");
    TRunResult r = Build({"Demo"}, {{"KEST_VOLUME_SIZE", "8K"}});
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_FALSE(Exists(Work / "Setup.1"));
    EXPECT_TRUE(Exists(Work / "Setup.2"));
    EXPECT_TRUE(Exists(Work / "Setup.3"));
    EXPECT_EQ(ReadFile(Work / "Setup.77"), "an earlier volume");
    TRunResult v = Kestx({"verify", "Setup.exe"});
    EXPECT_EQ(v.ExitCode, 0) << v.Out << v.Err;
    EXPECT_TRUE(ReadFile(Extract("Setup.exe") + "Data/Random.bin") == RandomBytes(30000, 7));
}

TEST_F(EndToEnd, UnusableTemporaryDirectoryIsReported) {
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
    WriteFile(Work / "Image/Data/A.txt", "a");
    WriteFile(Work / "NotADir", "a file where the temporary directory should be");
    std::string notADir = HostPath(Work / "NotADir");
    TRunResult r = Build({"Demo"}, {{"TMPDIR", notADir}, {"TMP", notADir}, {"TEMP", notADir}});
    EXPECT_EQ(r.ExitCode, 1);
    Lines lines = r.OutLines();
    size_t report = ReportAt(lines);
    ASSERT_LT(report, lines.size()) << r.Out;
    EXPECT_NE(lines[report].find("Cannot create a build directory in"), std::string::npos);
    EXPECT_FALSE(Contains(lines, "Building presetup directory..."));
    EXPECT_FALSE(Contains(lines, FailedLine));
    EXPECT_EQ(ReadFile(Work / "NotADir"), "a file where the temporary directory should be");
}

TEST_F(EndToEnd, FileOfTwoGiBStopsTheBuild) {
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
    WriteFile(Work / "Image/Data/Small.txt", "s");
    WriteFile(Work / "Image/Data/Huge.bin", "");
    fs::resize_file(Work / "Image/Data/Huge.bin", uintmax_t(1) << 31);  // sparse
    TRunResult r = Build();
    fs::remove(Work / "Image/Data/Huge.bin");
    EXPECT_EQ(r.ExitCode, 1);
    Lines lines = r.OutLines();
    EXPECT_TRUE(Contains(lines, FailedLine)) << r.Out;
    EXPECT_FALSE(Contains(lines, "Creating package..."));
    ExpectInBox(r, "Huge.bin");
    EXPECT_FALSE(Exists(Work / "Setup.exe"));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(EndToEnd, InterruptWhilePackingRemovesWhatTheBuildCreated) {
    if (IsWindowsHost()) GTEST_SKIP() << "signals are sent natively";
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=9\r\n");
    WriteFile(Work / "Image/Data/Random.bin", RandomBytes(40 << 20, 5));
    WriteFile(Work / "Setup.9", "a volume of an earlier build");
    TEnvList env = Env;
    env.emplace_back("KEST_VOLUME_SIZE", "1M");
    int pid = StartProgram(Work.Path(), Program, {"Demo"}, env, Work / "out.txt");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Exists(Work / "Setup.3") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(Exists(Work / "Setup.3")) << ReadFile(Work / "out.txt");
    ASSERT_EQ(std::system(("kill -INT " + std::to_string(pid)).c_str()), 0);
    std::string alive = "kill -0 " + std::to_string(pid) + " 2>/dev/null";
    while (std::system(alive.c_str()) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_NE(std::system(alive.c_str()), 0) << "still running";
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(Work.Path()))
        if (e.path().filename().string().rfind("Setup", 0) == 0)
            left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"Setup.9"});
    EXPECT_TRUE(TmpIsEmpty());
    EXPECT_FALSE(Contains(TRunResult{0, ReadFile(Work / "out.txt"), ""}.OutLines(),
                          "Package building is completed."));
}

TEST_F(EndToEnd, FullTemporaryDiskFailsTheBuild) {
    struct Case {
        const char* what;
        std::string size;
        int dataFiles;
        std::string bigPresetup;
        std::string named;
    } cases[] = {
        {"presetup copy", "1m", 1, std::string(2 << 20, 'p'), "Big.dat"},
        {"Kest.ini flush", "400k", 12000, "", "Kest.ini"},
    };
    for (const auto& c : cases) {
        TestUtil::TempDir work, tmp;
        TSmallDisk disk(tmp.Path(), c.size);
        if (!disk.Mounted) GTEST_SKIP() << "a small file system cannot be mounted here";
        WriteFile(work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
        if (!c.bigPresetup.empty()) WriteFile(work / "Image/Presetup/Big.dat", c.bigPresetup);
        for (int i = 0; i < c.dataFiles; ++i)
            WriteFile(work / ("Image/Data/A file with a long name " + std::to_string(i)), "d");
        TRunResult r = RunProgram(work.Path(), Program, {"Demo"},
                                  {{"TMPDIR", tmp.Path()}, {"KEST_NO_WAIT", "1"}});
        EXPECT_EQ(r.ExitCode, 1) << c.what << "\n" << r.Out;
        Lines lines = r.OutLines();
        EXPECT_FALSE(Contains(lines, "Package building is completed.")) << c.what;
        EXPECT_FALSE(Contains(lines, "Creating package...")) << c.what;
        size_t report = ReportAt(lines);
        ASSERT_LT(report, lines.size()) << c.what << "\n" << r.Out;
        EXPECT_NE(lines[report].find(c.named), std::string::npos) << lines[report];
        EXPECT_TRUE(fs::is_empty(tmp.Path())) << c.what;
        EXPECT_FALSE(Exists(work / "Setup.exe")) << c.what;
    }
}

TEST_F(EndToEnd, PlantedLinksAtOutputsAreNotWrittenThrough) {
    if (IsWindowsHost()) GTEST_SKIP() << "links are planted natively";
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
    WriteFile(Work / "Image/Data/Random.bin", RandomBytes(30000, 9));
    const std::string victim = "a file that a planted link points to";
    for (const char* name : {"Setup.exe", "Setup.1", "Setup.2", "Setup.3", "Setup.exe.part"}) {
        WriteFile(Work / (std::string("Victim") + name), victim);
        fs::create_symlink(Work / (std::string("Victim") + name), Work / name);
    }
    TRunResult r = Build({"Demo"}, {{"KEST_VOLUME_SIZE", "8K"}});
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    for (const char* name : {"Setup.exe", "Setup.1", "Setup.2", "Setup.3", "Setup.exe.part"})
        EXPECT_EQ(ReadFile(Work / (std::string("Victim") + name)), victim) << name;
    for (const char* name : {"Setup.exe", "Setup.2", "Setup.3"})
        EXPECT_FALSE(fs::is_symlink(Work / name)) << name;
    EXPECT_TRUE(fs::is_symlink(Work / "Setup.exe.part")) << "not ours to remove";
    TRunResult v = Kestx({"verify", "Setup.exe"});
    EXPECT_EQ(v.ExitCode, 0) << v.Out << v.Err;
}

TEST_F(EndToEnd, NearlyFullOutputDiskNeverHangsTheBuild) {
    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=Image\r\nExeName=Out\\Setup\r\nCompressionLevel=0\r\n");
    WriteFile(Work / "Image/Data/Random.bin", RandomBytes(2 << 20, 4));
    const std::string prompt =
        "Clean your disk and press any key for continue or press Esc for abort.";
    for (int freeKB : {40, 150, 600, 1100, 3000, 7000}) {
        TSmallDisk disk(Work / "Out", "8m");
        if (!disk.Mounted) GTEST_SKIP() << "a small file system cannot be mounted here";
        WriteFile(Work / "Out/Filler", std::string((8192 - freeKB) << 10, 'f'));
        TRunResult r = Build({"Demo"}, {{"KEST_NO_WAIT", "1"}});
        Lines lines = r.OutLines();
        bool completed = Contains(lines, "Package building is completed.");
        EXPECT_EQ(r.ExitCode, completed ? 0 : 1) << freeKB << "K free\n" << r.Out;
        if (!completed) {
            EXPECT_TRUE(Contains(lines, prompt) || ReportAt(lines) < lines.size())
                << freeKB << "K free: failed without a word\n"
                << r.Out << r.Err;
        }
        if (completed) {
            EXPECT_EQ(Kestx({"verify", "Out/Setup.exe"}).ExitCode, 0) << freeKB;
        }
        EXPECT_TRUE(TmpIsEmpty()) << freeKB;
        if (freeKB == 7000) {
            EXPECT_TRUE(completed) << r.Out;
        }
    }
}

TEST_F(EndToEnd, LinkCyclesInTheImageAreWalkedOnce) {
    if (IsWindowsHost()) GTEST_SKIP() << "links are made natively";
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
    WriteFile(Work / "Image/Data/A.txt", "a");
    WriteFile(Work / "Image/Data/Sub/B.txt", "b");
    WriteFile(Work / "Image/Presetup/P.dat", "p");
    fs::create_directory_symlink(".", Work / "Image/Data/Loop1");
    fs::create_directory_symlink(".", Work / "Image/Data/Loop2");
    fs::create_directory_symlink("..", Work / "Image/Data/Sub/Up");
    fs::create_directory_symlink("../Presetup", Work / "Image/Presetup/Self");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    std::string x = Extract("Setup.exe");
    EXPECT_EQ(ReadFile(x + "Data/A.txt"), "a");
    EXPECT_EQ(ReadFile(x + "Data/Sub/B.txt"), "b");
    EXPECT_EQ(ReadFile(x + "Presetup/P.dat"), "p");
    for (const char* entered : {"Data/Loop1", "Data/Loop2", "Data/Sub/Up", "Presetup/Self"})
        EXPECT_FALSE(Exists(x + entered)) << entered << " entered a second time";
    std::string ini = ReadFile(x + "Presetup/Kest.ini");
    EXPECT_EQ(ini.find("Loop1"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("Up\\"), std::string::npos) << ini;
}

// Only regular files are packed: a FIFO used to block the packing library's open, and a
// device (here a link to /dev/zero) would be read forever. The run's time limit turns a
// regression into a failure.
TEST_F(EndToEnd, FifosSocketsAndDevicesAreRefusedByName) {
    if (IsWindowsHost()) GTEST_SKIP() << "FIFOs and devices are made natively";
    struct Case {
        const char* what;
        std::string made;   // under Work
        std::string kind;   // "fifo", "socket" or a device to link to
        std::string links;  // lines of [FileLinks]
        std::string named;  // the path the message names (the image's in full)
    } cases[] = {
        {"FIFO in a Data subfolder", "Image/Data/Sub/Pipe", "fifo", "", "Image\\Data\\Sub\\Pipe"},
        {"device in Data", "Image/Data/Zero", "/dev/zero", "", "Image\\Data\\Zero"},
        {"socket in Data", "Image/Data/Sock", "socket", "", "Image\\Data\\Sock"},
        {"FIFO in Presetup", "Image/Presetup/Pipe", "fifo", "", "Image\\Presetup\\Pipe"},
        {"FIFO as a data link's source", "Links/Pipe", "fifo", "Data\\P.txt=Links\\Pipe\r\n",
         "Links\\Pipe"},
        {"device as a presetup link's source", "Links/Null", "/dev/null",
         "Presetup\\N.dat=Links\\Null\r\n", "Links\\Null"},
    };
    const bool python = std::system("python3 -c '' 2>/dev/null") == 0;
    for (const auto& c : cases) {
        fs::remove_all(Work / "Image");
        fs::remove_all(Work / "Links");
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n[FileLinks]\r\n" + c.links);
        WriteFile(Work / "Image/Data/App.txt", "app");
        WriteFile(Work / "Image/Data/Sub/B.txt", "b");
        fs::create_directories(fs::path(Work / c.made).parent_path());
        if (c.kind == "fifo") {
            ASSERT_EQ(std::system(("mkfifo '" + Work / c.made + "'").c_str()), 0);
        } else if (c.kind == "socket") {
            if (!python) continue;
            ASSERT_EQ(std::system(("python3 -c 'import socket,sys; "
                                   "socket.socket(socket.AF_UNIX).bind(sys.argv[1])' '" +
                                   Work / c.made + "'")
                                      .c_str()),
                      0);
        } else {
            fs::create_symlink(c.kind, Work / c.made);
        }
        TRunResult r = Build();
        EXPECT_EQ(r.ExitCode, 1) << c.what << "\n" << r.Out << r.Err;
        const std::string named =
            c.links.empty() ? Plat::FullPath(Work / "Image") + c.named.substr(5) : c.named;
        const std::string told = named + " is a FIFO, socket or device, not a regular file";
        EXPECT_NE(r.Out.find("Error: "), std::string::npos) << c.what << "\n" << r.Out;
        EXPECT_NE(r.Out.find(told), std::string::npos) << c.what << "\n" << r.Out << r.Err;
        EXPECT_FALSE(Exists(Work / "Setup.exe")) << c.what;
        EXPECT_FALSE(Exists(Work / "Setup.1")) << c.what;
        EXPECT_TRUE(TmpIsEmpty()) << c.what;
    }
}

// Names that would break Kest.ini (a line feed used to start a second [Config] section, "="
// gave wrong FileInfo records) or that Windows cannot create stop the build, named in a
// printable form. Such names are made natively only.
TEST_F(EndToEnd, NamesThatAPackageCannotHoldStopTheBuild) {
    if (IsWindowsHost()) GTEST_SKIP() << "Windows cannot create these names";
    struct Case {
        std::string made;   // below Image/
        std::string shown;  // how the message spells it
        std::string why;
    } cases[] = {
        {"Data/New\n[Config]\nx.txt", "Data\\New<0A>[Config]<0A>x.txt", "holds a character"},
        {"Data/Cr\r.txt", "Data\\Cr<0D>.txt", "holds a character"},
        {"Data/Esc\x1b[2J.txt", "Data\\Esc<1B>[2J.txt", "holds a character"},
        {"Data/Back\\slash.txt", "Data\\Back\\slash.txt", "holds a character"},
        {"Data/Sub/Time 10:30.txt", "Data\\Sub\\Time 10:30.txt", "holds a character"},
        {"Data/Star*.txt", "Data\\Star*.txt", "holds a character"},
        {"Data/Q?.txt", "Data\\Q?.txt", "holds a character"},
        {"Data/Quote\".txt", "Data\\Quote\".txt", "holds a character"},
        {"Data/Lt<.txt", "Data\\Lt<.txt", "holds a character"},
        {"Data/Gt>.txt", "Data\\Gt>.txt", "holds a character"},
        {"Data/Bar|.txt", "Data\\Bar|.txt", "holds a character"},
        {"Data/Key=Value.txt", "Data\\Key=Value.txt", "holds \"=\""},
        {"Data/Folder=1/F.txt", "Data\\Folder=1", "holds \"=\""},
        {"Data/Dot.", "Data\\Dot.", "has a name ending in a dot or space"},
        {"Data/con.txt", "Data\\con.txt", "names a device"},
        {"Presetup/P\t.dat", "Presetup\\P<09>.dat", "holds a character"},
    };
    for (const auto& c : cases) {
        fs::remove_all(Work / "Image");
        fs::remove(Work / "Setup.exe");
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
        WriteFile(Work / "Image/Data/App.txt", "app");
        WriteFile(Work / "Image/" + c.made, "named badly");
        TRunResult r = Build();
        const std::string what = "Image/" + c.shown;
        EXPECT_EQ(r.ExitCode, 1) << what << "\n" << r.Out;
        const std::string told =
            "Error: The name of " + Plat::FullPath(Work / "Image") + "\\" + c.shown + " " + c.why;
        EXPECT_NE(r.Out.find(told), std::string::npos) << what << "\n" << r.Out;
        EXPECT_EQ(r.Out.find('\x1b'), std::string::npos) << what;
        EXPECT_FALSE(Exists(Work / "Setup.exe")) << what;
        EXPECT_TRUE(TmpIsEmpty()) << what;
    }
}

// A packed link's stored name follows the same rules, and may not leave its tree.
TEST_F(EndToEnd, LinkNamesThatAPackageCannotHoldStopTheBuild) {
    struct Case {
        std::string link, why;
    } cases[] = {
        {"Data\\..\\..\\Evil.txt", "climbs out of the target directory"},
        {"Presetup\\..\\Up.dat", "climbs out of the target directory"},
        {"Data\\\\Root.txt", "has an empty path component"},
        {"Data\\C:\\Drive.txt", "holds a character that Windows does not allow in names"},
        {"Data\\Esc\x1b.txt", "holds a character that Windows does not allow in names"},
        {"Data\\Pipe|.txt", "holds a character that Windows does not allow in names"},
        {"Data\\NUL", "names a device"},
    };
    WriteFile(Work / "Image/Data/App.txt", "app");
    WriteFile(Work / "Links/Source.txt", "linked");
    for (const auto& c : cases) {
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n[FileLinks]\r\n" + c.link +
                                         "=Links\\Source.txt\r\n");
        TRunResult r = Build();
        EXPECT_EQ(r.ExitCode, 1) << c.link << "\n" << r.Out;
        const std::string told =
            "Error: The file link " + Plat::PrintableText(c.link) + " " + c.why;
        EXPECT_NE(r.Out.find(told), std::string::npos) << c.link << "\n" << r.Out;
        EXPECT_FALSE(Exists(Work / "Setup.exe")) << c.link;
        EXPECT_TRUE(TmpIsEmpty()) << c.link;
    }
}

// Names that may be packed but hold control characters (DEL in a data file's name, ESC in a
// link source's) are printed as <XX>, in progress lines and in the library's messages.
TEST_F(EndToEnd, ControlCharactersInPrintedNamesAreEscaped) {
    if (IsWindowsHost()) GTEST_SKIP() << "the names are made natively";
    WriteFile(Work / "Image/Data/Del\x7f.txt", "del");
    WriteFile(Work / "Links/Esc\x1b[2J.txt", "esc");
    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=Image\r\n[FileLinks]\r\n"
              "Data\\Linked.txt=Links\\Esc\x1b[2J.txt\r\n");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    const Lines lines = r.OutLines();
    const std::vector<std::string> shown = NamesOf(FinalProgress(lines, 0, lines.size()));
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Del<7F>.txt"), shown.end()) << r.Out;
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Links\\Esc<1B>[2J.txt"), shown.end()) << r.Out;
    EXPECT_EQ(r.Out.find_first_of("\x1b\x7f"), std::string::npos) << r.Out;
    EXPECT_EQ(ReadFile(Extract("Setup.exe") + "Data/Del\x7f.txt"), "del");

    WriteFile(Work / "Demo.kst",
              "[Config]\r\nImagePath=Image\r\n[FileLinks]\r\n"
              "Data\\Linked.txt=Links\\Gone\x1b[2J.txt\r\n");
    r = Build();
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("Pack.dll: cannot open \"Links\\Gone<1B>[2J.txt\""), std::string::npos)
        << r.Err;
    EXPECT_EQ(r.Err.find('\x1b'), std::string::npos) << r.Err;
}

// A file more than 300 characters deep in Data is packed by both builds alike: the Windows
// build used to leave it out without a word. The tree is made and removed through the
// platform layer, which takes such paths on both systems.
TEST_F(EndToEnd, FilesDeeperThan260CharactersArePacked) {
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\nCompressionLevel=0\r\n");
    WriteFile(Work / "Image/Data/App.txt", "app");
    std::vector<std::string> dirs;
    std::string path = Plat::FullPath(Work / "Image") + "\\Data";
    std::string stored = "Data";
    for (char part = 'a'; part < 'a' + 6; ++part) {
        const std::string name(50, part);
        path += "\\" + name;
        stored += "\\" + name;
        ASSERT_TRUE(Plat::CreateDirectory(path)) << path.size() << " " << Plat::LastError();
        dirs.push_back(path);
    }
    const std::string deep = path + "\\Deep.txt";
    stored += "\\Deep.txt";
    ASSERT_GT(stored.size(), 310u);
    Plat::Handle h = Plat::OpenFile(deep, Plat::GenericWrite, 0, Plat::CreateNew, 0);
    ASSERT_NE(h, Plat::InvalidHandle) << Plat::LastError();
    uint32_t written = 0;
    ASSERT_TRUE(Plat::WriteFile(h, "deep", 4, written));
    Plat::CloseFile(h);

    TRunResult r = Build();
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    TRunResult list = Kestx({"list", "Setup.exe"});
    EXPECT_EQ(list.ExitCode, 0) << list.Err;
    EXPECT_NE(list.Out.find("          4  " + stored + "\n"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find("          3  Data\\App.txt\n"), std::string::npos) << list.Out;

    EXPECT_TRUE(Plat::DeleteFile(deep));
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) EXPECT_TRUE(Plat::RemoveDirectory(*it));
}

// --- With the scripted packing library ---------------------------------------------------

class ScriptedBuild : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        if (IsSkipped()) return;
        if (TestUtil::Env("KEST_BUILD_TESTLIBS").empty()) GTEST_SKIP() << "no test libraries";
        Env.emplace_back("KEST_SCRIPTPACK_LOG", HostPath(Work / "pack.log"));
    }
    Lines PackLog() {
        TRunResult r;
        r.Out = Exists(Work / "pack.log") ? ReadFile(Work / "pack.log") : "";
        return r.OutLines();
    }
};

TEST_F(ScriptedBuild, CallOrderOfTheLibrary) {
    MakeDemo("", "PswCheckHash=KEPT\r\n");
    PrivateProgram("ScriptedPack.dll");
    TRunResult r = Build();
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    Lines log = PackLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), "Create 1");
    EXPECT_EQ(log.back(), "Close");
    std::vector<std::string> stored;
    for (const auto& l : log)
        if (l.rfind("AddFile ", 0) == 0) stored.push_back(l.substr(8, l.find(" < ") - 8));
    // The private program ships ENU and DEU only; the project asks for DEU and FRA.
    EXPECT_EQ(stored, Lines({"Presetup\\DEU.lng", "Presetup\\ENU.lng", "Presetup\\Kest.ini",
                             "Presetup\\Setup.dat", "Presetup\\Extra.lng", "Data\\App.txt",
                             "Data\\Empty.dat", "Data\\.hidden\\H.txt", "Data\\Sub\\Deep.txt",
                             "Data\\System\\Shared.dll"}));
    EXPECT_TRUE(Contains(log, "AddFile Data\\System\\Shared.dll < Links\\Shared.dll"));
    // This library stores files raw: without a password the copy keeps its earlier hash.
    std::string exe = ReadFile(Work / "Setup.exe");
    EXPECT_NE(exe.find("PswCheckHash=KEPT"), std::string::npos);
    EXPECT_NE(exe.find("App.txt=1000"), std::string::npos);
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(ScriptedBuild, CompressionLevelPassesUnchanged) {
    PrivateProgram("ScriptedPack.dll");
    WriteFile(Work / "Image/Data/A.txt", "a");
    for (const char* level : {"0", "99", "-3", "fast", ""}) {
        fs::remove(Work / "pack.log");
        std::string line = *level ? std::string("CompressionLevel=") + level + "\r\n" : "";
        WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n" + line);
        TRunResult r = Build();
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        std::string expected = std::string(level) == "fast" || !*level ? "7" : level;
        EXPECT_EQ(PackLog().front(), "Create " + expected) << level;
    }
}

TEST_F(ScriptedBuild, FailurePathsCleanUp) {
    struct Case {
        const char* what;
        const char* library;
        TEnvList env;
        bool closeCalled;
        std::string lastStdout;  // the line before the failure report
        std::string report;      // "" for a failed build, else the escaping error
    } cases[] = {
        {"refused data file",
         "ScriptedPack.dll",
         {{"KEST_SCRIPTPACK_REFUSE", "Data\\Sub\\Deep.txt"}},
         true,
         FailedLine,
         ""},
        {"refused presetup file",
         "ScriptedPack.dll",
         {{"KEST_SCRIPTPACK_REFUSE", "Presetup\\Kest.ini"}},
         true,
         FailedLine,
         ""},
        {"close fails",
         "ScriptedPack.dll",
         {{"KEST_SCRIPTPACK_CLOSE", "fail"}},
         true,
         FailedLine,
         ""},
        {"no library", "", {}, false, "Creating package...", "Error: Can't load pack library"},
        {"no Close export",
         "ScriptedPackNoClose.dll",
         {},
         false,
         "Creating package...",
         "Error: Important functions was not found in the pack library"},
    };
    for (const auto& c : cases) {
        TestUtil::TempDir work, bin;
        MakeDemo();
        Program = BinDir() + KestBuildName();
        fs::remove_all(Bin.Path());
        fs::create_directories(Bin.Path());
        fs::remove(Work / "pack.log");
        PrivateProgram(c.library);
        TRunResult r = Build({"Demo"}, c.env);
        EXPECT_EQ(r.ExitCode, 1) << c.what;
        Lines lines = r.OutLines();
        size_t report = ReportAt(lines);
        ASSERT_LT(report, lines.size()) << c.what << "\n" << r.Out;
        ASSERT_GE(report, 1u);
        EXPECT_EQ(lines[report - 1], c.lastStdout) << c.what << "\n" << r.Out;
        if (!c.report.empty()) {
            EXPECT_EQ(lines[report], c.report) << c.what;
        }
        EXPECT_FALSE(Contains(lines, "Converting to SFX...")) << c.what;
        Lines log = PackLog();
        EXPECT_EQ(!log.empty() && log.back() == "Close", c.closeCalled) << c.what;
        EXPECT_FALSE(Exists(Work / "Setup.exe")) << c.what;
        EXPECT_TRUE(TmpIsEmpty()) << c.what;
    }
}

TEST_F(ScriptedBuild, RefusedFileEndsThePassAtOnce) {
    MakeDemo();
    PrivateProgram("ScriptedPack.dll");
    TRunResult r = Build({"Demo"}, {{"KEST_SCRIPTPACK_REFUSE", "Presetup\\ENU.lng"}});
    Lines log = PackLog();
    ASSERT_EQ(log.size(), 4u) << r.Out;
    EXPECT_EQ(log[1].substr(0, 25), "AddFile Presetup\\DEU.lng ");
    EXPECT_EQ(log[2].substr(0, 25), "AddFile Presetup\\ENU.lng ");
    EXPECT_EQ(log[3], "Close");
    EXPECT_FALSE(Contains(r.OutLines(), "Compressing data files:"));
    // The package stays as the library left it.
    EXPECT_TRUE(Exists(Work / "Setup.1"));
}

TEST_F(ScriptedBuild, KeyWaitErrorInsideTheLibraryEndsTheBuild) {
    MakeDemo();
    PrivateProgram("ScriptedPack.dll");
    TRunResult r = Build({"Demo"}, {{"KEST_SCRIPTPACK_DISKSPACE", HostPath(Work / "NoSuchDir")}});
    EXPECT_EQ(r.ExitCode, 1);
    Lines lines = r.OutLines();
    EXPECT_TRUE(
        Contains(lines, "Clean your disk and press any key for continue or press Esc for abort."))
        << r.Out;
    EXPECT_FALSE(Contains(lines, FailedLine));
    EXPECT_LT(ReportAt(lines), lines.size()) << r.Out;
    EXPECT_TRUE(Contains(PackLog(), "DiskSpace -1"));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(ScriptedBuild, DiskSpacePromptStopsTheBuildWhenTheKeyWaitIsOff) {
    MakeDemo();
    PrivateProgram("ScriptedPack.dll");
    TRunResult r = Build({"Demo"}, {{"KEST_SCRIPTPACK_DISKSPACE", HostPath(Work / "NoSuchDir")},
                                    {"KEST_NO_WAIT", "1"}});
    EXPECT_EQ(r.ExitCode, 1);
    Lines lines = r.OutLines();
    EXPECT_TRUE(
        Contains(lines, "Clean your disk and press any key for continue or press Esc for abort."))
        << r.Out;
    EXPECT_EQ(lines.back(), "Package building is failed!") << r.Out;
    EXPECT_EQ(ReportAt(lines), lines.size()) << r.Out;
    EXPECT_TRUE(Contains(PackLog(), "DiskSpace -1"));
    EXPECT_FALSE(Exists(Work / "Setup.exe"));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(ScriptedBuild, MissingStubFailsWithoutExecutable) {
    MakeDemo();
    PrivateProgram("ScriptedPack.dll", false);
    TRunResult r = Build();
    EXPECT_EQ(r.ExitCode, 1);
    Lines lines = r.OutLines();
    size_t report = ReportAt(lines);
    ASSERT_LT(report, lines.size());
    ASSERT_GE(report, 2u);
    EXPECT_EQ(lines[report - 2], "Converting to SFX...");
    EXPECT_EQ(lines[report - 1], FailedLine);
    ExpectInBox(r, "Kest.sfx");
    EXPECT_FALSE(Exists(Work / "Setup.exe"));
    EXPECT_FALSE(Exists(Work / "Setup.1"));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(ScriptedBuild, InterruptRemovesTheBuildDirectory) {
    if (IsWindowsHost()) GTEST_SKIP() << "signals are sent natively";
    MakeDemo();
    PrivateProgram("ScriptedPack.dll");
    for (const char* signal : {"TERM", "INT", "HUP"}) {
        std::string marker = Work / (std::string("packing.") + signal);
        TEnvList env = Env;
        env.emplace_back("KEST_SCRIPTPACK_HANG", marker);
        int pid = StartProgram(Work.Path(), Program, {"Demo"}, env, Work / "out.txt");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!Exists(marker) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(Exists(marker)) << signal;
        EXPECT_FALSE(TmpIsEmpty()) << "the build directory exists while packing";
        std::string kill = "kill -" + std::string(signal) + " " + std::to_string(pid);
        ASSERT_EQ(std::system(kill.c_str()), 0);
        std::string alive = "kill -0 " + std::to_string(pid) + " 2>/dev/null";
        while (std::system(alive.c_str()) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_NE(std::system(alive.c_str()), 0) << signal;
        EXPECT_TRUE(TmpIsEmpty()) << signal;
    }
}

TEST_F(ScriptedBuild, SecondBuildOfOneOutputIsRefused) {
    if (IsWindowsHost()) GTEST_SKIP() << "the first build runs in the background natively";
    MakeDemo();
    PrivateProgram("ScriptedPack.dll");
    std::string marker = Work / "packing";
    TEnvList env = Env;
    env.emplace_back("KEST_SCRIPTPACK_HANG", marker);
    int pid = StartProgram(Work.Path(), Program, {"Demo"}, env, Work / "first.txt");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Exists(marker));

    TRunResult second = Build();
    EXPECT_NE(second.ExitCode, 0) << second.Out;
    EXPECT_TRUE(Contains(second.OutLines(), FailedLine)) << second.Out;
    EXPECT_FALSE(Contains(second.OutLines(), "Creating package...")) << second.Out;
    ExpectInBox(second, "Another build is writing");

    std::string kill = "kill -TERM " + std::to_string(pid);
    ASSERT_EQ(std::system(kill.c_str()), 0);
    std::string alive = "kill -0 " + std::to_string(pid) + " 2>/dev/null";
    while (std::system(alive.c_str()) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Once the first has ended the output is free again, and nothing of the lock remains.
    TRunResult third = Build();
    EXPECT_EQ(third.ExitCode, 0) << third.Out;
    EXPECT_TRUE(Contains(third.OutLines(), "Package building is completed.")) << third.Out;
    for (const auto& e : fs::directory_iterator(Work.Path()))
        EXPECT_EQ(e.path().filename().string().find("Setup.exe."), std::string::npos) << e.path();
}

// --- At a console (natively, on a pseudo terminal) ------------------------------------------

class ConsoleBuild : public ScriptedBuild {
  protected:
    // Runs the program on a terminal; key is typed when it asks for one.
    int RunOnTerminal(const std::vector<std::string>& args, const std::string& key,
                      const TEnvList& extra, std::string& shown) {
        std::string cmd = "cd '" + Work.Path() + "' && env";
        TEnvList env = Env;
        env.insert(env.end(), extra.begin(), extra.end());
        for (const auto& [name, value] : env) cmd += " '" + name + "=" + value + "'";
        std::string out = Work / "terminal.txt";
        cmd += " python3 '" + TestUtil::Env("KEST_SOURCE_DIR") + "/tests/build/pty_run.py' '" +
               out + "' " + key + " '" + Program + "'";
        for (const auto& a : args) cmd += " '" + a + "'";
        int status = std::system(cmd.c_str());
        shown = Exists(out) ? ReadFile(out) : "";
        return (status >> 8) & 0xff;
    }
    void SetUp() override {
        ScriptedBuild::SetUp();
        if (IsSkipped()) return;
        if (IsWindowsHost()) GTEST_SKIP() << "the terminal is driven natively";
        if (std::system("python3 -c 'import pty' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3 with pty is needed";
    }
};

TEST_F(ConsoleBuild, FailedBuildWaitsForAKeyThenEndsWithOne) {
    for (const char* key : {"x", "esc"}) {
        std::string shown;
        EXPECT_EQ(RunOnTerminal({}, key, {}, shown), 1) << key;
        EXPECT_NE(shown.find(FailedLine), std::string::npos) << shown;
        // The box (standard error shares the terminal) comes first; no error report follows.
        EXPECT_LT(shown.find("Data file (*.kst) was not specified!"), shown.find(FailedLine));
        EXPECT_EQ(shown.find("Error: "), std::string::npos) << shown;
        EXPECT_NE(shown.find("\x1b]0;" + Title + "\a"), std::string::npos) << "window title";
    }
}

TEST_F(ConsoleBuild, NoKeyWaitOnATerminalWhenSwitchedOff) {
    // A wait here would block until pty_run.py gives up after a minute.
    for (const TEnvList& env : {TEnvList{{"KEST_NO_WAIT", "1"}}, TEnvList{{"CI", "true"}}}) {
        std::string shown;
        EXPECT_EQ(RunOnTerminal({}, "x", env, shown), 1) << env[0].first;
        EXPECT_NE(shown.find("Package building is failed!"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("Press any key"), std::string::npos) << shown;
    }
}

TEST_F(ConsoleBuild, ProgressOfAFileOverwritesItsLine) {
    WriteFile(Work / "Demo.kst", "[Config]\r\nImagePath=Image\r\n");
    WriteFile(Work / "Image/Data/Big.bin", std::string(200000, 'b'));  // four blocks
    PrivateProgram("ScriptedPack.dll");
    std::string shown;
    EXPECT_EQ(RunOnTerminal({"Demo"}, "x", {}, shown), 0);
    EXPECT_NE(shown.find("Package building is completed."), std::string::npos) << shown;
    std::string line = "  Adding Big.bin  ";
    line.resize(60, ' ');
    const std::string up = "\x1b[1A\x1b[G";
    for (const char* percent : {"33%", "66%", "98%"}) {
        std::string report = line + percent;
        EXPECT_NE(shown.find(report), std::string::npos) << percent;
    }
    EXPECT_NE(shown.find(up + line + "66%"), std::string::npos);
    EXPECT_NE(shown.find(up + line + "Ok  "), std::string::npos);
    EXPECT_EQ(shown.find(up + "  Adding Kest.ini"), std::string::npos)
        << "a new file starts a line";
}

}  // namespace
