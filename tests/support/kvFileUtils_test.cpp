#include "kvFileUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "TestUtil.h"
#include "kvFileTestUtil.h"

namespace {

using FileTest::Exists;
using FileTest::Read;
using FileTest::Write;

std::string Sub(const TestUtil::TempDir& dir, std::initializer_list<std::string> parts) {
    std::string path = dir.Path();
    bool first = true;
    for (const std::string& p : parts) {
        if (!first) path += TestUtil::Sep();
        path += p;
        first = false;
    }
    return path;
}

bool IsReadOnly(const std::string& path) {
    const uint32_t attrs = Plat::GetAttributes(path);
    return attrs != Plat::InvalidAttributes && (attrs & Plat::AttrReadOnly) != 0;
}

bool NativeHasDrives() {
    return TestUtil::Sep() == '\\';
}

// --- Raw handles and text lines -------------------------------------------------------

std::vector<std::string> ReadAllLines(const std::string& path) {
    std::vector<std::string> lines;
    Plat::Handle h = OpenFileHandle(path, Plat::GenericRead, Plat::ShareRead, Plat::OpenExisting,
                                    Plat::AttrNormal);
    EXPECT_NE(h, Plat::InvalidHandle);
    if (h == Plat::InvalidHandle) return lines;
    std::string line;
    while (!AtEndOfFile(h)) {
        ReadTextLine(h, line);
        lines.push_back(line);
        if (lines.size() > 1000) break;  // a reader that stops advancing
    }
    CloseFileHandle(h);
    EXPECT_EQ(h, 0);
    return lines;
}

TEST(ReadTextLine, EveryLineEndStyle) {
    const std::string x99(99, 'x');
    const std::string y100(100, 'y');
    const std::string long250 = std::string(120, 'a') + std::string(130, 'b');
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR LF", "ab\r\ncd\r\n", {"ab", "cd"}},
        {"CR alone", "ab\rcd\r", {"ab", "cd"}},
        {"LF alone", "ab\ncd", {"ab", "cd"}},
        {"mixed", "a\r\nb\nc\rd\r\n", {"a", "b", "c", "d"}},
        {"empty lines", "\r\n\r\n\n\r", {"", "", "", ""}},
        {"LF then CR is two ends", "a\n\rb", {"a", "", "b"}},
        {"no terminator", "last", {"last"}},
        {"empty file", "", {}},
        {"long line", long250 + "\r\nnext", {long250, "next"}},
        {"CR LF across chunks", x99 + "\r\nnext\r\n", {x99, "next"}},
        {"CR at chunk end, text follows", x99 + "\rnext", {x99, "next"}},
        {"CR at chunk end, file ends", x99 + "\r", {x99}},
        {"CR at chunk end, CR follows", x99 + "\r\rz", {x99, "", "z"}},
        {"line of exactly one chunk", y100 + "\n" + y100, {y100, y100}},
        {"spaces and high bytes kept", " a=\xC3\xA9 \t\r\n", {" a=\xC3\xA9 \t"}},
    };
    TestUtil::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Write(dir / "t.txt", c.bytes));
        EXPECT_EQ(ReadAllLines(dir / "t.txt"), c.lines);
    }
}

TEST(ReadTextLine, PositionIsJustAfterTheLineEnd) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "t.txt", "ab\r\ncd\nef"));
    Plat::Handle h = OpenFileHandle(dir / "t.txt", Plat::GenericRead, Plat::ShareRead,
                                    Plat::OpenExisting, Plat::AttrNormal);
    ASSERT_NE(h, Plat::InvalidHandle);
    std::string line;
    EXPECT_EQ(FilePosition(h), 0);
    ReadTextLine(h, line);
    EXPECT_EQ(FilePosition(h), 4);
    ReadTextLine(h, line);
    EXPECT_EQ(FilePosition(h), 7);
    EXPECT_FALSE(AtEndOfFile(h));
    ReadTextLine(h, line);
    EXPECT_EQ(line, "ef");
    EXPECT_TRUE(AtEndOfFile(h));
    ReadTextLine(h, line);  // at the end a read gives an empty line
    EXPECT_EQ(line, "");
    CloseFileHandle(h);
}

