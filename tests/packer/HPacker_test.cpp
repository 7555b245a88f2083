// Contract tests of the packer against the recording test library (testlibs/), which lies
// as Pack.dll beside this executable. The test holds its own reference to that library to
// configure it and read its log; the packer loads the same instance.
#include "HPacker.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Gost.h"
#include "Haval.h"
#include "TestUtil.h"
#include "kvErrors.h"
#include "kvUtils.h"

namespace {

using TestUtil::TempDir;
using TestUtil::WriteFile;

// --- What the handlers saw, and how they answer ------------------------------------------

struct TProgressCall {
    std::string FileName;
    int32_t FileSize, BlockSize, Done;
};

struct TDiskCall {
    std::string Path;
    bool AbortOnEntry;
};

struct TRecorder {
    std::vector<TProgressCall> Progress;
    std::vector<TDiskCall> Disk;
    bool ProgressAnswer = true;
    size_t ThrowOnProgressCall = 0;  // 1-based; 0 never
    bool DiskAbortAnswer = true;
    bool DiskThrows = false;
};
TRecorder Rec;

bool RecordProgress(const std::string& fileName, int32_t fileSize, int32_t blockSize,
                    int32_t done) {
    Rec.Progress.push_back({fileName, fileSize, blockSize, done});
    if (Rec.Progress.size() == Rec.ThrowOnProgressCall)
        throw std::runtime_error("progress handler failed");
    return Rec.ProgressAnswer;
}

void RecordDiskSpace(const std::string& path, bool& abort) {
    Rec.Disk.push_back({path, abort});
    if (Rec.DiskThrows) throw EPlatformError("Win32 Error.  Code: 6.\nThe handle is invalid", 6);
    abort = Rec.DiskAbortAnswer;
}

// --- The library's log ---------------------------------------------------------------------

struct TWrite {
    int32_t FileSize, BlockSize, Done, Answer;
    std::string Hex;  // the block as the library writes it
};

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<TWrite> WritesIn(const std::string& log) {
    std::vector<TWrite> writes;
    for (const std::string& line : LinesOf(log)) {
        if (line.rfind("Write ", 0) != 0) continue;
        TWrite w{};
        std::string arrow;
        std::istringstream in(line.substr(6));
        in >> w.FileSize >> w.BlockSize >> w.Done >> arrow >> w.Answer >> w.Hex;
        writes.push_back(w);
    }
    return writes;
}

/// "source|stored" of every AddFile call, in order.
std::vector<std::string> AddFilesIn(const std::string& log) {
    std::vector<std::string> calls;
    for (const std::string& line : LinesOf(log))
        if (line.rfind("AddFile ", 0) == 0 && line.rfind("AddFile end", 0) != 0)
            calls.push_back(line.substr(8));
    return calls;
}

std::string Hex(const std::string& bytes) {
    static const char Digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += Digits[b >> 4];
        hex += Digits[b & 15];
    }
    return hex;
}

// --- Independent expectations ------------------------------------------------------------

std::array<uint8_t, 32> Digest(const std::string& text) {
    THavalContext ctx;
    HavalInit(ctx);
    HavalUpdate(ctx, text.data(), static_cast<int32_t>(text.size()));
    std::array<uint8_t, 32> digest;
    HavalFinal(ctx, digest.data());
    return digest;
}

/// The hex of each block of one file encrypted from a fresh chain under the password.
std::vector<std::string> EncryptedBlocks(const std::string& password,
                                         const std::vector<std::string>& blocks) {
    std::array<uint8_t, 32> key = Digest(password);
    TGostContext ctx;
    GostInit(ctx, key.data(), 256, nullptr);
    std::vector<std::string> out;
    for (const std::string& block : blocks) {
        std::string cipher(block.size(), '\0');
        GostEncryptCBC(ctx, reinterpret_cast<const uint8_t*>(block.data()),
                       reinterpret_cast<uint8_t*>(cipher.data()),
                       static_cast<int32_t>(block.size()));
        out.push_back(Hex(cipher));
    }
    return out;
}

