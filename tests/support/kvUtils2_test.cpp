#include "kvUtils2.h"

#include <gtest/gtest.h>

#include "PeFixture.h"
#include "TestUtil.h"
#include "kvFileTestUtil.h"

namespace {

TEST(FileVersionStr, ReadsTheFileVersionOfAnImage) {
    TestUtil::TempDir dir;
    const std::string path = dir / "ver \xC3\xA9.dll";
    PeFixture::ImageDesc desc;
    desc.ms = 0x00020001;
    desc.ls = 0x00000011;
    ASSERT_TRUE(FileTest::Write(path, PeFixture::Make(desc).bytes));
    uint32_t ms = 0;
    uint32_t ls = 0;
    ASSERT_TRUE(GetFileVersion(path, ms, ls));
    EXPECT_EQ(ms, 0x00020001u);
    EXPECT_EQ(ls, 0x00000011u);
    std::string text;
    EXPECT_TRUE(FileVersionStr(path, text));
    EXPECT_EQ(text, "2.1.0.17");
    EXPECT_EQ(FileVersionStr(path), "2.1.0.17");
}

TEST(FileVersionStr, FormatsFourSixteenBitNumbers) {
    struct Case {
        uint32_t ms, ls;
        const char* text;
    } cases[] = {
        {0x00020001, 0x00000011, "2.1.0.17"},
        {0, 0, "0.0.0.0"},
        {0xFFFFFFFF, 0x8000FFFF, "65535.65535.32768.65535"},  // unsigned, never negative
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFileVersion(c.ms, c.ls), c.text);
}

TEST(FileVersionStr, FilesWithoutVersionResource) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(FileTest::Write(dir / "plain.txt", "not a program"));
    ASSERT_TRUE(FileTest::Write(dir / "fake.exe", std::string("MZ") + std::string(200, '\0')));
    for (const std::string& path : {dir / "plain.txt", dir / "fake.exe", dir / "missing.dll"}) {
        SCOPED_TRACE(path);
        std::string text = "stale";
        EXPECT_FALSE(FileVersionStr(path, text));
        EXPECT_EQ(text, "");
        EXPECT_EQ(FileVersionStr(path), "");
        uint32_t ms = 0;
        uint32_t ls = 0;
        EXPECT_FALSE(GetFileVersion(path, ms, ls));
    }
}

}  // namespace