TEST(ReadTextLine, UnreadableHandleReadsAsEnded) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "t.txt", "ab\r\ncd\r\n"));
    Plat::Handle h =
        OpenFileHandle(dir / "t.txt", Plat::GenericWrite, 0, Plat::OpenExisting, Plat::AttrNormal);
    ASSERT_NE(h, Plat::InvalidHandle);
    ASSERT_FALSE(AtEndOfFile(h));
    std::string line = "stale";
    ReadTextLine(h, line);  // the handle is open for writing only: the read fails
    EXPECT_EQ(line, "");
    EXPECT_TRUE(AtEndOfFile(h));
    CloseFileHandle(h);
    EXPECT_EQ(Read(dir / "t.txt"), "ab\r\ncd\r\n");
}

TEST(WriteTextLine, WritesCrLfAndReadsBack) {
    TestUtil::TempDir dir;
    Plat::Handle h =
        OpenFileHandle(dir / "w.txt", Plat::GenericWrite, 0, Plat::CreateAlways, Plat::AttrNormal);
    ASSERT_NE(h, Plat::InvalidHandle);
    const std::string longText(300, 'q');
    for (const std::string& text : {std::string("[Config]"), std::string(), longText})
        WriteTextLine(h, text);
    EXPECT_EQ(FilePosition(h), 8 + 2 + 2 + 300 + 2);
    CloseFileHandle(h);
    EXPECT_EQ(Read(dir / "w.txt"), "[Config]\r\n\r\n" + longText + "\r\n");
    EXPECT_EQ(ReadAllLines(dir / "w.txt"), (std::vector<std::string>{"[Config]", "", longText}));
}

TEST(OpenFileHandle, FailuresGiveTheInvalidHandle) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "f", "x"));
    EXPECT_EQ(OpenFileHandle(dir / "missing", Plat::GenericRead, Plat::ShareRead,
                             Plat::OpenExisting, Plat::AttrNormal),
              Plat::InvalidHandle);
    EXPECT_EQ(OpenFileHandle(Sub(dir, {"nodir", "f"}), Plat::GenericWrite, 0, Plat::CreateAlways,
                             Plat::AttrNormal),
              Plat::InvalidHandle);
    EXPECT_EQ(OpenFileHandle(Sub(dir, {"f", "g"}), Plat::GenericWrite, 0, Plat::CreateAlways,
                             Plat::AttrNormal),
              Plat::InvalidHandle);
    Plat::Handle h = 0;
    CloseFileHandle(h);  // an already closed variable stays closed
    EXPECT_EQ(h, 0);
}

// --- Names and directories ---------------------------------------------------------------

Plat::LocalTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
    return Plat::LocalTime{y, mo, d, h, mi, s, ms};
}

TEST(UniqueName, NameOfAMoment) {
    struct Case {
        Plat::LocalTime t;
        const char* name;
    } cases[] = {
        {At(2026, 12, 7, 21, 4, 41, 500), "2F477I9M"}, {At(2030, 1, 1, 0, 0, 0, 0), "00100000"},
        {At(2024, 3, 1, 23, 59, 59, 999), "1FI87LFV"},  // leap year: day 61 + 4*365 + 1
        {At(2100, 3, 1, 0, 0, 0, 9), "01S00000"},       // 2100 is no leap year: day 60
        {At(2000, 3, 1, 0, 0, 0, 10), "01T00001"},      // 2000 is: day 61
        {At(2029, 12, 31, 0, 0, 0, 0), "3I400000"},     // day stamp 9*365 + 2 + 365
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DateTimeName(c.t), c.name);
    }
}

TEST(UniqueName, AnyExistingEntryMakesANameTaken) {
    TestUtil::TempDir dir;
    const Plat::LocalTime times[] = {At(2026, 12, 7, 21, 4, 41, 500),
                                     At(2026, 12, 7, 21, 4, 41, 510),
                                     At(2026, 12, 7, 21, 4, 41, 520)};
    ASSERT_TRUE(Plat::CreateDirectory(dir / DateTimeName(times[0])));  // a directory
    ASSERT_TRUE(Write(dir / DateTimeName(times[1]), ""));              // a file
    int calls = 0;
    const std::string name = UniqueNameAt(dir.Path(), [&] { return times[calls++]; });
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(name, DateTimeName(times[2]));
}