std::vector<std::string> Split(const std::string& data, const std::vector<size_t>& sizes) {
    std::vector<std::string> blocks;
    size_t pos = 0;
    for (size_t size : sizes) {
        blocks.push_back(data.substr(pos, size));
        pos += size;
    }
    return blocks;
}

std::string Pattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + seed * 17 + 7) & 0xFF);
    return s;
}

// --- Fixture ---------------------------------------------------------------------------------

class PackerTest : public ::testing::Test {
  protected:
    using TSetup = void (*)(const char*);
    using TLog = int32_t (*)(char*, int32_t);
    using TVolume = void (*)(int32_t, char*);
    using TDisk = int32_t (*)(const char*);

    void SetUp() override {
        Rec = TRecorder();
        Library = LoadDynLibrary(ProgramDir() + "Pack.dll");
        ASSERT_NE(Library, nullptr) << "the recording library must lie beside the test";
        Setup = reinterpret_cast<TSetup>(GetDynProc(Library, "TestSetup"));
        GetLog = reinterpret_cast<TLog>(GetDynProc(Library, "TestLog"));
        VolumeName = reinterpret_cast<TVolume>(GetDynProc(Library, "TestVolumeName"));
        AskDisk = reinterpret_cast<TDisk>(GetDynProc(Library, "TestDiskSpace"));
        ASSERT_TRUE(Setup && GetLog && VolumeName && AskDisk);
        Setup("");
    }
    void TearDown() override {
        if (Library) FreeDynLibrary(Library);
    }

    std::string Log() {
        std::string text(static_cast<size_t>(GetLog(nullptr, 0)) + 1, '\0');
        GetLog(text.data(), static_cast<int32_t>(text.size()));
        text.resize(text.size() - 1);
        return text;
    }

    std::unique_ptr<TPacker> MakePacker(const std::string& package = "Setup.1",
                                        TDiskSpaceProc disk = RecordDiskSpace) {
        auto packer = std::make_unique<TPacker>(package, disk, RecordProgress, 7);
        Setup(Config.c_str());
        return packer;
    }

    /// The volume name the packer writes into a 261-byte buffer; terminator checked.
    std::string Volume(int32_t n) {
        char out[261];
        VolumeName(n, out);
        std::string name(out, sizeof out);
        size_t end = name.find('\0');
        EXPECT_NE(end, std::string::npos) << "no zero byte within 261 bytes";
        return name.substr(0, end);
    }

    /// A source file in the scratch directory.
    std::string Source(const std::string& name, const std::string& data) {
        std::string path = Tmp / name;
        WriteFile(path, data);
        return path;
    }

    void* Library = nullptr;
    TSetup Setup = nullptr;
    TLog GetLog = nullptr;
    TVolume VolumeName = nullptr;
    TDisk AskDisk = nullptr;
    std::string Config;
    TempDir Tmp;
};

// --- Construction and callbacks ------------------------------------------------------------

TEST_F(PackerTest, CreateGetsTheThreeCallbacksAndTheLevelUnchanged) {
    for (int32_t level : {7, 0, 9, -5, 1000, INT32_MIN, INT32_MAX}) {
        Setup("");
        TPacker packer("Setup.1", nullptr, RecordProgress, level);
        EXPECT_EQ(Log(), "Create " + std::to_string(level) + " 111\n") << level;
    }
}

TEST_F(PackerTest, VolumeNamesAreBaseNameDotNumber) {
    struct Case {
        const char* Package;
        int32_t Volume;
        const char* Expected;
    };
    const Case cases[] = {
        {"D:\\Pkg\\Setup.1", 12, "D:\\Pkg\\Setup.12"},
        {"C:\\Out\\Setup.1", 1, "C:\\Out\\Setup.1"},
        {"Setup", 3, "Setup.3"},
        {"dir.v2\\Setup", 1, "dir.v2\\Setup.1"},
        {"dir.v2/Setup", 2, "dir.v2/Setup.2"},
        {"a.b.c", 2, "a.b.2"},
        {"x.1", -4, "x.-4"},
        {"Out\\.1", 5, "Out\\.5"},
        {"", 1, ".1"},
    };
    for (const Case& c : cases) {
        auto packer = MakePacker(c.Package);
        EXPECT_EQ(Volume(c.Volume), c.Expected) << c.Package;
    }
}

