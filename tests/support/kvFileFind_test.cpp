#include "kvFileFind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "TestUtil.h"
#include "kvFileTestUtil.h"

namespace {

using Names = std::set<std::string>;

// Every name that a search over mask lists, closing the search at the end.
Names ListAll(const std::string& mask, uint32_t include, uint32_t exclude,
              int* firstCode = nullptr) {
    Names names;
    TSearchRecEx rec;
    int code = FindFirstEx(mask, include, exclude, rec);
    if (firstCode) *firstCode = code;
    TSearchGuard guard(rec);
    while (code == 0) {
        EXPECT_TRUE(names.insert(rec.Name).second) << "listed twice: " << rec.Name;
        code = FindNextEx(rec);
    }
    EXPECT_EQ(code, static_cast<int>(Plat::ErrNoMoreFiles));
    return names;
}

// A directory of files with various attributes and two subdirectories.
class FindTree : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a.txt", ".hidden", "ro.txt", "with space \xC3\xA9.txt"})
            ASSERT_TRUE(FileTest::Write(Dir / name, name));
        ASSERT_TRUE(FileTest::Write(Dir / "B.dat", std::string(1234, 'b')));
        ASSERT_TRUE(Plat::CreateDirectory(Dir / "sub"));
        ASSERT_TRUE(Plat::CreateDirectory(Dir / "sub2"));
        ASSERT_TRUE(FileTest::Write(Dir.Path() + "sub" + TestUtil::Sep() + "inner.txt", "i"));
        // POSIX reports a leading dot as hidden; Windows needs the bit set.
        Plat::SetAttributes(Dir / ".hidden", Plat::AttrHidden);
        Plat::SetAttributes(Dir / "ro.txt", Plat::AttrReadOnly);
    }
    std::string Mask() const { return Dir.Path() + "*.*"; }
    TestUtil::TempDir Dir;
};

TEST_F(FindTree, MasksSelectEntries) {
    const Names files = {"a.txt", "B.dat", ".hidden", "ro.txt", "with space \xC3\xA9.txt"};
    struct Case {
        uint32_t include, exclude;
        Names expected;
    } cases[] = {
        {0, 24, files},            // files only, the walks' first setting
        {63, 16, files},           // 63 means any attributes
        {16, 0, {"sub", "sub2"}},  // directories only, "." and ".." never
        {0, 0, {"a.txt", "B.dat", ".hidden", "ro.txt", "with space \xC3\xA9.txt", "sub", "sub2"}},
        {Plat::AttrHidden, 0, {".hidden"}},
        {Plat::AttrReadOnly, 0, {"ro.txt"}},
        {0,
         Plat::AttrReadOnly | Plat::AttrHidden | Plat::AttrDirectory,
         {"a.txt", "B.dat", "with space \xC3\xA9.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "include " << c.include << " exclude " << c.exclude);
        EXPECT_EQ(ListAll(Mask(), c.include, c.exclude), c.expected);
    }
}

TEST_F(FindTree, RecordCarriesEntryData) {
    const uint64_t stamp = 132300000000000000ull;  // mid-2020, in FILETIME units
    ASSERT_TRUE(FileTest::SetWriteTime(Dir / "B.dat", stamp));
    TSearchRecEx rec;
    ASSERT_EQ(FindFirstEx(Dir.Path() + "B.*", 0, 0, rec), 0);
    TSearchGuard guard(rec);
    EXPECT_EQ(rec.Name, "B.dat");
    EXPECT_EQ(rec.Dir, Dir.Path());
    EXPECT_EQ(rec.FullName, Dir.Path() + "B.dat");
    EXPECT_EQ(rec.Size, 1234);
    EXPECT_EQ(rec.Attributes & Plat::AttrDirectory, 0u);
    EXPECT_EQ(rec.IncludeMask, 63u);
    EXPECT_EQ(rec.DosTime, Plat::FileTimeToDosTime(stamp));
    const uint32_t year = (rec.DosTime >> 25) + 1980;
    const uint32_t month = (rec.DosTime >> 21) & 15;
    EXPECT_EQ(year, 2020u);
    EXPECT_TRUE(month >= 3 && month <= 9) << month;
    EXPECT_EQ(FindNextEx(rec), static_cast<int>(Plat::ErrNoMoreFiles));
}

TEST_F(FindTree, DirectoryPartFollowsEitherSeparator) {
    // The mask's directory part is kept exactly as given, up to its last separator.
    std::string slashed = Dir.Path();
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    std::string backslashed = Dir.Path();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    for (const std::string& dir : {slashed, backslashed, slashed + "sub\\", backslashed + "sub/"}) {
        SCOPED_TRACE(dir);
        TSearchRecEx rec;
        ASSERT_EQ(FindFirstEx(dir + "*.txt", 0, 24, rec), 0);
        TSearchGuard guard(rec);
        EXPECT_EQ(rec.Dir, dir);
        EXPECT_EQ(rec.FullName, dir + rec.Name);
    }
}

TEST_F(FindTree, MaskWithoutDirectoryPartGivesBareNames) {
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(Dir.Path());
    TSearchRecEx rec;
    const int code = FindFirstEx("a.*", 0, 0, rec);
    FindCloseEx(rec);
    std::filesystem::current_path(saved);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(rec.Dir, "");
    EXPECT_EQ(rec.FullName, "a.txt");
}

TEST(FindFirstEx, NoPassingEntryLeavesNoSearchOpen) {
    TestUtil::TempDir dir;
    TestUtil::WriteFile(dir / "only.txt", "x");
    TSearchRecEx rec;
    EXPECT_EQ(FindFirstEx(dir.Path() + "*.*", Plat::AttrDirectory, 0, rec),
              static_cast<int>(Plat::ErrNoMoreFiles));
    EXPECT_EQ(rec.Handle, Plat::InvalidHandle);
}

TEST(FindFirstEx, MissingPathsGivePlatformCodes) {
    TestUtil::TempDir dir;
    struct Case {
        std::string mask;
        std::vector<int> codes;
    } cases[] = {
        {dir.Path() + "nothing*.*", {2, 18}},
        {dir.Path() + "nodir" + TestUtil::Sep() + "*.*", {2, 3}},
        // a file as directory (Wine says "invalid name")
        {dir.Path() + "file.txt" + TestUtil::Sep() + "*.*", {2, 3, 123}},
    };
    TestUtil::WriteFile(dir / "file.txt", "x");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        TSearchRecEx rec;
        const int code = FindFirstEx(c.mask, 0, 0, rec);
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), code), c.codes.end()) << code;
        EXPECT_EQ(rec.Handle, Plat::InvalidHandle);
    }
}

TEST(FindCloseEx, ClosingTwiceIsHarmless) {
    TestUtil::TempDir dir;
    TestUtil::WriteFile(dir / "a", "x");
    TestUtil::WriteFile(dir / "b", "x");
    TSearchRecEx rec;
    ASSERT_EQ(FindFirstEx(dir.Path() + "*.*", 0, 0, rec), 0);
    {
        TSearchGuard guard(rec);
        FindCloseEx(rec);  // an early close inside a guarded scope
    }
    EXPECT_EQ(rec.Handle, Plat::InvalidHandle);
    EXPECT_NE(FindNextEx(rec), 0);
    // A fresh search still works after the double close.
    EXPECT_EQ(ListAll(dir.Path() + "*.*", 0, 0), (Names{"a", "b"}));
}

}  // namespace
