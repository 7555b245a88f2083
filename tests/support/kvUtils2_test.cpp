#include "kvUtils2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestUtil.h"
#include "kvFileTestUtil.h"

namespace {

void Put16(std::string& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A minimal 32-bit DLL image whose only section holds a version resource with the given
// file version (and a different product version, which must not be reported).
std::string ImageWithVersion(uint32_t ms, uint32_t ls) {
    constexpr size_t peAt = 0x40, optAt = peAt + 24, sectionAt = optAt + 224;
    constexpr size_t rawAt = 0x200, rsrcRva = 0x1000, versionAt = 0x58, versionSize = 92;
    std::string b(rawAt + 0x200, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, peAt);
    Put32(b, peAt, 0x00004550);
    Put16(b, peAt + 4, 0x14C);         // i386
    Put16(b, peAt + 6, 1);             // one section
    Put16(b, peAt + 20, 224);          // optional header size
    Put16(b, peAt + 22, 0x2102);       // executable, 32-bit, DLL
    Put16(b, optAt, 0x10B);            // PE32
    Put32(b, optAt + 8, 0x200);        // initialised data
    Put32(b, optAt + 28, 0x10000000);  // image base
    Put32(b, optAt + 32, 0x1000);      // section alignment
    Put32(b, optAt + 36, 0x200);       // file alignment
    Put16(b, optAt + 40, 4);           // OS version
    Put16(b, optAt + 48, 4);           // subsystem version
    Put32(b, optAt + 56, 0x2000);      // image size
    Put32(b, optAt + 60, rawAt);       // headers size
    Put16(b, optAt + 68, 2);           // GUI subsystem
    Put32(b, optAt + 72, 0x100000);
    Put32(b, optAt + 76, 0x1000);
    Put32(b, optAt + 80, 0x100000);
    Put32(b, optAt + 84, 0x1000);
    Put32(b, optAt + 92, 16);               // data directories
    Put32(b, optAt + 96 + 2 * 8, rsrcRva);  // resource directory
    Put32(b, optAt + 96 + 2 * 8 + 4, versionAt + versionSize);
    std::memcpy(&b[sectionAt], ".rsrc", 5);
    Put32(b, sectionAt + 8, versionAt + versionSize);
    Put32(b, sectionAt + 12, rsrcRva);
    Put32(b, sectionAt + 16, 0x200);
    Put32(b, sectionAt + 20, rawAt);
    Put32(b, sectionAt + 36, 0x40000040);  // initialised data, readable
    // Resource tree: type 16 -> id 1 -> language 0x409 -> data entry.
    const size_t r = rawAt;
    Put16(b, r + 14, 1);
    Put32(b, r + 16, 16);
    Put32(b, r + 20, 0x80000000u | 0x18);
    Put16(b, r + 0x18 + 14, 1);
    Put32(b, r + 0x18 + 16, 1);
    Put32(b, r + 0x18 + 20, 0x80000000u | 0x30);
    Put16(b, r + 0x30 + 14, 1);
    Put32(b, r + 0x30 + 16, 0x409);
    Put32(b, r + 0x30 + 20, 0x48);
    Put32(b, r + 0x48, rsrcRva + versionAt);
    Put32(b, r + 0x48 + 4, versionSize);
    // VS_VERSIONINFO with its fixed information.
    const size_t v = r + versionAt;
    Put16(b, v, versionSize);
    Put16(b, v + 2, 52);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; key[i]; ++i) Put16(b, v + 6 + 2 * i, static_cast<unsigned char>(key[i]));
    const size_t fixed = v + 40;
    Put32(b, fixed, 0xFEEF04BDu);
    Put32(b, fixed + 4, 0x00010000);
    Put32(b, fixed + 8, ms);
    Put32(b, fixed + 12, ls);
    Put32(b, fixed + 16, 0x00090009);  // product version: not the file version
    Put32(b, fixed + 20, 0x00090009);
    Put32(b, fixed + 24, 0x3F);
    Put32(b, fixed + 32, 0x40004);
    Put32(b, fixed + 36, 2);
    return b;
}

TEST(FileVersionStr, ReadsTheFileVersionOfAnImage) {
    TestUtil::TempDir dir;
    const std::string path = dir / "ver \xC3\xA9.dll";
    ASSERT_TRUE(FileTest::Write(path, ImageWithVersion(0x00020001, 0x00000011)));
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