TEST_F(PackerTest, VolumeNamesLongerThan260CharactersAreRefused) {
    struct Case {
        size_t BaseLength;
        int32_t Volume;
        bool Fits;
    };
    // 257 + ".12" fits exactly; one more character would have to be cut, and a cut name
    // is another file, so no name is given and the packer's next call raises.
    const Case cases[] = {{257, 12, true}, {258, 12, false}, {300, 7, false}, {10, 1, true}};
    for (const Case& c : cases) {
        std::string base(c.BaseLength, 'n');
        base[0] = 'A';
        auto packer = MakePacker(base + ".1");
        std::string full = base + "." + std::to_string(c.Volume);
        EXPECT_EQ(Volume(c.Volume), c.Fits ? full : "") << c.BaseLength;
        if (c.Fits) {
            EXPECT_NO_THROW(packer->Close()) << c.BaseLength;
            continue;
        }
        try {
            packer->Close();
            ADD_FAILURE() << "no error for " << c.BaseLength;
        } catch (const EInOutError& e) {
            EXPECT_NE(std::string(e.what()).find(full), std::string::npos) << e.what();
        }
    }
}

TEST_F(PackerTest, DiskSpaceAnswersFollowTheHandlersAbortFlag) {
    {
        auto packer = MakePacker("Setup.1", nullptr);
        EXPECT_EQ(AskDisk("/no/handler"), -1);
    }
    auto packer = MakePacker();
    Rec.DiskAbortAnswer = false;
    EXPECT_EQ(AskDisk("C:\\Out\\"), 0);
    Rec.DiskAbortAnswer = true;
    EXPECT_EQ(AskDisk("D:\\"), -1);
    ASSERT_EQ(Rec.Disk.size(), 2u);
    EXPECT_EQ(Rec.Disk[0].Path, "C:\\Out\\");
    EXPECT_EQ(Rec.Disk[1].Path, "D:\\");
    EXPECT_TRUE(Rec.Disk[0].AbortOnEntry);
    EXPECT_TRUE(Rec.Disk[1].AbortOnEntry);
}

TEST_F(PackerTest, DiskSpaceAskedDuringAddFileDecidesTheFile) {
    std::string file = Source("a.bin", "abc");
    struct Case {
        bool WithHandler, AbortAnswer, Added;
        const char* Answer;
    };
    const Case cases[] = {
        {true, false, true, "0"}, {true, true, false, "-1"}, {false, true, false, "-1"}};
    for (const Case& c : cases) {
        Rec = TRecorder();
        Rec.DiskAbortAnswer = c.AbortAnswer;
        Config = "diskspace=1;diskpath=" + Tmp.Path();
        auto packer = MakePacker("Setup.1", c.WithHandler ? RecordDiskSpace : nullptr);
        EXPECT_EQ(packer->AddFile(file, "a.bin"), c.Added);
        EXPECT_NE(Log().find("DiskSpace " + Tmp.Path() + " -> " + c.Answer + "\n"),
                  std::string::npos)
            << Log();
        EXPECT_EQ(Rec.Disk.size(), c.WithHandler ? 1u : 0u);
        EXPECT_EQ(WritesIn(Log()).size(), c.Added ? 1u : 0u);
    }
}

// --- Adding files ---------------------------------------------------------------------------