TEST(UniqueName, DanglingLinkMakesANameTaken) {
    TestUtil::TempDir dir;
    const Plat::LocalTime times[] = {At(2026, 12, 7, 21, 4, 41, 500),
                                     At(2026, 12, 7, 21, 4, 41, 510)};
    std::error_code error;
    std::filesystem::create_symlink(dir / "nowhere", dir / DateTimeName(times[0]), error);
    if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
    int calls = 0;
    const std::string name = UniqueNameAt(dir.Path(), [&] { return times[calls++]; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(name, DateTimeName(times[1]));
}

TEST(UniqueName, FreeNameInARealDirectory) {
    TestUtil::TempDir dir;
    std::string base = dir.Path();
    base.pop_back();  // without its separator: one is added
    const std::string name = UniqueName(base);
    ASSERT_EQ(name.size(), 8u);
    for (char c : name) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'V')) << name;
    EXPECT_FALSE(Exists(dir / name));
    EXPECT_TRUE(CreateDirExclusive(dir / name));
    EXPECT_TRUE(IsDirectory(dir / name));
}

TEST(CreateDirExclusive, FailsWhenAnythingOfThatNameExists) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "file", "keep"));
    ASSERT_TRUE(Plat::CreateDirectory(dir / "dir"));
    ASSERT_TRUE(Write(Sub(dir, {"dir", "inner"}), "keep"));
    EXPECT_FALSE(CreateDirExclusive(dir / "file"));
    EXPECT_FALSE(CreateDirExclusive(dir / "dir"));
    EXPECT_FALSE(CreateDirExclusive(Sub(dir, {"missing", "x"})));
    EXPECT_EQ(Read(dir / "file"), "keep");
    EXPECT_EQ(Read(Sub(dir, {"dir", "inner"})), "keep");
}

TEST(IsDirectory, TellsDirectoriesFromEverythingElse) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "file", "x"));
    ASSERT_TRUE(Plat::CreateDirectory(dir / "d \xC3\xA9"));
    struct Case {
        std::string path;
        bool isDir;
    } cases[] = {
        {dir.Path(), true},       {dir / "d \xC3\xA9", true},       {dir / "file", false},
        {dir / "missing", false}, {Sub(dir, {"file", "x"}), false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsDirectory(c.path), c.isDir);
        EXPECT_EQ(DirExists(c.path), c.isDir);
    }
}

TEST(AddBackslash, AddsOnlyWhereMissing) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""}, {"C:\\a\\", "C:\\a\\"}, {"C:\\a", "C:\\a\\"}, {"x", "x\\"}, {"/tmp/", "/tmp/"},
    };
    for (const Case& c : cases) EXPECT_EQ(AddBackslash(c.in), c.out) << c.in;
}

