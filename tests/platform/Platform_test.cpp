// Behaviour that both backends share: the same expectations natively and under Wine.
#include "Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "TestUtil.h"

using TestUtil::TempDir;

namespace {

// Paths handed to the layer use "\" as the system composes them.
std::string In(const TempDir& d, const std::string& rel) {
    return d.Path() + rel;
}

struct File {
    Plat::Handle h;
    explicit File(Plat::Handle handle) : h(handle) {}
    ~File() {
        if (h != Plat::InvalidHandle) Plat::CloseFile(h);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
};

Plat::Handle OpenWrite(const std::string& path, uint32_t disposition, uint32_t share) {
    return Plat::OpenFile(path, Plat::GenericWrite, share, disposition, Plat::AttrNormal);
}

Plat::Handle OpenRead(const std::string& path) {
    return Plat::OpenFile(path, Plat::GenericRead, Plat::ShareRead, Plat::OpenExisting,
                          Plat::AttrNormal);
}

bool Put(Plat::Handle h, const std::string& bytes) {
    uint32_t written = 0;
    return Plat::WriteFile(h, bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
           written == bytes.size();
}

std::string Get(Plat::Handle h, uint32_t max = 4096) {
    std::string buf(max, '\0');
    uint32_t read = 0;
    if (!Plat::ReadFile(h, buf.data(), max, read)) return "<read error>";
    buf.resize(read);
    return buf;
}

// Every name a search over mask lists, in the order it lists them; empty when it fails.
std::vector<std::string> List(const std::string& mask, uint32_t* error = nullptr) {
    std::vector<std::string> names;
    Plat::FindData fd;
    Plat::Handle h = Plat::FindFirst(mask, fd);
    if (h == Plat::InvalidHandle) {
        if (error) *error = Plat::LastError();
        return names;
    }
    do names.push_back(fd.name);
    while (Plat::FindNext(h, fd));
    if (error) *error = Plat::LastError();
    Plat::FindClose(h);
    return names;
}

std::vector<std::string> WithoutDots(std::vector<std::string> v) {
    v.erase(std::remove_if(v.begin(), v.end(),
                           [](const std::string& n) { return n == "." || n == ".."; }),
            v.end());
    return v;
}

bool FindOne(const std::string& path, Plat::FindData& fd) {
    Plat::Handle h = Plat::FindFirst(path, fd);
    if (h == Plat::InvalidHandle) return false;
    Plat::FindClose(h);
    return true;
}

}  // namespace

TEST(PlatformPaths, BothSeparatorsNameTheSameFile) {
    TempDir d;
    TestUtil::WriteFile(d / "sub" + TestUtil::Sep() + "a.txt", "abc");
    EXPECT_TRUE(Plat::FileExists(In(d, "sub\\a.txt")));
    EXPECT_TRUE(Plat::FileExists(In(d, "sub/a.txt")));
    File f(OpenRead(In(d, "sub/a.txt")));
    ASSERT_NE(f.h, Plat::InvalidHandle);
    EXPECT_EQ(Get(f.h), "abc");
    EXPECT_FALSE(Plat::FileExists(In(d, "sub")));  // a directory is not a file
}

TEST(PlatformPaths, FullPathResolvesDotsAgainstTheCurrentDirectory) {
    std::string cur = Plat::CurrentDir();
    ASSERT_FALSE(cur.empty());
    ASSERT_NE(cur.back(), '\\');
    EXPECT_EQ(Plat::FullPath("a\\b\\..\\c"), cur + "\\a\\c");
    EXPECT_EQ(Plat::FullPath("a/./c/"), cur + "\\a\\c\\");
    std::string root = cur.substr(0, cur.find('\\') + 1);  // "\" or "Z:\"
    EXPECT_EQ(Plat::FullPath(root + "x\\.\\y\\..\\z"), root + "x\\z");
    EXPECT_EQ(Plat::FullPath(root + "x\\..\\..\\..\\z"), root + "z");
    EXPECT_EQ(Plat::FullPath(""), "");
}

TEST(PlatformPaths, LastDelimiterFindsEitherSeparator) {
    EXPECT_EQ(Plat::LastDelimiter("a\\b/c"), 3u);
    EXPECT_EQ(Plat::LastDelimiter("a/b\\c"), 3u);
    EXPECT_EQ(Plat::LastDelimiter("name"), std::string::npos);
}

TEST(PlatformPaths, WellKnownDirectories) {
    std::string temp = Plat::TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_NE(Plat::GetAttributes(temp) & Plat::AttrDirectory, 0u);
    std::string win = Plat::WindowsDir();
    ASSERT_FALSE(win.empty());
    EXPECT_NE(Plat::GetAttributes(win) & Plat::AttrDirectory, 0u);
    std::string exe = Plat::ProgramFile();
    EXPECT_TRUE(Plat::FileExists(exe)) << exe;
    std::string base = exe.substr(Plat::LastDelimiter(exe) + 1);
    EXPECT_EQ(base.substr(0, 14), "platform_tests") << exe;
}

TEST(PlatformPaths, DiskFreeBytesOfAnExistingDirectory) {
    TempDir d;
    uint64_t bytes = 0;
    ASSERT_TRUE(Plat::DiskFreeBytes(d.Path(), bytes));
    EXPECT_GT(bytes, 0u);
    EXPECT_FALSE(Plat::DiskFreeBytes(In(d, "missing\\deeper\\"), bytes));
}

TEST(PlatformPaths, NamesWithSpacesAndHighBytesRoundTrip) {
    TempDir d;
    const std::string name = "with space \xC3\xA4 x.txt";
    {
        File f(OpenWrite(In(d, name), Plat::CreateNew, 0));
        ASSERT_NE(f.h, Plat::InvalidHandle);
        ASSERT_TRUE(Put(f.h, "content"));
    }
    EXPECT_EQ(WithoutDots(List(In(d, "*"))), std::vector<std::string>{name});
    File f(OpenRead(In(d, name)));
    ASSERT_NE(f.h, Plat::InvalidHandle);
    EXPECT_EQ(Get(f.h), "content");
}

TEST(PlatformFiles, Dispositions) {
    TempDir d;
    std::string p = In(d, "f.bin");
    // CreateNew: only when missing.
    {
        File f(OpenWrite(p, Plat::CreateNew, 0));
        ASSERT_NE(f.h, Plat::InvalidHandle);
        ASSERT_TRUE(Put(f.h, "original"));
    }
    EXPECT_EQ(OpenWrite(p, Plat::CreateNew, 0), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrFileExists);
    // OpenAlways keeps the content, CreateAlways empties the file.
    {
        File f(Plat::OpenFile(p, Plat::GenericRead | Plat::GenericWrite, 0, Plat::OpenAlways,
                              Plat::AttrNormal));
        ASSERT_NE(f.h, Plat::InvalidHandle);
        EXPECT_EQ(Get(f.h), "original");
    }
    {
        File f(OpenWrite(p, Plat::CreateAlways, 0));
        ASSERT_NE(f.h, Plat::InvalidHandle);
        EXPECT_EQ(Plat::FileSize(f.h), 0);
    }
    // OpenAlways and CreateAlways create missing files; OpenExisting does not.
    for (uint32_t disp : {Plat::OpenAlways, Plat::CreateAlways}) {
        std::string q = In(d, "new" + std::to_string(disp));
        File f(OpenWrite(q, disp, 0));
        EXPECT_NE(f.h, Plat::InvalidHandle) << disp;
        EXPECT_TRUE(Plat::FileExists(q)) << disp;
    }
    EXPECT_EQ(OpenRead(In(d, "missing")), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrFileNotFound);
    EXPECT_EQ(OpenRead(In(d, "nodir\\missing")), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrPathNotFound);
    EXPECT_EQ(OpenWrite(In(d, "nodir\\new"), Plat::CreateAlways, 0), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrPathNotFound);
}

TEST(PlatformFiles, SeekSizeTruncateAndEndOfFile) {
    TempDir d;
    File f(Plat::OpenFile(In(d, "s.bin"), Plat::GenericRead | Plat::GenericWrite, 0,
                          Plat::CreateAlways, Plat::AttrNormal));
    ASSERT_NE(f.h, Plat::InvalidHandle);
    ASSERT_TRUE(Put(f.h, "hello world"));
    EXPECT_EQ(Plat::FileSize(f.h), 11);
    EXPECT_EQ(Plat::Seek(f.h, 0, 1), 11);
    EXPECT_EQ(Plat::Seek(f.h, -5, 2), 6);
    EXPECT_EQ(Get(f.h), "world");
    EXPECT_EQ(Get(f.h), "");  // at the end: success with no bytes
    EXPECT_EQ(Plat::Seek(f.h, 5, 0), 5);
    ASSERT_TRUE(Plat::Truncate(f.h));
    EXPECT_EQ(Plat::FileSize(f.h), 5);
    EXPECT_EQ(Plat::Seek(f.h, 0, 0), 0);
    EXPECT_EQ(Get(f.h), "hello");
    EXPECT_EQ(Plat::Seek(f.h, -1, 0), -1);
    EXPECT_EQ(Plat::Seek(f.h, 0, 1), 5);  // a failed seek leaves the position alone
    // Writing past the end fills the gap with zeros.
    EXPECT_EQ(Plat::Seek(f.h, 8, 0), 8);
    ASSERT_TRUE(Put(f.h, "!"));
    EXPECT_EQ(Plat::Seek(f.h, 0, 0), 0);
    EXPECT_EQ(Get(f.h), std::string("hello\0\0\0!", 9));
}

TEST(PlatformFiles, SecondWriterIsRefusedWithoutHarm) {
    TempDir d;
    std::string p = In(d, "locked.ini");
    File first(OpenWrite(p, Plat::CreateAlways, Plat::ShareRead));
    ASSERT_NE(first.h, Plat::InvalidHandle);
    ASSERT_TRUE(Put(first.h, "kept"));
    // A refused CreateAlways must not have cut the holder's file.
    for (uint32_t disp : {Plat::CreateAlways, Plat::OpenAlways, Plat::OpenExisting}) {
        for (uint32_t share : {0u, Plat::ShareRead, Plat::ShareRead | Plat::ShareWrite}) {
            EXPECT_EQ(OpenWrite(p, disp, share), Plat::InvalidHandle) << disp << " " << share;
            EXPECT_EQ(Plat::LastError(), Plat::ErrSharingViolation) << disp << " " << share;
        }
    }
    // A reader that lets writers in may join.
    File reader(Plat::OpenFile(p, Plat::GenericRead, Plat::ShareRead | Plat::ShareWrite,
                               Plat::OpenExisting, Plat::AttrNormal));
    EXPECT_NE(reader.h, Plat::InvalidHandle);
    Plat::CloseFile(first.h);
    first.h = Plat::InvalidHandle;
    EXPECT_EQ(TestUtil::ReadFile(d / "locked.ini"), "kept");
    File second(OpenWrite(p, Plat::OpenExisting, Plat::ShareRead));
    EXPECT_NE(second.h, Plat::InvalidHandle);
}

TEST(PlatformFiles, WritersThatShareWritingCoexist) {
    TempDir d;
    std::string p = In(d, "shared.bin");
    const uint32_t all = Plat::ShareRead | Plat::ShareWrite;
    File a(OpenWrite(p, Plat::OpenAlways, all));
    File b(OpenWrite(p, Plat::OpenAlways, all));
    EXPECT_NE(a.h, Plat::InvalidHandle);
    EXPECT_NE(b.h, Plat::InvalidHandle);
    // ...but a writer that will not share is refused while they hold the file.
    EXPECT_EQ(OpenWrite(p, Plat::OpenExisting, Plat::ShareRead), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrSharingViolation);
}

// Whether the system itself refuses to write a read-only file for us: the POSIX backend
// always does; Wine running as root does not, because it keeps the bit in the mode bits.
bool ReadOnlyBites(const TempDir& d) {
    if (TestUtil::Sep() == '/') return true;
    TestUtil::WriteFile(d / "probe", "");
    if (!Plat::SetAttributes(In(d, "probe"), Plat::AttrReadOnly)) return true;
    std::FILE* f = std::fopen((d / "probe").c_str(), "r+");
    if (f) std::fclose(f);
    Plat::SetAttributes(In(d, "probe"), Plat::AttrNormal);
    return f == nullptr;
}

TEST(PlatformFiles, DirectoriesRefuseOpening) {
    TempDir d;
    ASSERT_TRUE(Plat::CreateDirectory(In(d, "dir")));
    EXPECT_EQ(OpenRead(In(d, "dir")), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrAccessDenied);
    EXPECT_EQ(OpenWrite(In(d, "dir"), Plat::OpenAlways, 0), Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrAccessDenied);
}

TEST(PlatformFiles, ReadOnlyFilesRefuseWritingAndDeleting) {
    TempDir d;
    TestUtil::WriteFile(d / "ro.txt", "read only");
    ASSERT_TRUE(Plat::SetAttributes(In(d, "ro.txt"), Plat::AttrReadOnly));
    EXPECT_NE(Plat::GetAttributes(In(d, "ro.txt")) & Plat::AttrReadOnly, 0u);
    {
        File r(OpenRead(In(d, "ro.txt")));
        ASSERT_NE(r.h, Plat::InvalidHandle);
        EXPECT_EQ(Get(r.h), "read only");
    }
    if (ReadOnlyBites(d)) {
        for (uint32_t disp : {Plat::OpenExisting, Plat::OpenAlways, Plat::CreateAlways}) {
            File w(OpenWrite(In(d, "ro.txt"), disp, 0));
            EXPECT_EQ(w.h, Plat::InvalidHandle) << disp;
            EXPECT_EQ(Plat::LastError(), Plat::ErrAccessDenied) << disp;
        }
        EXPECT_FALSE(Plat::DeleteFile(In(d, "ro.txt")));
        EXPECT_EQ(Plat::LastError(), Plat::ErrAccessDenied);
        EXPECT_EQ(TestUtil::ReadFile(d / "ro.txt"), "read only");
    }
    ASSERT_TRUE(Plat::SetAttributes(In(d, "ro.txt"), Plat::AttrNormal));
    EXPECT_EQ(Plat::GetAttributes(In(d, "ro.txt")) & Plat::AttrReadOnly, 0u);
    {
        File w(OpenWrite(In(d, "ro.txt"), Plat::OpenExisting, 0));
        EXPECT_NE(w.h, Plat::InvalidHandle);
    }
    EXPECT_TRUE(Plat::DeleteFile(In(d, "ro.txt")));
    EXPECT_FALSE(Plat::FileExists(In(d, "ro.txt")));
}

TEST(PlatformFiles, LastWriteTimeRoundTrips) {
    TempDir d;
    // 2020-02-29 12:34:56.789 UTC as FILETIME.
    const uint64_t ft = (13225206896ULL * 10000000ULL) + 7890000ULL;
    {
        File f(OpenWrite(In(d, "t.bin"), Plat::CreateAlways, 0));
        ASSERT_NE(f.h, Plat::InvalidHandle);
        ASSERT_TRUE(Put(f.h, "x"));
        ASSERT_TRUE(Plat::SetLastWriteTime(f.h, ft));
        uint64_t back = 0;
        ASSERT_TRUE(Plat::GetLastWriteTime(f.h, back));
        EXPECT_EQ(back, ft);
    }
    Plat::FindData fd;
    ASSERT_TRUE(FindOne(In(d, "t.bin"), fd));
    EXPECT_EQ(fd.lastWrite, ft);
    EXPECT_EQ(fd.size, 1u);
    File r(OpenRead(In(d, "t.bin")));
    uint64_t back = 0;
    ASSERT_TRUE(Plat::GetLastWriteTime(r.h, back));
    EXPECT_EQ(back, ft);
}

TEST(PlatformFiles, DosTimeIsLocalTimeInDosFields) {
    // 2020-02-29 12:34:56 UTC.
    const int64_t unixSecs = 1582979696;
    const uint64_t ft = static_cast<uint64_t>(unixSecs + 11644473600LL) * 10000000ULL;
    time_t t = static_cast<time_t>(unixSecs);
    std::tm lt = *std::localtime(&t);
    uint32_t expect =
        (static_cast<uint32_t>(lt.tm_year - 80) << 25) |
        (static_cast<uint32_t>(lt.tm_mon + 1) << 21) | (static_cast<uint32_t>(lt.tm_mday) << 16) |
        (static_cast<uint32_t>(lt.tm_hour) << 11) | (static_cast<uint32_t>(lt.tm_min) << 5) |
        static_cast<uint32_t>(lt.tm_sec / 2);
    EXPECT_EQ(Plat::FileTimeToDosTime(ft), expect);
    // Before 1980 there is no DOS time: the first one stands in.
    EXPECT_EQ(Plat::FileTimeToDosTime(0), 0x00210000u);
}

TEST(PlatformFind, EntriesComeSortedByUpperCasedName) {
    TempDir d;
    for (const char* n : {"beta.txt", "Alpha.TXT", "gamma", "_under", "Zed", "a1", "B2"})
        TestUtil::WriteFile(d / n, n);
    ASSERT_TRUE(Plat::CreateDirectory(In(d, "Mid")));
    std::vector<std::string> expect = {".",        "..",    "a1",  "Alpha.TXT", "B2",
                                       "beta.txt", "gamma", "Mid", "Zed",       "_under"};
    EXPECT_EQ(List(In(d, "*.*")), expect);
    uint32_t err = 0;
    List(In(d, "*"), &err);
    EXPECT_EQ(err, Plat::ErrNoMoreFiles);
}

TEST(PlatformFind, FindDataCarriesAttributesAndSizes) {
    TempDir d;
    TestUtil::WriteFile(d / "f.txt", "12345");
    ASSERT_TRUE(Plat::CreateDirectory(In(d, "sub")));
    Plat::FindData fd;
    ASSERT_TRUE(FindOne(In(d, "f.txt"), fd));
    EXPECT_EQ(fd.name, "f.txt");
    EXPECT_EQ(fd.size, 5u);
    EXPECT_EQ(fd.attributes & (Plat::AttrDirectory | Plat::AttrArchive), Plat::AttrArchive);
    EXPECT_EQ(fd.attributes & (Plat::AttrSystem | Plat::AttrVolumeLabel), 0u);
    ASSERT_TRUE(FindOne(In(d, "sub"), fd));
    EXPECT_NE(fd.attributes & Plat::AttrDirectory, 0u);
    EXPECT_EQ(Plat::GetAttributes(In(d, "f.txt")) & Plat::AttrDirectory, 0u);
    EXPECT_NE(Plat::GetAttributes(In(d, "sub\\")) & Plat::AttrDirectory, 0u);
}

TEST(PlatformFind, WildcardMasks) {
    TempDir d;
    for (const char* n : {"a.txt", "b.TXT", "c.txt.bak", "noext", "x.y.z", "ab", "abc"})
        TestUtil::WriteFile(d / n, "");
    struct Case {
        const char* mask;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*.*", {"a.txt", "ab", "abc", "b.TXT", "c.txt.bak", "noext", "x.y.z"}},
        {"*", {"a.txt", "ab", "abc", "b.TXT", "c.txt.bak", "noext", "x.y.z"}},
        {"*.txt", {"a.txt", "b.TXT"}},
        {"*.TXT", {"a.txt", "b.TXT"}},
        {"?.txt", {"a.txt", "b.TXT"}},
        {"*.", {"ab", "abc", "noext"}},
        {"a?", {"ab"}},
        {"a??", {"ab", "abc"}},
        {"a*.*", {"a.txt", "ab", "abc"}},
        {"x.*", {"x.y.z"}},
        {"*.z", {"x.y.z"}},
        {"*bak", {"c.txt.bak"}},
        {"*.t?t", {"a.txt", "b.TXT"}},
        {"ABC", {"abc"}},
    };
    for (const Case& c : cases) EXPECT_EQ(WithoutDots(List(In(d, c.mask))), c.names) << c.mask;
    uint32_t err = 0;
    EXPECT_TRUE(List(In(d, "nomatch*"), &err).empty());
    EXPECT_EQ(err, Plat::ErrFileNotFound);
    EXPECT_TRUE(List(In(d, "nomatch.txt"), &err).empty());
    EXPECT_EQ(err, Plat::ErrFileNotFound);
    EXPECT_TRUE(List(In(d, "nodir\\a.txt"), &err).empty());
    EXPECT_EQ(err, Plat::ErrPathNotFound);
    EXPECT_EQ(List(In(d, "A.TXT"), &err), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(err, Plat::ErrNoMoreFiles);
}

TEST(PlatformFind, MaskRules) {
    struct Case {
        const char* mask;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "noext", true},
        {"*.*", ".", true},
        {"*", "a.b", true},
        {"*.", "noext", true},
        {"*.", "a.txt", false},
        {"a?", "a", true},
        {"a?", "ab", true},
        {"a?", "abc", false},
        {"a??.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"a?b", "a.b", false},
        {"*.txt", "x.TXT", true},
        {"*.txt", "x.txt.bak", false},
        {"*.bak", "x.txt.bak", true},
        {"x.*", "x", true},
        {"x.*", "xy", false},
        {"*x*", "axb", true},
        {"*x*", "ab", false},
        {"ab", "AB", true},
        {"\xC3\xA4*",
         "\xC3\xA4"
         "b",
         true},
        {"\xC3\xA4*",
         "\xC3\x84"
         "b",
         false},  // only ASCII letters fold
    };
    for (const Case& c : cases)
        EXPECT_EQ(Plat::MatchesFindMask(c.mask, c.name), c.match) << c.mask << " " << c.name;
    // Many stars against a long name that just fails: must finish (memoised, not exponential).
    EXPECT_FALSE(Plat::MatchesFindMask("*a*a*a*a*a*a*a*a*a*a*a*a*b", std::string(250, 'a')));
}

TEST(PlatformFind, ListingOrder) {
    std::vector<std::string> names = {"b", "_", "..", "A", "a", ".", "B1", "ab", "\xE4"};
    std::sort(names.begin(), names.end(), Plat::FindOrderLess);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A", "a", "ab", "b", "B1", "_", "\xE4"}));
}

TEST(PlatformFind, SearchErrors) {
    TempDir d;
    TestUtil::WriteFile(d / "file.txt", "x");
    uint32_t err = 0;
    EXPECT_TRUE(List(In(d, "missing\\*.*"), &err).empty());
    EXPECT_EQ(err, Plat::ErrPathNotFound);
    // A file used as a directory: Windows says 3 or 267, Wine 123; never "no match".
    EXPECT_TRUE(List(In(d, "file.txt\\*.*"), &err).empty());
    EXPECT_TRUE(err == Plat::ErrPathNotFound || err == 123 || err == 267) << err;
    // An empty directory still lists "." and "..".
    ASSERT_TRUE(Plat::CreateDirectory(In(d, "empty")));
    EXPECT_EQ(List(In(d, "empty\\*.*")), (std::vector<std::string>{".", ".."}));
}

TEST(PlatformNames, AttributesOfMissingNames) {
    TempDir d;
    TestUtil::WriteFile(d / "file.txt", "x");
    EXPECT_EQ(Plat::GetAttributes(In(d, "missing")), Plat::InvalidAttributes);
    EXPECT_EQ(Plat::LastError(), Plat::ErrFileNotFound);
    EXPECT_EQ(Plat::GetAttributes(In(d, "nodir\\missing")), Plat::InvalidAttributes);
    EXPECT_EQ(Plat::LastError(), Plat::ErrPathNotFound);
    EXPECT_EQ(Plat::GetAttributes(In(d, "file.txt\\x")), Plat::InvalidAttributes);
    EXPECT_FALSE(Plat::FileExists(In(d, "file.txt\\x")));
    EXPECT_FALSE(Plat::SetAttributes(In(d, "missing"), Plat::AttrNormal));
    EXPECT_EQ(Plat::LastError(), Plat::ErrFileNotFound);
}

TEST(PlatformNames, DirectoriesCreatedAndRemoved) {
    TempDir d;
    EXPECT_TRUE(Plat::CreateDirectory(In(d, "a")));
    EXPECT_FALSE(Plat::CreateDirectory(In(d, "a")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrAlreadyExists);
    EXPECT_FALSE(Plat::CreateDirectory(In(d, "x\\y")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrPathNotFound);
    EXPECT_TRUE(Plat::CreatePrivateDirectory(In(d, "p")));
    EXPECT_NE(Plat::GetAttributes(In(d, "p")) & Plat::AttrDirectory, 0u);
    EXPECT_FALSE(Plat::CreatePrivateDirectory(In(d, "p")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrAlreadyExists);
    EXPECT_FALSE(Plat::CreatePrivateDirectory(In(d, "a")));
    TestUtil::WriteFile(d / "a" + TestUtil::Sep() + "f", "x");
    EXPECT_FALSE(Plat::RemoveDirectory(In(d, "a")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrDirNotEmpty);
    EXPECT_FALSE(Plat::DeleteFile(In(d, "a")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrAccessDenied);
    EXPECT_TRUE(Plat::DeleteFile(In(d, "a\\f")));
    EXPECT_FALSE(Plat::DeleteFile(In(d, "a\\f")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrFileNotFound);
    EXPECT_TRUE(Plat::RemoveDirectory(In(d, "a")));
    EXPECT_EQ(Plat::GetAttributes(In(d, "a")), Plat::InvalidAttributes);
    EXPECT_FALSE(Plat::RemoveDirectory(In(d, "a")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrFileNotFound);
}

TEST(PlatformNames, FileIdentityTellsSameFromDifferent) {
    TempDir d;
    TestUtil::WriteFile(d / "a", "x");
    TestUtil::WriteFile(d / "b", "x");
    uint64_t v1, i1, v2, i2, v3, i3;
    ASSERT_TRUE(Plat::FileIdentity(In(d, "a"), v1, i1));
    ASSERT_TRUE(Plat::FileIdentity(In(d, ".\\a"), v2, i2));
    ASSERT_TRUE(Plat::FileIdentity(In(d, "b"), v3, i3));
    EXPECT_TRUE(v1 == v2 && i1 == i2);
    EXPECT_FALSE(v1 == v3 && i1 == i3);
    EXPECT_FALSE(Plat::FileIdentity(In(d, "missing"), v1, i1));
}

TEST(PlatformSystem, CaseMappingFoldsAsciiLetters) {
    EXPECT_EQ(Plat::AnsiUpper("abc xyz-09_az{}"), "ABC XYZ-09_AZ{}");
    EXPECT_EQ(Plat::AnsiCompareIgnoreCase("Kest.INI", "kest.ini"), 0);
    EXPECT_LT(Plat::AnsiCompareIgnoreCase("abc", "ABD"), 0);
    EXPECT_GT(Plat::AnsiCompareIgnoreCase("abd", "ABC"), 0);
    EXPECT_LT(Plat::AnsiCompareIgnoreCase("ab", "abc"), 0);
    EXPECT_GT(Plat::AnsiCompareIgnoreCase("B", "a"), 0);
    EXPECT_EQ(Plat::AnsiToOem("plain ascii"), "plain ascii");
}

// Under Wine and by default natively the ANSI code page is Windows-1252.
TEST(PlatformCodePage, Windows1252BothWays) {
    if (Plat::AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << Plat::AnsiCodePage();
    struct Case {
        std::string ansi, utf8;
    } cases[] = {
        {"plain.txt", "plain.txt"},
        {"caf\xE9.txt", "caf\xC3\xA9.txt"},
        {"\xC4rger\\\xFC.txt", "\xC3\x84rger\\\xC3\xBC.txt"},
        {"\x80 \x9F \xFF", "\xE2\x82\xAC \xC5\xB8 \xC3\xBF"},  // euro, Y diaeresis, y diaeresis
        {"\x81\x9D", "\xC2\x81\xC2\x9D"},  // undefined in 1252: their own code points
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Plat::AnsiToUtf8(c.ansi), c.utf8) << c.ansi;
        std::string back = "stale";
        EXPECT_TRUE(Plat::Utf8ToAnsi(c.utf8, back)) << c.utf8;
        EXPECT_EQ(back, c.ansi);
        EXPECT_TRUE(Plat::IsUtf8(c.utf8));
    }
}

TEST(PlatformCodePage, PrintableTextShowsControlCharactersAsHex) {
    if (Plat::AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << Plat::AnsiCodePage();
    struct Case {
        std::string text, shown, shownKeepingLineFeeds;
    } cases[] = {
        {"Data\\plain <name>.txt", "Data\\plain <name>.txt", "Data\\plain <name>.txt"},
        {"esc\x1b[2J", "esc<1B>[2J", "esc<1B>[2J"},
        {"a\r\nb\tc", "a<0D><0A>b<09>c", "a<0D>\nb<09>c"},
        {std::string("nul\0del\x7f", 8), "nul<00>del<7F>", "nul<00>del<7F>"},
        // 0x81 and 0x9D are undefined in 1252 and stand for the C1 controls U+0081 and
        // U+009D (a terminal's OSC); 0x9B and 0xE9 are letters there.
        {"c1\x81\x9d", "c1<81><9D>", "c1<81><9D>"},
        {"\x9b\xe9", "\x9b\xe9", "\x9b\xe9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Plat::PrintableText(c.text), c.shown) << c.shown;
        EXPECT_EQ(Plat::PrintableText(c.text, true), c.shownKeepingLineFeeds) << c.shown;
    }
}

TEST(PlatformCodePage, WhatDoesNotFitOrIsNotUtf8) {
    if (Plat::AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << Plat::AnsiCodePage();
    struct Case {
        const char* what;
        std::string utf8, ansi;
        bool wellFormed;
    } cases[] = {
        {"CJK", "\xE6\x97\xA5\xE6\x9C\xAC.txt", "??.txt", true},
        {"Cyrillic beside Latin", "\xD0\x96 \xC3\xA9", "? \xE9", true},
        {"beyond the BMP", "\xF0\x9F\x98\x80", "?", true},
        {"Latin-1 bytes", "caf\xE9", "caf?", false},
        {"overlong slash", "a\xC0\xAF", "a??", false},
        {"surrogate", "\xED\xA0\x80", "???", false},
        {"cut sequence", "x\xE2\x82", "x??", false},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????", false},
    };
    for (const auto& c : cases) {
        std::string ansi;
        EXPECT_FALSE(Plat::Utf8ToAnsi(c.utf8, ansi)) << c.what;
        EXPECT_EQ(ansi, c.ansi) << c.what;
        EXPECT_EQ(Plat::IsUtf8(c.utf8), c.wellFormed) << c.what;
    }
}

TEST(PlatformSystem, OperatingSystemIsTheNtFamily) {
    Plat::OSInfo os = Plat::GetOSInfo();
    EXPECT_EQ(os.platformId, 2u);
    EXPECT_GE(os.major, 5u);
}

TEST(PlatformSystem, LocalTimeIsPlausible) {
    Plat::LocalTime t = Plat::GetLocalTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_TRUE(t.month >= 1 && t.month <= 12);
    EXPECT_TRUE(t.day >= 1 && t.day <= 31);
    EXPECT_TRUE(t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60);
    EXPECT_TRUE(t.second >= 0 && t.second < 61 && t.milliseconds >= 0 && t.milliseconds < 1000);
}

TEST(PlatformSystem, DynamicLibraryExportsAreFound) {
    void* lib = Plat::LoadLibrary(PLAT_TEST_MODULE);
    ASSERT_NE(lib, nullptr) << PLAT_TEST_MODULE;
    auto fn = reinterpret_cast<int (*)()>(Plat::GetProcAddress(lib, "PlatTestAnswer"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(Plat::GetProcAddress(lib, "NoSuchExport"), nullptr);
    Plat::FreeLibrary(lib);
    TempDir d;
    EXPECT_EQ(Plat::LoadLibrary(In(d, "missing.dll")), nullptr);
    EXPECT_NE(Plat::LastError(), 0u);
}

TEST(PlatformSystem, ErrorTextsForCommonCodes) {
    for (uint32_t code : {Plat::ErrFileNotFound, Plat::ErrPathNotFound, Plat::ErrAccessDenied,
                          Plat::ErrSharingViolation})
        EXPECT_FALSE(Plat::ErrorText(code).empty()) << code;
    EXPECT_NE(Plat::ErrorText(Plat::ErrFileNotFound), Plat::ErrorText(Plat::ErrPathNotFound));
}