TEST_F(PackerTest, AddFilePassesNamesAndReportsEveryBlockToTheHandler) {
    std::string data = Pattern(30, 1);
    std::string file = Source("Src File.bin", data);
    Config = "blocks=13,8";
    auto packer = MakePacker();
    EXPECT_TRUE(packer->AddFile(file, "Data\\Sub\\Src File.bin"));

    EXPECT_EQ(AddFilesIn(Log()), std::vector<std::string>{file + "|Data\\Sub\\Src File.bin"});
    std::vector<TWrite> writes = WritesIn(Log());
    std::vector<size_t> sizes{13, 8, 8, 1};
    std::vector<std::string> plain = Split(data, sizes);
    ASSERT_EQ(writes.size(), sizes.size()) << Log();
    ASSERT_EQ(Rec.Progress.size(), sizes.size());
    int32_t done = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        done += static_cast<int32_t>(sizes[i]);
        EXPECT_EQ(writes[i].Answer, -1);
        EXPECT_EQ(writes[i].Hex, Hex(plain[i])) << "no password: block unchanged";
        EXPECT_EQ(Rec.Progress[i].FileName, file);
        EXPECT_EQ(Rec.Progress[i].FileSize, 30);
        EXPECT_EQ(Rec.Progress[i].BlockSize, static_cast<int32_t>(sizes[i]));
        EXPECT_EQ(Rec.Progress[i].Done, done);
    }
}

TEST_F(PackerTest, EmptyFileGetsOneEmptyBlockReport) {
    std::string file = Source("empty", "");
    auto packer = MakePacker();
    packer->SetPassword("pw");
    EXPECT_TRUE(packer->AddFile(file, "empty"));
    ASSERT_EQ(Rec.Progress.size(), 1u);
    EXPECT_EQ(Rec.Progress[0].FileSize, 0);
    EXPECT_EQ(Rec.Progress[0].BlockSize, 0);
    EXPECT_EQ(Rec.Progress[0].Done, 0);
    ASSERT_EQ(WritesIn(Log()).size(), 1u);
    EXPECT_EQ(WritesIn(Log())[0].Hex, "a5a5a5a5a5a5a5a5") << "empty block must stay untouched";
}

TEST_F(PackerTest, HandlerSayingStopMakesOnWriteAnswerZero) {
    std::string file = Source("f", Pattern(20, 2));
    Config = "blocks=8";
    auto packer = MakePacker();
    Rec.ProgressAnswer = false;
    EXPECT_FALSE(packer->AddFile(file, "f"));
    std::vector<TWrite> writes = WritesIn(Log());
    ASSERT_EQ(writes.size(), 1u) << "the library stops after a 0 answer";
    EXPECT_EQ(writes[0].Answer, 0);
}

TEST_F(PackerTest, MissingProgressHandlerStillPacksAndEncrypts) {
    std::string data = Pattern(16, 8);
    std::string file = Source("f", data);
    TPacker packer("Setup.1", nullptr, nullptr, 7);
    Setup("blocks=16");
    packer.SetPassword("pw");
    EXPECT_TRUE(packer.AddFile(file, "f"));
    std::vector<TWrite> writes = WritesIn(Log());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Answer, -1);
    EXPECT_EQ(writes[0].Hex, EncryptedBlocks("pw", {data})[0]);
}

TEST_F(PackerTest, AddFileAndCloseResultsAreAnyNonzeroValue) {
    std::string file = Source("f", "x");
    struct Case {
        const char* Config;
        bool Added, Closed;
    };
    const Case cases[] = {{"close=1", true, true},
                          {"close=0", true, false},
                          {"close=65536", true, true},
                          {"close=-1;refuse=1", false, true}};
    for (const Case& c : cases) {
        Config = c.Config;
        auto packer = MakePacker();
        EXPECT_EQ(packer->AddFile(file, "f"), c.Added) << c.Config;
        EXPECT_EQ(packer->Close(), c.Closed) << c.Config;
    }
}

// --- Password protection ---------------------------------------------------------------------