TEST(DrivePart, DrivesAndSharesWhereThePlatformHasThem) {
    struct Case {
        const char* path;
        const char* withDrives;
    } cases[] = {
        {"c:\\x\\y", "c:"},
        {"C:", "C:"},
        {"\\\\server\\share\\dir\\f", "\\\\server\\share"},
        {"//server/share/f", "//server/share"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"\\x\\y", ""},
        {"/tmp/x", ""},
        {"rel\\x", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DrivePart(c.path), NativeHasDrives() ? c.withDrives : "") << c.path;
}

TEST(ForceDirs, CreatesEveryMissingLevel) {
    TestUtil::TempDir dir;
    ForceDirs(dir.Path() + "a\\b\\c\\");
    EXPECT_TRUE(IsDirectory(Sub(dir, {"a", "b", "c"})));
    ForceDirs(dir.Path() + "a/x y/\xC3\xA9/");
    EXPECT_TRUE(IsDirectory(Sub(dir, {"a", "x y", "\xC3\xA9"})));
    ForceDirs(dir.Path() + "a");  // existing: nothing happens
    EXPECT_TRUE(IsDirectory(Sub(dir, {"a", "b", "c"})));
    ForceDirs("");
    // A file in the way: nothing below it can be made, and it stays a file.
    ASSERT_TRUE(Write(dir / "f", "keep"));
    ForceDirs(Sub(dir, {"f", "g"}));
    EXPECT_EQ(Read(dir / "f"), "keep");
    EXPECT_FALSE(IsDirectory(Sub(dir, {"f", "g"})));
}

// Names of one or two characters are folders like any other on both platforms: only a
// root (a bare drive, a share, "/" or "\\") stops the walk up.
TEST(ForceDirs, ShortRelativeNamesAreCreated) {
    TestUtil::TempDir dir;
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    for (const char* name : {"ab\\cd", "z", "y\\", "x/", "ab\\e\\f"}) ForceDirs(name);
    std::filesystem::current_path(saved);
    EXPECT_TRUE(IsDirectory(Sub(dir, {"ab", "cd"})));
    EXPECT_TRUE(IsDirectory(Sub(dir, {"ab", "e", "f"})));
    for (const char* name : {"z", "y", "x"}) EXPECT_TRUE(IsDirectory(dir / name)) << name;
}

// --- Deleting ---------------------------------------------------------------------------

// A tree of read-only files, subdirectories and names that start with a dot.
void MakeTree(const TestUtil::TempDir& dir) {
    ForceDirs(Sub(dir, {"root", "sub", "deeper"}));
    ForceDirs(Sub(dir, {"root", ".git", "objects"}));
    ForceDirs(Sub(dir, {"root", "empty"}));
    for (auto path : {Sub(dir, {"root", "a.txt"}), Sub(dir, {"root", ".hidden"}),
                      Sub(dir, {"root", "sub", "ro.txt"}), Sub(dir, {"root", "sub", "deeper", "x"}),
                      Sub(dir, {"root", ".git", "objects", "pack"}),
                      Sub(dir, {"root", "with space \xC3\xA9"})}) {
        ASSERT_TRUE(Write(path, "data"));
        ASSERT_TRUE(Plat::SetAttributes(path, Plat::AttrReadOnly));
    }
}

TEST(DeleteTree, RemovesEverythingWithTheRoot) {
    TestUtil::TempDir dir;
    MakeTree(dir);
    EXPECT_TRUE(DeleteTree(dir / "root", true));
    EXPECT_FALSE(Exists(dir / "root"));
}

TEST(DeleteTree, KeepsRootAndSubdirectoriesWhenAsked) {
    TestUtil::TempDir dir;
    MakeTree(dir);
    EXPECT_TRUE(DeleteTree(dir.Path() + "root\\", false));
    for (auto d : {Sub(dir, {"root"}), Sub(dir, {"root", "sub"}),
                   Sub(dir, {"root", "sub", "deeper"}), Sub(dir, {"root", ".git"}),
                   Sub(dir, {"root", ".git", "objects"}), Sub(dir, {"root", "empty"})})
        EXPECT_TRUE(IsDirectory(d)) << d;
    for (auto f :
         {Sub(dir, {"root", "a.txt"}), Sub(dir, {"root", ".hidden"}),
          Sub(dir, {"root", "sub", "ro.txt"}), Sub(dir, {"root", ".git", "objects", "pack"})})
        EXPECT_FALSE(Exists(f)) << f;
}

TEST(DeleteTree, RefusesWhatIsNoDirectory) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "file", "keep"));
    EXPECT_FALSE(DeleteTree(dir / "file", true));
    EXPECT_FALSE(DeleteTree(dir / "missing", true));
    EXPECT_FALSE(DeleteTree("", true));
    EXPECT_EQ(Read(dir / "file"), "keep");
}

