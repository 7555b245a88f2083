// The PE version reader on hand-made images: valid ones, cut ones and corrupted ones.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "PeFixture.h"
#include "Platform.h"

using PeFixture::Put16;
using PeFixture::Put32;

namespace {

// Reads from a heap copy of exactly the given size, so that a sanitizer sees any read
// beyond it.
bool Version(const std::string& bytes, uint32_t& ms, uint32_t& ls) {
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    return Plat::PeFileVersion(copy.empty() ? nullptr : copy.data(), copy.size(), ms, ls);
}

bool HasVersion(const std::string& bytes) {
    uint32_t ms = 0, ls = 0;
    return Version(bytes, ms, ls);
}

}  // namespace

TEST(PeVersion, ReadsPe32AndPe32Plus) {
    for (bool plus : {false, true}) {
        PeFixture::ImageDesc desc;
        desc.pe32plus = plus;
        desc.ms = 0x00050002;
        desc.ls = 0x00030004;
        uint32_t ms = 0, ls = 0;
        ASSERT_TRUE(Version(PeFixture::Make(desc).bytes, ms, ls)) << plus;
        EXPECT_EQ(ms, 0x00050002u) << plus;
        EXPECT_EQ(ls, 0x00030004u) << plus;
    }
}

TEST(PeVersion, KeyLengthSetsTheAlignment) {
    // The fixed information follows the key at the next 4-byte boundary, wherever that is.
    for (const char* key : {"VS_VERSION_INFO", "VS_VERSION_INF", "V", ""}) {
        PeFixture::ImageDesc desc;
        desc.key = key;
        uint32_t ms = 0, ls = 0;
        ASSERT_TRUE(Version(PeFixture::Make(desc).bytes, ms, ls)) << key;
        EXPECT_EQ(ms, desc.ms) << key;
        EXPECT_EQ(ls, desc.ls) << key;
    }
}

TEST(PeVersion, TakesIdOneOnly) {
    PeFixture::ImageDesc desc;
    desc.ids = {0, 1, 5};
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(Version(PeFixture::Make(desc).bytes, ms, ls));
    EXPECT_EQ(ms, desc.ms + 1);  // id 1 although it is not first
    desc.ids = {2, 3};
    EXPECT_FALSE(Version(PeFixture::Make(desc).bytes, ms, ls));
}

TEST(PeVersion, LanguageChoice) {
    struct Case {
        std::vector<uint32_t> langs;
        uint32_t chosen;  // index into langs
    };
    const Case cases[] = {
        {{0x409}, 0},        {{0x407}, 0},        {{0x407, 0x409}, 1}, {{0x409, 0x000}, 1},
        {{0x407, 0x400}, 0}, {{0x400, 0x409}, 1}, {{0x407, 0x40C}, 0},
    };
    for (const Case& c : cases) {
        PeFixture::ImageDesc desc;
        desc.langs = c.langs;
        uint32_t ms = 0, ls = 0;
        ASSERT_TRUE(Version(PeFixture::Make(desc).bytes, ms, ls));
        EXPECT_EQ(ls, desc.ls + c.chosen) << c.langs[0] << " " << c.langs.size();
    }
}

TEST(PeVersion, SignatureIsNotRequired) {
    PeFixture::ImageDesc desc;
    desc.signature = 0x12345678;
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(Version(PeFixture::Make(desc).bytes, ms, ls));
    EXPECT_EQ(ms, desc.ms);
}

TEST(PeVersion, NoVersionInformation) {
    PeFixture::ImageDesc none;
    none.withVersion = false;
    EXPECT_FALSE(HasVersion(PeFixture::Make(none).bytes));
    EXPECT_FALSE(HasVersion(""));
    EXPECT_FALSE(HasVersion("MZ"));
    EXPECT_FALSE(HasVersion(std::string(4096, '\0')));
    std::string noResources = PeFixture::Make().bytes;
    Put32(noResources, PeFixture::Make().resourceDirEntry, 0);
    EXPECT_FALSE(HasVersion(noResources));
}

TEST(PeVersion, EveryCutBeforeTheEndOfTheVersionFails) {
    for (bool plus : {false, true}) {
        PeFixture::ImageDesc desc;
        desc.pe32plus = plus;
        PeFixture::Image img = PeFixture::Make(desc);
        for (size_t len = 0; len < img.versionEnd; ++len)
            ASSERT_FALSE(HasVersion(img.bytes.substr(0, len))) << "length " << len;
        uint32_t ms = 0, ls = 0;
        ASSERT_TRUE(Version(img.bytes.substr(0, img.versionEnd), ms, ls));
        EXPECT_EQ(ms, desc.ms);
    }
}