TEST_F(PackerTest, NonEmptyBlocksAreEncryptedPerFileWithTheirOwnBoundaries) {
    std::string data = Pattern(21, 3);
    std::string a = Tmp / "a";
    std::string b = Tmp / "b";
    WriteFile(a, data);
    WriteFile(b, data);
    Config = "blocks=13,8";
    auto packer = MakePacker();
    packer->SetPassword("secret");
    EXPECT_TRUE(packer->AddFile(a, "Data\\a"));
    EXPECT_TRUE(packer->AddFile(b, "Data\\b"));

    std::vector<std::string> expected = EncryptedBlocks("secret", Split(data, {13, 8}));
    std::vector<TWrite> writes = WritesIn(Log());
    ASSERT_EQ(writes.size(), 4u) << Log();
    // Each file starts from the same IV, so equal files give equal ciphertext.
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(writes[i].Hex, expected[i % 2]) << i;
    EXPECT_NE(writes[0].Hex, Hex(data.substr(0, 13)));
    // The 8-byte block chains from the first whole ciphertext block, not the 5-byte tail:
    // one 21-byte run over the same bytes gives another second block.
    std::vector<std::string> oneRun = EncryptedBlocks("secret", {data});
    EXPECT_EQ(oneRun[0].substr(0, 16), expected[0].substr(0, 16));
    EXPECT_NE(oneRun[0].substr(26), expected[1]);
    // The progress handler still sees plain sizes for every block.
    ASSERT_EQ(Rec.Progress.size(), 4u);
    EXPECT_EQ(Rec.Progress[1].BlockSize, 8);
    EXPECT_EQ(Rec.Progress[1].Done, 21);
}

// Before every file the packer tells the library whether it will encrypt the file's
// blocks: only files added without an active password are plain.
TEST_F(PackerTest, TellsTheLibraryWhichFilesItLeavesPlain) {
    const std::string file = Source("f", Pattern(10, 5));
    auto packer = MakePacker();
    EXPECT_TRUE(packer->AddFile(file, "Presetup\\a"));
    packer->SetPassword("secret");
    EXPECT_TRUE(packer->AddFile(file, "Data\\b"));
    packer->SetPassword("");
    EXPECT_TRUE(packer->AddFile(file, "Data\\c"));
    std::vector<std::string> told;
    std::istringstream lines(Log());
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("SetPlain ", 0) == 0) told.push_back(line);
        if (line.rfind("AddFile " + file, 0) == 0) told.push_back("AddFile");
    }
    EXPECT_EQ(told, (std::vector<std::string>{"SetPlain 1", "AddFile", "SetPlain 0", "AddFile",
                                              "SetPlain 1", "AddFile"}))
        << Log();
}

TEST_F(PackerTest, EmptyBlocksLeaveDataAndChainAlone) {
    std::string data = Pattern(13, 4);
    std::string file = Source("f", data);
    Config = "blocks=0,8,0,5";
    auto packer = MakePacker();
    packer->SetPassword("k");
    EXPECT_TRUE(packer->AddFile(file, "f"));
    std::vector<TWrite> writes = WritesIn(Log());
    ASSERT_EQ(writes.size(), 4u) << Log();
    std::vector<std::string> expected = EncryptedBlocks("k", Split(data, {8, 5}));
    EXPECT_EQ(writes[0].Hex, Hex(data.substr(0, 8)));
    EXPECT_EQ(writes[1].Hex, expected[0]);
    EXPECT_EQ(writes[2].Hex, Hex(data.substr(8, 5) + std::string(3, '\xA5')));
    EXPECT_EQ(writes[3].Hex, expected[1]);
    ASSERT_EQ(Rec.Progress.size(), 4u);
    EXPECT_EQ(Rec.Progress[0].BlockSize, 0);
    EXPECT_EQ(Rec.Progress[2].BlockSize, 0);
    EXPECT_EQ(Rec.Progress[2].Done, 8);
}