TEST(DeleteTree, RemovesALinkButNotWhatItPointsTo) {
    TestUtil::TempDir dir;
    ForceDirs(Sub(dir, {"outside", "nested"}));
    ASSERT_TRUE(Write(Sub(dir, {"outside", "keep.txt"}), "keep"));
    ASSERT_TRUE(Write(Sub(dir, {"outside", "nested", "keep2.txt"}), "keep"));
    ASSERT_TRUE(Write(dir / "target.txt", "keep"));
    ForceDirs(dir / "root");
    std::error_code ec;
    std::filesystem::create_directory_symlink(dir / "outside", Sub(dir, {"root", "dirlink"}), ec);
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    std::filesystem::create_symlink(dir / "target.txt", Sub(dir, {"root", "filelink"}), ec);
    std::filesystem::create_symlink(dir / "gone", Sub(dir, {"root", "dangling"}), ec);
    DeleteTree(dir / "root", true);
    EXPECT_EQ(Read(Sub(dir, {"outside", "keep.txt"})), "keep");
    EXPECT_EQ(Read(Sub(dir, {"outside", "nested", "keep2.txt"})), "keep");
    EXPECT_EQ(Read(dir / "target.txt"), "keep");
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::symlink_status(Sub(dir, {"root", "dirlink"}))));
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::symlink_status(Sub(dir, {"root", "filelink"}))));
}

TEST(DeleteTree, ARootThatIsALinkKeepsItsTargetsContents) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Plat::CreateDirectory(dir / "outside"));
    ASSERT_TRUE(Write(Sub(dir, {"outside", "keep.txt"}), "keep"));
    ASSERT_TRUE(Write(dir / "ro.txt", "keep"));
    ASSERT_TRUE(Plat::SetAttributes(dir / "ro.txt", Plat::AttrReadOnly));
    std::error_code ec;
    std::filesystem::create_directory_symlink(dir / "outside", dir / "rootlink", ec);
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    std::filesystem::create_symlink(dir / "ro.txt", dir / "filelink", ec);
    ASSERT_FALSE(ec);
    namespace fs = std::filesystem;
    EXPECT_FALSE(DeleteTree(dir.Path() + "rootlink" + TestUtil::Sep(), false));
    EXPECT_TRUE(fs::exists(fs::symlink_status(dir / "rootlink")));
    EXPECT_TRUE(DeleteTree(dir.Path() + "rootlink" + TestUtil::Sep(), true));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "rootlink")));
    EXPECT_EQ(Read(Sub(dir, {"outside", "keep.txt"})), "keep");
    // Deleting a link to a read-only file leaves the file read-only.
    EXPECT_TRUE(ForceDeleteFile(dir / "filelink"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "filelink")));
    EXPECT_TRUE(IsReadOnly(dir / "ro.txt"));
    EXPECT_EQ(Read(dir / "ro.txt"), "keep");
}

TEST(ForceDeleteFile, DeletesReadOnlyFiles) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "ro", "x"));
    ASSERT_TRUE(Plat::SetAttributes(dir / "ro", Plat::AttrReadOnly));
    EXPECT_TRUE(ForceDeleteFile(dir / "ro"));
    EXPECT_FALSE(Exists(dir / "ro"));
    EXPECT_FALSE(ForceDeleteFile(dir / "ro"));
    ASSERT_TRUE(Plat::CreateDirectory(dir / "d"));
    EXPECT_FALSE(ForceDeleteFile(dir / "d"));
    EXPECT_TRUE(IsDirectory(dir / "d"));
}

// --- Sizes and free space ------------------------------------------------------------------

TEST(FileSizeOf, SizesAndMissingFiles) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "empty", ""));
    ASSERT_TRUE(Write(dir / "n \xC3\xA9", std::string(1234, 'n')));
    EXPECT_EQ(FileSizeOf(dir / "empty"), 0);
    EXPECT_EQ(FileSizeOf(dir / "n \xC3\xA9"), 1234);
    EXPECT_EQ(FileSizeOf64(dir / "n \xC3\xA9"), 1234);
    EXPECT_EQ(FileSizeOf(dir / "missing"), -1);
    EXPECT_EQ(FileSizeOf64(dir / "missing"), -1);
    EXPECT_EQ(FileSizeOf(Sub(dir, {"nodir", "f"})), -1);
    // A relative name is taken from the current directory.
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const int32_t relative = FileSizeOf("n \xC3\xA9");
    std::filesystem::current_path(saved);
    EXPECT_EQ(relative, 1234);
}

