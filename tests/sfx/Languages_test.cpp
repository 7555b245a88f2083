// The language files shipped in runtime/Presetup, read with the installer's own INI reader
// and held against ENU.lng: the keys, a text for each, the values to fill in, the button
// accelerators and bytes that the file's code page can show.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "PkgIni.h"
#include "TestUtil.h"

namespace {

struct TLanguageFile {
    std::string Name;  // DEU.lng
    std::string Bytes;
    TIniText Ini;
};

struct TCodePage {
    int Number;
    std::string Undefined;  // bytes without a character in it
};

// Single-byte Windows code pages a language file may be written in. Another one needs its
// undefined bytes here first.
const TCodePage CodePages[] = {
    {1250, "\x81\x83\x88\x90\x98"},
    {1251, "\x98"},
    {1252, "\x81\x8D\x8F\x90\x9D"},
};

// The buttons and the check box that can be on screen at the same time, so their
// accelerators must differ.
const char* const TogetherOnScreen[] = {"Back", "Next", "Install", "Finish", "Browse", "Accept"};

std::string PresetupDir() {
    const std::string source = TestUtil::Env("KEST_SOURCE_DIR");
    return source.empty() ? std::string() : source + "/runtime/Presetup";
}

bool IsLanguageFile(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return ext == ".lng";
}

std::vector<TLanguageFile> ShippedFiles() {
    std::vector<TLanguageFile> files;
    const std::string dir = PresetupDir();
    if (dir.empty()) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || !IsLanguageFile(entry.path())) continue;
        const std::string bytes = TestUtil::ReadFile(entry.path().string());
        files.push_back({entry.path().filename().string(), bytes, TIniText(bytes)});
    }
    std::sort(files.begin(), files.end(),
              [](const TLanguageFile& a, const TLanguageFile& b) { return a.Name < b.Name; });
    return files;
}

const std::vector<TLanguageFile>& Files() {
    static const std::vector<TLanguageFile> files = ShippedFiles();
    return files;
}

const TLanguageFile* Find(const std::string& name) {
    for (const TLanguageFile& f : Files())
        if (SameText(f.Name, name)) return &f;
    return nullptr;
}

TIniText English() {
    const TLanguageFile* enu = Find("ENU.lng");
    return enu ? enu->Ini : TIniText();
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The accelerator letters of a button text, folded to lower case ("&&" is a literal "&").
std::string Accelerators(const std::string& text) {
    std::string letters;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] != '&') {
            const char c = text[i + 1];
            letters += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        }
        ++i;
    }
    return letters;
}

// True when the bytes hold a multi-byte UTF-8 sequence and nothing that UTF-8 forbids: text
// saved as UTF-8 by mistake, which the installer would show as "Ã¤" and the like.
bool LooksLikeUtf8(const std::string& bytes) {
    bool multiByte = false;
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        multiByte = multiByte || length > 1;
        i += length;
    }
    return multiByte;
}

TEST(LanguageFiles, TheFourLanguagesAreShipped) {
    ASSERT_FALSE(PresetupDir().empty()) << "KEST_SOURCE_DIR is not set";
    for (const char* name : {"ENU.lng", "DEU.lng", "FRA.lng", "ITA.lng"})
        EXPECT_NE(Find(name), nullptr) << name << " is missing in " << PresetupDir();
}

TEST(LanguageFiles, NameTheLanguageAndAKnownCodePage) {
    for (const TLanguageFile& f : Files()) {
        SCOPED_TRACE(f.Name);
        EXPECT_FALSE(f.Ini.Get("Language", "Name").empty());
        const std::string codePage = f.Ini.Get("Language", "CodePage");
        EXPECT_TRUE(
            std::any_of(std::begin(CodePages), std::end(CodePages),
                        [&](const TCodePage& c) { return codePage == std::to_string(c.Number); }))
            << "CodePage=" << codePage;
    }
}

TEST(LanguageFiles, HaveATextForEveryEnglishKeyAndNoOtherKey) {
    const TIniText english = English();
    ASSERT_FALSE(english.Section("Strings").empty()) << "ENU.lng has no [Strings]";
    for (const TLanguageFile& f : Files()) {
        SCOPED_TRACE(f.Name);
        for (const auto& [key, text] : english.Section("Strings"))
            EXPECT_FALSE(f.Ini.Get("Strings", key).empty()) << "no text for " << key;
        for (const auto& [key, text] : f.Ini.Section("Strings"))
            EXPECT_FALSE(english.Get("Strings", key).empty()) << "ENU.lng has no key " << key;
    }
}

TEST(LanguageFiles, HaveNoKeyTwice) {
    for (const TLanguageFile& f : Files()) {
        SCOPED_TRACE(f.Name);
        for (const char* section : {"Language", "Strings"}) {
            const auto lines = f.Ini.Section(section);
            for (size_t i = 0; i < lines.size(); ++i)
                for (size_t k = i + 1; k < lines.size(); ++k)
                    EXPECT_FALSE(SameText(lines[i].first, lines[k].first))
                        << "[" << section << "] " << lines[k].first << " twice";
        }
    }
}

TEST(LanguageFiles, KeepTheValuesToFillIn) {
    const TIniText english = English();
    for (const TLanguageFile& f : Files()) {
        SCOPED_TRACE(f.Name);
        for (const auto& [key, text] : f.Ini.Section("Strings"))
            EXPECT_EQ(CountOf(text, "%s"), CountOf(english.Get("Strings", key), "%s"))
                << key << "=" << text;
    }
}

TEST(LanguageFiles, GiveButtonsShownTogetherDistinctAccelerators) {
    for (const TLanguageFile& f : Files()) {
        SCOPED_TRACE(f.Name);
        std::string letters;
        for (const char* key : TogetherOnScreen) {
            const std::string own = Accelerators(f.Ini.Get("Strings", key));
            EXPECT_EQ(own.size(), 1u) << key << " needs one accelerator";
            if (own.empty()) continue;
            EXPECT_EQ(letters.find(own[0]), std::string::npos)
                << key << " repeats the accelerator '" << own << "'";
            letters += own;
        }
    }
}

TEST(LanguageFiles, HoldOnlyCharactersOfTheirCodePage) {
    for (const TLanguageFile& f : Files()) {
        SCOPED_TRACE(f.Name);
        EXPECT_NE(f.Bytes.compare(0, 3, "\xEF\xBB\xBF"), 0)
            << "starts with a UTF-8 byte-order mark";
        EXPECT_FALSE(LooksLikeUtf8(f.Bytes)) << "written in UTF-8, not in its code page";
        const std::string codePage = f.Ini.Get("Language", "CodePage");
        for (const TCodePage& c : CodePages) {
            if (codePage != std::to_string(c.Number)) continue;
            const size_t bad = f.Bytes.find_first_of(c.Undefined);
            EXPECT_EQ(bad, std::string::npos)
                << "byte 0x" << std::hex << (static_cast<unsigned>(f.Bytes[bad]) & 0xFF)
                << " at offset " << std::dec << bad << " is no character of code page " << c.Number;
        }
    }
}

}  // namespace