TEST_F(PackerTest, SetPasswordGovernsFilesAddedAfterIt) {
    std::string data = Pattern(19, 5);
    std::string file = Source("f", data);
    Config = "blocks=1000";
    auto packer = MakePacker();
    struct Step {
        const char* Password;  // nullptr: no SetPassword before this file
        std::string Expected;
    };
    const Step steps[] = {
        {nullptr, Hex(data)},
        {"one", EncryptedBlocks("one", {data})[0]},
        {"two", EncryptedBlocks("two", {data})[0]},
        {nullptr, EncryptedBlocks("two", {data})[0]},
        {"", Hex(data)},
        {"one", EncryptedBlocks("one", {data})[0]},
    };
    for (const Step& s : steps) {
        if (s.Password) packer->SetPassword(s.Password);
        Setup(Config.c_str());
        EXPECT_TRUE(packer->AddFile(file, "f"));
        std::vector<TWrite> writes = WritesIn(Log());
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].Hex, s.Expected) << (s.Password ? s.Password : "(unchanged)");
    }
    EXPECT_NE(EncryptedBlocks("one", {data})[0], EncryptedBlocks("two", {data})[0]);
}

// --- Trees -------------------------------------------------------------------------------

/// Source and stored name of a file below the scratch directory, as the packer forms them.
std::string Entry(const TempDir& tmp, const std::string& rel, size_t skip) {
    std::string full = tmp.Path() + rel;
    return full + "|" + (skip < full.size() ? full.substr(skip) : "");
}