TEST(FileSizeOf, SizesBeyondFourGiB) {
    TestUtil::TempDir dir;
    const uint64_t size = (uint64_t{1} << 32) + 5;
    Plat::Handle h =
        Plat::OpenFile(dir / "big", Plat::GenericWrite, 0, Plat::CreateAlways, Plat::AttrNormal);
    ASSERT_NE(h, Plat::InvalidHandle);
    // A sparse file: seek past the end and cut there.
    const bool made = Plat::Seek(h, static_cast<int64_t>(size), 0) == static_cast<int64_t>(size) &&
                      Plat::Truncate(h);
    Plat::CloseFile(h);
    if (!made) GTEST_SKIP() << "no 4 GiB file possible here";
    EXPECT_EQ(FileSizeOf64(dir / "big"), static_cast<int64_t>(size));
    EXPECT_EQ(FileSizeOf(dir / "big"), 5);  // the low 32 bits
}

TEST(DiskFreeKB, ExistingDirectoriesOnly) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "file", "x"));
    EXPECT_GT(DiskFreeKB(dir.Path()), 0);
    EXPECT_EQ(DiskFreeKB(dir / "file"), 0);
    EXPECT_EQ(DiskFreeKB(dir / "missing"), 0);
}

TEST(DiskFreeKB, LargeVolumesSaturate) {
    struct Case {
        uint64_t bytes;
        int32_t kb;
    } cases[] = {
        {0, 0},
        {1023, 0},
        {1024, 1},
        {(uint64_t{1} << 41) - 1024, 2147483647},
        {uint64_t{1} << 41, 2147483647},  // would wrap to a negative number
        {uint64_t{1} << 42, 2147483647},  // would wrap to 0
        {~uint64_t{0}, 2147483647},
    };
    for (const Case& c : cases) EXPECT_EQ(FreeBytesToKB(c.bytes), c.kb) << c.bytes;
}

// --- Copying ------------------------------------------------------------------------------

TEST(CopyFileTo, ReplaceAndAppend) {
    TestUtil::TempDir dir;
    const std::string src = dir / "src \xC3\xA9.bin";
    ASSERT_TRUE(Write(src, "SOURCE"));
    struct Case {
        const char* what;
        const char* before;  // nullptr: no destination yet
        bool append;
        std::string after;
    } cases[] = {
        {"replace existing", "OLD CONTENT LONGER", false, "SOURCE"},
        {"replace missing", nullptr, false, "SOURCE"},
        {"append existing", "STUB", true, "STUBSOURCE"},
        {"append missing", nullptr, true, "SOURCE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dst = dir / "dst";
        ForceDeleteFile(dst);
        if (c.before) {
            ASSERT_TRUE(Write(dst, c.before));
        }
        EXPECT_TRUE(CopyFileTo(src, dst, nullptr, c.append));
        EXPECT_EQ(Read(dst), c.after);
    }
    EXPECT_EQ(Read(src), "SOURCE");
}

TEST(CopyFileTo, EmptySource) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "empty", ""));
    EXPECT_TRUE(CopyFileTo(dir / "empty", dir / "new", nullptr, false));
    EXPECT_EQ(Read(dir / "new"), "");
    ASSERT_TRUE(Write(dir / "kept", "KEEP"));
    EXPECT_TRUE(CopyFileTo(dir / "empty", dir / "kept", nullptr, true));
    EXPECT_EQ(Read(dir / "kept"), "KEEP");
    EXPECT_TRUE(CopyFileTo(dir / "empty", dir / "kept", nullptr, false));
    EXPECT_EQ(Read(dir / "kept"), "");
}

TEST(CopyFileTo, FailuresLeaveTheDestinationAlone) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "src", "SOURCE"));
    ASSERT_TRUE(Write(dir / "dst", "KEEP"));
    ASSERT_TRUE(Plat::CreateDirectory(dir / "d"));
    EXPECT_FALSE(CopyFileTo(dir / "missing", dir / "dst", nullptr, false));
    EXPECT_FALSE(CopyFileTo(dir / "d", dir / "dst", nullptr, false));
    EXPECT_FALSE(CopyFileTo(dir / "src", Sub(dir, {"nodir", "x"}), nullptr, false));
    EXPECT_FALSE(CopyFileTo(dir / "src", dir / "d", nullptr, false));
    EXPECT_EQ(Read(dir / "dst"), "KEEP");
    EXPECT_TRUE(IsDirectory(dir / "d"));
}