TEST(PeVersion, CorruptedFieldsGiveNoVersion) {
    const PeFixture::Image img = PeFixture::Make();
    const size_t coff = img.peHeader + 4, opt = img.optionalHeader, sec = img.sectionHeader;
    const size_t block = img.firstBlock;
    struct Case {
        const char* what;
        std::function<void(std::string&)> patch;
    };
    const Case cases[] = {
        {"MZ", [](std::string& b) { b[1] = 'X'; }},
        {"e_lfanew huge", [](std::string& b) { Put32(b, 0x3C, 0xFFFFFFF0u); }},
        {"e_lfanew at the end", [](std::string& b) { Put32(b, 0x3C, uint32_t(b.size() - 2)); }},
        {"PE signature", [&](std::string& b) { b[img.peHeader + 2] = 'X'; }},
        {"optional magic", [&](std::string& b) { Put16(b, opt, 0x999); }},
        {"two data directories", [&](std::string& b) { Put32(b, opt + 92, 2); }},
        {"optional header too small", [&](std::string& b) { Put16(b, coff + 16, 100); }},
        {"no sections", [&](std::string& b) { Put16(b, coff + 2, 0); }},
        {"section elsewhere", [&](std::string& b) { Put32(b, sec + 12, 0x5000); }},
        {"raw data beyond the file", [&](std::string& b) { Put32(b, sec + 20, 0xFFFFFF00u); }},
        {"no raw data", [&](std::string& b) { Put32(b, sec + 16, 0); }},
        {"resource RVA beyond", [&](std::string& b) { Put32(b, img.resourceDirEntry, 0x900000); }},
        {"root entry counts huge",
         [&](std::string& b) { Put32(b, img.rootDir + 12, 0xFFFFFFFFu); }},
        {"root without entries", [&](std::string& b) { Put32(b, img.rootDir + 12, 0); }},
        {"type entry not a directory",
         [&](std::string& b) { Put32(b, img.versionTypeEntry + 4, 0x20); }},
        {"type entry offset beyond",
         [&](std::string& b) { Put32(b, img.versionTypeEntry + 4, 0xFFFFFFF0u); }},
        {"language entry is a directory",
         [&](std::string& b) { Put32(b, img.firstLangEntry + 4, 0x80000000u); }},
        {"language entry beyond",
         [&](std::string& b) { Put32(b, img.firstLangEntry + 4, 0x7FFFFFF0u); }},
        {"data RVA beyond", [&](std::string& b) { Put32(b, img.firstDataEntry, 0xFFFFFFF0u); }},
        {"data size huge", [&](std::string& b) { Put32(b, img.firstDataEntry + 4, 0xFFFFFFFFu); }},
        {"data size too small", [&](std::string& b) { Put32(b, img.firstDataEntry + 4, 60); }},
        {"block length too small", [&](std::string& b) { Put16(b, block, 40); }},
        {"no fixed information", [&](std::string& b) { Put16(b, block + 2, 0); }},
        {"fixed information short", [&](std::string& b) { Put16(b, block + 2, 51); }},
        {"key never ends",
         [&](std::string& b) {
             for (size_t i = block + 6; i < img.versionEnd; i += 2) Put16(b, i, 'A');
         }},
    };
    ASSERT_TRUE(HasVersion(img.bytes));
    for (const Case& c : cases) {
        std::string b = img.bytes;
        c.patch(b);
        EXPECT_FALSE(HasVersion(b)) << c.what;
    }
}

TEST(PeVersion, CyclicDirectoriesEndTheWalk) {
    PeFixture::Image img = PeFixture::Make();
    std::string b = img.bytes;
    // RT_VERSION's subdirectory is the root itself, whose entries point at the root again.
    const uint32_t rootOffset = static_cast<uint32_t>(img.rootDir - img.rsrc);
    Put32(b, img.versionTypeEntry + 4, 0x80000000u | rootOffset);
    Put32(b, img.rootDir + 16 + 4, 0x80000000u | rootOffset);
    EXPECT_FALSE(HasVersion(b));
}
