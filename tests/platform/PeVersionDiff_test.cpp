// Our PE version reader against a second opinion. Under Wine the second opinion is the
// Win32 version API itself, on Wine's own DLLs and on our hand-made images; natively it is
// a plain scan of the file for the version block.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PeFixture.h"
#include "Platform.h"
#include "TestUtil.h"

namespace {

const char* const WineDlls[] = {
    "version", "cabinet",  "imm32",    "netapi32", "ws2_32",   "secur32",  "iphlpapi", "advapi32",
    "shlwapi", "dsound",   "d3d9",     "winmm",    "wininet",  "kernel32", "setupapi", "gdi32",
    "dbghelp", "rpcrt4",   "riched20", "comdlg32", "ddraw",    "msvcrt",   "urlmon",   "ntdll",
    "crypt32", "oleaut32", "comctl32", "ole32",    "opengl32", "user32"};

bool OnWindows() {
    return TestUtil::Sep() == '\\';
}

std::string WineDllDir() {
    return OnWindows() ? "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows\\"
                       : "/usr/lib/i386-linux-gnu/wine/i386-windows/";
}

bool Slurp(const std::string& path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    out = s.str();
    return true;
}

bool Ours(const std::string& bytes, uint32_t& ms, uint32_t& ls) {
    return Plat::PeFileVersion(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               ms, ls);
}

uint32_t Le32(const std::string& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);  // both targets are little-endian
    return v;
}

// The naive reading: the first "VS_VERSION_INFO" key in UTF-16 followed, at the next
// 4-byte boundary of its block, by the fixed information's signature.
bool Scan(const std::string& b, uint32_t& ms, uint32_t& ls) {
    std::string key;
    for (char c : std::string("VS_VERSION_INFO")) key += std::string{c, '\0'};
    key += std::string(2, '\0');
    for (size_t at = b.find(key); at != std::string::npos; at = b.find(key, at + 1)) {
        if (at < 6) continue;
        size_t block = at - 6;
        size_t fixed = (6 + key.size() + 3) / 4 * 4 + block;
        if (fixed + 16 > b.size() || Le32(b, fixed) != 0xFEEF04BDu) continue;
        ms = Le32(b, fixed + 8);
        ls = Le32(b, fixed + 12);
        return true;
    }
    return false;
}

std::string Text(uint32_t ms, uint32_t ls) {
    std::ostringstream s;
    s << (ms >> 16) << '.' << (ms & 0xFFFF) << '.' << (ls >> 16) << '.' << (ls & 0xFFFF);
    return s.str();
}

}  // namespace

// Some of Wine's DLLs carry no version resource; both readers must then say so.
TEST(PeVersionDiff, WineDllsAgree) {
    size_t compared = 0, versioned = 0;
    std::ostringstream report;
    for (const char* name : WineDlls) {
        std::string path = WineDllDir() + name + ".dll";
        std::string bytes;
        if (!Slurp(path, bytes)) continue;
        uint32_t ms = 0, ls = 0, ms2 = 0, ls2 = 0;
        bool ours = Ours(bytes, ms, ls);
        bool other = OnWindows() ? Plat::FileVersion(path, ms2, ls2) : Scan(bytes, ms2, ls2);
        EXPECT_EQ(ours, other) << path;
        if (ours && other) {
            EXPECT_EQ(Text(ms, ls), Text(ms2, ls2)) << path;
        }
        report << name << ' ' << (ours ? Text(ms, ls) : "-") << '\n';
        ++compared;
        versioned += ours;
    }
    if (compared == 0) GTEST_SKIP() << "Wine's DLLs are not installed in " << WineDllDir();
    EXPECT_GT(versioned, compared / 2);  // the comparison must not be all "no version"
    std::cout << report.str();
}

TEST(PeVersionDiff, FileVersionReadsAFileFromDisk) {
    TestUtil::TempDir d;
    PeFixture::ImageDesc desc;
    desc.ms = 0x00070008;
    desc.ls = 0x0009000A;
    TestUtil::WriteFile(d / "fixture.dll", PeFixture::Make(desc).bytes);
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(Plat::FileVersion(d.Path() + "fixture.dll", ms, ls));
    EXPECT_EQ(Text(ms, ls), "7.8.9.10");
    TestUtil::WriteFile(d / "plain.txt", "no image here");
    EXPECT_FALSE(Plat::FileVersion(d.Path() + "plain.txt", ms, ls));
    EXPECT_FALSE(Plat::FileVersion(d.Path() + "missing.dll", ms, ls));
    TestUtil::WriteFile(d / "empty.dll", "");
    EXPECT_FALSE(Plat::FileVersion(d.Path() + "empty.dll", ms, ls));
}

// Under Wine: the version API and our reader on the same hand-made images.
TEST(PeVersionDiff, HandMadeImagesAgreeWithTheApi) {
    if (!OnWindows()) GTEST_SKIP() << "the version API exists only on Windows";
    struct Case {
        const char* what;
        PeFixture::ImageDesc desc;
    };
    std::vector<Case> cases;
    PeFixture::ImageDesc s;
    cases.push_back({"plain", s});
    s.pe32plus = true;
    cases.push_back({"PE32+", s});
    s = {};
    s.ids = {1, 2};
    s.langs = {0x409, 0x407};
    cases.push_back({"two ids, two languages", s});
    s = {};
    s.ids = {2, 3};
    cases.push_back({"no id 1", s});
    s = {};
    s.langs = {0x407, 0x409};
    cases.push_back({"German first", s});
    s = {};
    s.langs = {0, 0x409};
    cases.push_back({"neutral first", s});
    s = {};
    s.langs = {0x407, 0x400};
    cases.push_back({"German, default sublanguage", s});
    s = {};
    s.langs = {0x400, 0x409};
    cases.push_back({"default sublanguage, English", s});
    s = {};
    s.langs = {0x407, 0x40C};
    cases.push_back({"German, French", s});
    s = {};
    s.langs = {0x407, 0x809};
    cases.push_back({"German, British", s});
    s = {};
    s.ids = {0, 1};
    cases.push_back({"id 0 before id 1", s});
    s = {};
    s.key = "VS_VERSION_INF";
    cases.push_back({"other key", s});
    s = {};
    s.valueLength = 0;
    cases.push_back({"no value", s});
    s = {};
    s.signature = 0x12345678;
    cases.push_back({"bad signature", s});
    s = {};
    s.withVersion = false;
    cases.push_back({"no version", s});
    TestUtil::TempDir d;
    for (const Case& c : cases) {
        std::string bytes = PeFixture::Make(c.desc).bytes;
        std::string path = d.Path() + "case" + std::to_string(&c - cases.data()) + ".dll";
        TestUtil::WriteFile(path, bytes);
        uint32_t ms = 0, ls = 0, ms2 = 0, ls2 = 0;
        bool ours = Ours(bytes, ms, ls);
        bool api = Plat::FileVersion(path, ms2, ls2);
        EXPECT_EQ(ours, api) << c.what;
        if (ours && api) {
            EXPECT_EQ(Text(ms, ls), Text(ms2, ls2)) << c.what;
        }
    }
}