TEST(CopyFileTo, OntoItselfKeepsTheFile) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "self", "PRECIOUS"));
    EXPECT_FALSE(CopyFileTo(dir / "self", dir / "self", nullptr, false));
    EXPECT_FALSE(
        CopyFileTo(dir / "self", dir.Path() + "." + TestUtil::Sep() + "self", nullptr, true));
    EXPECT_EQ(Read(dir / "self"), "PRECIOUS");
}

TEST(CopyFileTo, CarriesTimeAndAttributesOver) {
    TestUtil::TempDir dir;
    const uint64_t stamp = 132300000000000000ull;
    ASSERT_TRUE(Write(dir / "src", "SOURCE"));
    ASSERT_TRUE(FileTest::SetWriteTime(dir / "src", stamp));
    ASSERT_TRUE(Plat::SetAttributes(dir / "src", Plat::AttrReadOnly));
    ASSERT_TRUE(Write(dir / "dst", "STUB"));
    EXPECT_TRUE(CopyFileTo(dir / "src", dir / "dst", nullptr, true));
    EXPECT_EQ(Read(dir / "dst"), "STUBSOURCE");
    EXPECT_EQ(FileTest::WriteTime(dir / "dst"), stamp);
    EXPECT_TRUE(IsReadOnly(dir / "dst"));
    // A read-only destination cannot take a second append (where this user is denied
    // writes to read-only files at all).
    if (FileTest::ReadOnlyIsEnforced(dir / "probe")) {
        EXPECT_FALSE(CopyFileTo(dir / "src", dir / "dst", nullptr, true));
        EXPECT_EQ(Read(dir / "dst"), "STUBSOURCE");
    }
}

TEST(CopyFileTo, UnreadableSourceFails) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(Write(dir / "src", "SECRET"));
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(dir / "src", fs::perms::none, ec);
    Plat::Handle probe = Plat::OpenFile(dir / "src", Plat::GenericRead, Plat::ShareRead,
                                        Plat::OpenExisting, Plat::AttrNormal);
    if (probe != Plat::InvalidHandle) {
        Plat::CloseFile(probe);
        GTEST_SKIP() << "this user reads files without read permission";
    }
    EXPECT_FALSE(CopyFileTo(dir / "src", dir / "dst", nullptr, false));
    EXPECT_FALSE(Exists(dir / "dst"));
}

struct ProgressLog {
    std::vector<int32_t> written, done, total;
    int stopAfter = -1;
};
ProgressLog* Log = nullptr;

bool Record(const std::string&, const std::string&, int32_t written, int32_t done, int32_t total) {
    Log->written.push_back(written);
    Log->done.push_back(done);
    Log->total.push_back(total);
    return Log->stopAfter < 0 || static_cast<int>(Log->written.size()) < Log->stopAfter;
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7919u) >> 3);
    return s;
}

TEST(CopyFileTo, CopiesInBufferSteps) {
    TestUtil::TempDir dir;
    const std::string data = Pattern(2 * 131072 + 1000);
    ASSERT_TRUE(Write(dir / "src", data));
    ProgressLog log;
    Log = &log;
    EXPECT_TRUE(CopyFileTo(dir / "src", dir / "dst", Record, false));
    Log = nullptr;
    EXPECT_EQ(Read(dir / "dst"), data);
    EXPECT_EQ(log.written, (std::vector<int32_t>{131072, 131072, 1000}));
    EXPECT_EQ(log.done, (std::vector<int32_t>{131072, 262144, 263144}));
    EXPECT_EQ(log.total, (std::vector<int32_t>(3, 263144)));
}

TEST(CopyFileTo, ProgressHandlerCanStop) {
    TestUtil::TempDir dir;
    const std::string data = Pattern(2 * 131072 + 1000);
    ASSERT_TRUE(Write(dir / "src", data));
    ProgressLog log;
    log.stopAfter = 1;
    Log = &log;
    EXPECT_FALSE(CopyFileTo(dir / "src", dir / "dst", Record, false));
    Log = nullptr;
    EXPECT_EQ(log.written.size(), 1u);
    EXPECT_EQ(Read(dir / "dst"), data.substr(0, 131072));  // nothing is rolled back
}

}  // namespace