class PackerTreeTest : public PackerTest {
  protected:
    void SetUp() override {
        PackerTest::SetUp();
        for (const char* name : {"Data/B.txt", "Data/a.txt", "Data/.hidden", "Data/ro.txt",
                                 "Data/Sub/z.txt", "Data/Sub/Deep/y.bin", "Data/Alpha/x.txt"})
            WriteFile(Tmp / name, name);
        std::filesystem::create_directories(Tmp / "Data/Empty");
        std::filesystem::permissions(Tmp / "Data/ro.txt", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
    }
    std::string DataMask() { return Tmp.Path() + "Data\\*.*"; }
};

TEST_F(PackerTreeTest, FilesComeBeforeSubdirectoriesDepthFirst) {
    const std::vector<std::string> all = {
        "Data\\.hidden",      "Data\\a.txt",      "Data\\B.txt",           "Data\\ro.txt",
        "Data\\Alpha\\x.txt", "Data\\Sub\\z.txt", "Data\\Sub\\Deep\\y.bin"};
    size_t base = Tmp.Path().size();
    for (bool recursive : {true, false}) {
        auto packer = MakePacker();
        EXPECT_TRUE(packer->AddTreeFrom(DataMask(), Tmp.Path(), recursive));
        std::vector<std::string> expected;
        for (const std::string& rel : all)
            if (recursive || rel.find('\\', 5) == std::string::npos)
                expected.push_back(Entry(Tmp, rel, base));
        EXPECT_EQ(AddFilesIn(Log()), expected) << "recursive " << recursive;
    }
}

TEST_F(PackerTreeTest, StoredNamesDropTheSkipCount) {
    std::string base = Tmp.Path();
    std::string noSeparator = base.substr(0, base.size() - 1);
    struct Case {
        std::string BaseDir;
        size_t Skip;
    };
    const Case cases[] = {{base, base.size()}, {noSeparator, base.size()}, {"", 0}};
    for (const Case& c : cases) {
        auto packer = MakePacker();
        EXPECT_TRUE(packer->AddTreeFrom(DataMask(), c.BaseDir, false));
        std::vector<std::string> calls = AddFilesIn(Log());
        ASSERT_EQ(calls.size(), 4u) << c.BaseDir;
        EXPECT_EQ(calls[1], Entry(Tmp, "Data\\a.txt", c.Skip)) << c.BaseDir;
    }
    for (int32_t skip : {5, 100000}) {
        auto packer = MakePacker();
        EXPECT_TRUE(packer->AddTree(DataMask(), false, skip));
        EXPECT_EQ(AddFilesIn(Log())[0], Entry(Tmp, "Data\\.hidden", static_cast<size_t>(skip)));
    }
}

TEST_F(PackerTreeTest, MissingOrEmptyDirectoriesAddNothing) {
    for (std::string mask : {Tmp.Path() + "Nowhere\\*.*", Tmp.Path() + "Data\\Empty\\*.*",
                             Tmp.Path() + "Data\\*.none"}) {
        auto packer = MakePacker();
        EXPECT_TRUE(packer->AddTree(mask, true, 0)) << mask;
        EXPECT_TRUE(AddFilesIn(Log()).empty()) << mask;
    }
}

TEST_F(PackerTreeTest, NarrowPatternDescendsOnlyMatchingDirectories) {
    WriteFile(Tmp / "Data/notes.txt/inner.txt", "i");
    WriteFile(Tmp / "Data/notes.txt/inner.bin", "b");
    auto packer = MakePacker();
    EXPECT_TRUE(packer->AddTree(Tmp.Path() + "Data\\*.txt", true, 0));
    std::vector<std::string> expected = {Entry(Tmp, "Data\\a.txt", 0), Entry(Tmp, "Data\\B.txt", 0),
                                         Entry(Tmp, "Data\\ro.txt", 0),
                                         Entry(Tmp, "Data\\notes.txt\\inner.txt", 0)};
    EXPECT_EQ(AddFilesIn(Log()), expected);
}

TEST_F(PackerTreeTest, RefusedFileEndsTheWholeWalk) {
    struct Case {
        int Refuse;
        size_t Offered;
    };
    // The 3rd file of Data, then the 1st file of the first subdirectory.
    for (const Case& c : {Case{3, 3}, Case{5, 5}}) {
        Config = "refuse=" + std::to_string(c.Refuse);
        auto packer = MakePacker();
        EXPECT_FALSE(packer->AddTreeFrom(DataMask(), Tmp.Path(), true));
        EXPECT_EQ(AddFilesIn(Log()).size(), c.Offered) << Log();
    }
}

// --- Errors raised inside callbacks ------------------------------------------------------------

TEST_F(PackerTest, DiskSpaceHandlerErrorIsRaisedAfterTheLibraryReturns) {
    std::string file = Source("f", "abc");
    Config = "diskspace=1;diskpath=X:\\";
    auto packer = MakePacker();
    Rec.DiskThrows = true;
    try {
        packer->AddFile(file, "f");
        FAIL() << "the handler's error was swallowed";
    } catch (const EPlatformError& e) {
        EXPECT_EQ(e.Code, 6u);
        EXPECT_STREQ(e.what(), "Win32 Error.  Code: 6.\nThe handle is invalid");
    }
    EXPECT_EQ(Log(), "SetPlain 1\nAddFile " + file + "|f\nDiskSpace X:\\ -> -1\nAddFile end 0\n");
    // The error is raised once; the next file goes on normally.
    Rec.DiskThrows = false;
    Rec.DiskAbortAnswer = false;
    Setup("");
    EXPECT_TRUE(packer->AddFile(file, "f"));
}

TEST_F(PackerTest, ProgressHandlerErrorStopsTheFileAndIsRaisedOnce) {
    std::string data = Pattern(24, 6);
    std::string file = Source("f", data);
    Config = "blocks=8";
    auto packer = MakePacker();
    packer->SetPassword("pw");
    Rec.ThrowOnProgressCall = 2;
    EXPECT_THROW(packer->AddFile(file, "f"), std::runtime_error);
    std::vector<TWrite> writes = WritesIn(Log());
    ASSERT_EQ(writes.size(), 2u) << Log();
    EXPECT_EQ(writes[0].Answer, -1);
    EXPECT_EQ(writes[1].Answer, 0);
    EXPECT_NE(Log().find("AddFile end 0\n"), std::string::npos);
    // A fresh chain for the next file despite the interrupted one.
    Setup(Config.c_str());
    EXPECT_TRUE(packer->AddFile(file, "f"));
    writes = WritesIn(Log());
    std::vector<std::string> expected = EncryptedBlocks("pw", Split(data, {8, 8, 8}));
    ASSERT_EQ(writes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(writes[i].Hex, expected[i]);
}

TEST_F(PackerTest, AfterAHandlerErrorBlocksStayEncryptedAndTheHandlerRests) {
    std::string data = Pattern(24, 7);
    std::string file = Source("f", data);
    Config = "blocks=8;ignorestop=1";
    auto packer = MakePacker();
    packer->SetPassword("pw");
    Rec.ThrowOnProgressCall = 1;
    EXPECT_THROW(packer->AddFile(file, "f"), std::runtime_error);
    EXPECT_EQ(Rec.Progress.size(), 1u) << "the handler is not called again after its error";
    std::vector<TWrite> writes = WritesIn(Log());
    std::vector<std::string> expected = EncryptedBlocks("pw", Split(data, {8, 8, 8}));
    ASSERT_EQ(writes.size(), 3u) << Log();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(writes[i].Answer, 0);
        EXPECT_EQ(writes[i].Hex, expected[i]) << "a protected block went out in plain form";
    }
}

TEST_F(PackerTest, CloseRaisesAnErrorKeptDuringIt) {
    Config = "closespace=1;diskpath=Y:\\";
    auto packer = MakePacker();
    Rec.DiskThrows = true;
    EXPECT_THROW(packer->Close(), EPlatformError);
    EXPECT_EQ(Log(), "DiskSpace Y:\\ -> -1\nClose -> 1\n");
}

// --- Loading and unloading -------------------------------------------------------------------

/// Runs in a scratch current directory holding the library's events file.
class EventsDir {
  public:
    EventsDir() : Old(std::filesystem::current_path()) {
        WriteFile(Tmp / "packtest-events.txt", "");
        std::filesystem::current_path(Tmp.Path());
    }
    ~EventsDir() { std::filesystem::current_path(Old); }
    std::string Events() const { return TestUtil::ReadFile(Tmp / "packtest-events.txt"); }

