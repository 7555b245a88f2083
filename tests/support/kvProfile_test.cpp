#include "kvProfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Platform.h"
#include "TestUtil.h"
#include "kvErrors.h"
#include "kvIniFile.h"

namespace {

using TestUtil::Exists;
using TestUtil::ReadFile;
using TestUtil::Sep;
using TestUtil::TempDir;
using TestUtil::WriteFile;

std::vector<std::string> Entries(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}

// The cache is process-wide: every test starts and ends with it empty.
class kvProfile : public ::testing::Test {
  protected:
    void SetUp() override { ProfileFlushAll(); }
    void TearDown() override { ProfileFlushAll(); }
};

// Runs the test body inside a directory, for relative spellings.
class CurrentDirScope {
  public:
    explicit CurrentDirScope(const std::string& dir) : Saved(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirScope() { std::filesystem::current_path(Saved); }

  private:
    std::filesystem::path Saved;
};

// The name under which the layer opens a file, as its messages show it.
std::string OpenedAs(const std::string& spelling) {
    return Plat::CaseInsensitiveFileNames() ? Plat::AnsiUpper(spelling) : spelling;
}

TEST_F(kvProfile, OneObjectPerNameIgnoringCase) {
    TempDir dir;
    WriteFile(dir / "c.ini", "[S]\r\nk=v\r\n");
    TkvIniFile* a = ProfileGetIni(dir / "c.ini", true);
    EXPECT_EQ(ProfileGetIni(dir / "C.INI", true), a);
    EXPECT_EQ(ProfileGetIni(dir / "c.ini", true), a);
    EXPECT_TRUE(a->ReadOnly);
    EXPECT_EQ(a->FileName, OpenedAs(dir / "c.ini"));
    EXPECT_EQ(ProfileReadString(dir / "C.ini", "s", "K", "def"), "v");

    CurrentDirScope inDir(dir.Path());
    const std::string relative = std::string(".") + Sep() + "c.ini";
    TkvIniFile* r = ProfileGetIni(relative, true);
    EXPECT_NE(r, a) << "a relative spelling is another entry";
    EXPECT_EQ(r->ReadString("S", "k", ""), "v");
}

TEST_F(kvProfile, FileIsLoadedOnce) {
    TempDir dir;
    WriteFile(dir / "o.ini", "[S]\r\nk=1\r\n");
    EXPECT_EQ(ProfileReadString(dir / "o.ini", "S", "k", ""), "1");
    WriteFile(dir / "o.ini", "[S]\r\nk=2\r\n");
    EXPECT_EQ(ProfileReadString(dir / "o.ini", "S", "k", ""), "1") << "cached";
    ProfileDropIni(dir / "O.INI");
    EXPECT_EQ(ProfileReadString(dir / "o.ini", "S", "k", ""), "2") << "loaded again";
    ProfileDropIni(dir / "never-cached.ini");
}

TEST_F(kvProfile, ReadInteger) {
    TempDir dir;
    const std::string f = dir / "i.ini";
    WriteFile(f,
              "[N]\r\nhex0x=0x10\r\ndollar=$10\r\nneg=-7\r\nmin=-2147483648\r\n"
              "max=2147483647\r\nall=$FFFFFFFF\r\nword=ten\r\nempty=\r\nquoted=\" 5\"\r\n");
    struct Case {
        const char* key;
        int32_t def, expected;
    } cases[] = {
        {"hex0x", 3, 3},
        {"dollar", 3, 16},
        {"neg", 3, -7},
        {"min", 3, 3},
        {"max", 3, 2147483647},
        {"all", 3, -1},
        {"word", 3, 3},
        {"empty", 3, 3},
        {"quoted", 3, 5},
        {"missing", 3, 3},
        {"missing", INT32_MIN, INT32_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileReadInteger(f, "N", c.key, c.def), c.expected) << c.key;
    EXPECT_EQ(ProfileReadInteger(dir / "none.ini", "N", "neg", 9), 9);
}

TEST_F(kvProfile, ReadBoolIsExactlyOne) {
    TempDir dir;
    const std::string f = dir / "b.ini";
    WriteFile(f, "[B]\r\none=1\r\nzero=0\r\ntwo=2\r\nempty=\r\nword=yes\r\nspaced= 1 \r\n");
    struct Case {
        const char* key;
        bool def, expected;
    } cases[] = {
        {"one", false, true},    {"zero", true, false},     {"two", true, false},
        {"empty", true, false},  {"word", true, false},     {"spaced", false, true},
        {"missing", true, true}, {"missing", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileReadBool(f, "B", c.key, c.def), c.expected) << c.key << " " << c.def;
    EXPECT_TRUE(ProfileReadBool(f, "NoSection", "one", true));
}

TEST_F(kvProfile, SectionReadsAppendAndMerge) {
    TempDir dir;
    const std::string f = dir / "s.ini";
    WriteFile(f, "[S]\r\na = 1\r\nb=2\r\nA=3\r\n");
    TStringList keys;
    keys.Add("x");
    ProfileReadSectionKeys(f, "s", keys);
    EXPECT_EQ(Entries(keys), (std::vector<std::string>{"x", "a", "b", "A"}));
    ProfileReadSectionKeys(f, "missing", keys);
    EXPECT_EQ(keys.Count(), 4);

    TStringList values;
    values.Add("b=old");
    ProfileReadSectionValues(f, "S", values);
    EXPECT_EQ(Entries(values), (std::vector<std::string>{"b=2", "A=3"}));
    ProfileReadSectionValues(dir / "none.ini", "S", values);
    EXPECT_EQ(values.Count(), 2);
}

TEST_F(kvProfile, WritesStayInMemoryUntilFlushed) {
    TempDir dir;
    const std::string f = dir / "w.ini";
    const std::string original = "; comment\r\n[S]\r\na=1\r\n";
    WriteFile(f, original);
    EXPECT_TRUE(ProfileWriteString(f, "S", "b", "2"));
    EXPECT_TRUE(ProfileWriteString(f, "T", "c", "3"));
    EXPECT_EQ(ProfileReadString(f, "S", "b", ""), "2") << "the reader gets the writer";
    EXPECT_FALSE(ProfileGetIni(f, true)->ReadOnly);
    EXPECT_EQ(ReadFile(f), original);
    ProfileFlushAll();
    EXPECT_EQ(ReadFile(f), "[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\nc=3\r\n\r\n");
    EXPECT_EQ(ProfileReadString(f, "T", "c", ""), "3") << "a fresh load sees the flush";
}

TEST_F(kvProfile, FirstWriteReloadsFromDisk) {
    TempDir dir;
    const std::string f = dir / "r.ini";
    WriteFile(f, "[S]\r\nk=1\r\n");
    TkvIniFile* reader = ProfileGetIni(f, true);
    EXPECT_EQ(reader->ReadString("S", "k", ""), "1");
    WriteFile(f, "[S]\r\nk=changed\r\nother=x\r\n");
    ProfileWriteString(f, "S", "new", "n");
    TkvIniFile* writer = ProfileGetIni(f, false);
    EXPECT_FALSE(writer->ReadOnly);
    EXPECT_EQ(ProfileReadString(f, "S", "k", ""), "changed");
    ProfileFlushAll();
    EXPECT_EQ(ReadFile(f), "[S]\r\nk=changed\r\nother=x\r\nnew=n\r\n\r\n");
}

TEST_F(kvProfile, EmptyKeyErasesOrWritesAtOnce) {
    TempDir dir;
    const std::string f = dir / "e.ini";
    WriteFile(f, "[S]\r\na=1\r\n[T]\r\nb=2\r\n");
    EXPECT_TRUE(ProfileWriteString(f, "T", "", ""));
    EXPECT_EQ(ProfileReadString(f, "T", "b", "gone"), "gone");
    EXPECT_EQ(ReadFile(f), "[S]\r\na=1\r\n[T]\r\nb=2\r\n");
    EXPECT_TRUE(ProfileWriteString(f, "", "", ""));
    EXPECT_EQ(ReadFile(f), "[S]\r\na=1\r\n\r\n");
}

TEST_F(kvProfile, MissingFilesAndDirectories) {
    TempDir dir;
    const std::string missing = dir / "missing.ini";
    EXPECT_EQ(ProfileReadString(missing, "S", "k", "def"), "def");
    ProfileFlushAll();
    EXPECT_FALSE(Exists(missing)) << "a reader never creates the file";

    const std::string deep = dir.Path() + "new" + Sep() + "sub" + Sep() + "x.ini";
    EXPECT_TRUE(ProfileWriteString(deep, "S", "k", "v"));
    EXPECT_FALSE(Exists(dir / "new"));
    ProfileFlushAll();
    EXPECT_EQ(ReadFile(deep), "[S]\r\nk=v\r\n\r\n");
}

TEST_F(kvProfile, DropWritesBack) {
    TempDir dir;
    const std::string f = dir / "d.ini";
    ProfileWriteString(f, "S", "k", "v");
    ProfileDropIni(f);
    EXPECT_EQ(ReadFile(f), "[S]\r\nk=v\r\n\r\n");
}

TEST_F(kvProfile, ProcessEndWritesPendingChanges) {
    // A fixed place: on Windows the child process runs this body again from the start, so
    // a fresh scratch directory would differ between the two.
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::path(TestUtil::Env("KEST_TEST_TMP", fs::temp_directory_path().string())) /
        "profile_exit_flush";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string f = (dir / "exit.ini").string();
    EXPECT_EXIT(
        {
            ProfileWriteString(f, "S", "k", "at exit");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(f), "[S]\r\nk=at exit\r\n\r\n");
    fs::remove_all(dir);
}

TEST_F(kvProfile, SecondWriterUnderAnotherSpellingFails) {
    TempDir dir;
    const std::string absolute = dir / "two.ini";
    WriteFile(absolute, "[S]\r\nk=1\r\n");
    CurrentDirScope inDir(dir.Path());
    const std::string relative = std::string(".") + Sep() + "two.ini";

    EXPECT_EQ(ProfileReadString(relative, "S", "k", ""), "1");  // a reader entry to replace
    ProfileWriteString(absolute, "S", "k", "2");
    try {
        ProfileWriteString(relative, "S", "k", "3");
        ADD_FAILURE() << "a second writer was let in";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + OpenedAs(relative));
    }
    ProfileDropIni(absolute);
    EXPECT_EQ(ReadFile(absolute), "[S]\r\nk=2\r\n\r\n");
    EXPECT_EQ(ProfileReadString(relative, "S", "k", ""), "2")
        << "the dropped reader left no stale entry behind";
}

}  // namespace