  private:
    TempDir Tmp;
    std::filesystem::path Old;
};

TEST(PackerLibrary, DestructionUnloadsTheLibrary) {
    EventsDir dir;
    {
        TPacker packer("Setup.1", nullptr, RecordProgress, 7);
        EXPECT_EQ(dir.Events(), "load\n");
    }
    EXPECT_EQ(dir.Events(), "load\nunload\n");
}

// --- Digests --------------------------------------------------------------------------------

TEST(PackerHash, HashStringHexIsTheUpperCaseDigest) {
    const std::string texts[] = {
        "", "abc", "secret", "zvqsecretzvq", std::string(300, 'q'), std::string("\0\xff\x80", 3)};
    for (const std::string& text : texts) {
        std::array<uint8_t, 32> digest = Digest(text);
        std::string expected;
        for (uint8_t b : digest) {
            static const char Digits[] = "0123456789ABCDEF";
            expected += Digits[b >> 4];
            expected += Digits[b & 15];
        }
        EXPECT_EQ(TPacker::HashStringHex(text), expected);
        uint8_t out[33];
        out[32] = 0x5C;
        TPacker::HashString(text, out);
        EXPECT_TRUE(std::equal(digest.begin(), digest.end(), out));
        EXPECT_EQ(out[32], 0x5C) << "wrote past 32 bytes";
    }
    // The profile's check values.
    EXPECT_EQ(TPacker::HashStringHex(""),
              "5981D3F8CCE7F5674752595F4AD24C184BA1C738C986D4D2EDDF2BD86C3F8679");
    EXPECT_EQ(TPacker::HashStringHex("abc"),
              "4ABAEF95A29102E6CA3C47F0EBACD3FB7AFC6CA2D14305D7A08A470CCDE62185");
}

}  // namespace
