#include "SfxTexts.h"

#include <windows.h>

#include <algorithm>

#include "SfxFile.h"

namespace {

struct TDefault {
    const char* Key;
    const char* Text;
};

// English, for keys a language file lacks and for messages before the files are unpacked.
const TDefault English[] = {
#include "EnglishTexts.inc"
};

std::string Convert(const std::string& text, unsigned from, unsigned to) {
    if (text.empty()) return {};
    const int n = static_cast<int>(text.size());
    const int wn = MultiByteToWideChar(from, 0, text.data(), n, nullptr, 0);
    if (wn <= 0) return text;
    std::wstring wide(static_cast<size_t>(wn), L'\0');
    MultiByteToWideChar(from, 0, text.data(), n, wide.data(), wn);
    const int un = WideCharToMultiByte(to, 0, wide.data(), wn, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(un > 0 ? un : 0), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wn, out.data(), un, nullptr, nullptr);
    return out;
}

bool IsUtf8(const std::string& text) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

std::string LineBreaks(std::string text) {
    for (size_t at = 0; (at = text.find("\\r\\n", at)) != std::string::npos; at += 2)
        text.replace(at, 4, "\r\n");
    return text;
}

// The language code of the user's UI language, for the languages we know.
std::string UserLanguage() {
    struct TCode {
        WORD Primary;
        const char* Code;
    };
    static const TCode Codes[] = {
        {LANG_ENGLISH, "ENU"},    {LANG_GERMAN, "DEU"},  {LANG_FRENCH, "FRA"},
        {LANG_ITALIAN, "ITA"},    {LANG_SPANISH, "ESP"}, {LANG_DUTCH, "NLD"},
        {LANG_PORTUGUESE, "PTB"}, {LANG_POLISH, "PLK"},  {LANG_CZECH, "CSY"},
        {LANG_RUSSIAN, "RUS"},    {LANG_SWEDISH, "SVE"}, {LANG_DANISH, "DAN"},
        {LANG_NORWEGIAN, "NOR"},  {LANG_FINNISH, "FIN"}, {LANG_HUNGARIAN, "HUN"},
        {LANG_JAPANESE, "JPN"},   {LANG_CHINESE, "CHS"}, {LANG_KOREAN, "KOR"},
    };
    const WORD primary = PRIMARYLANGID(GetUserDefaultUILanguage());
    for (const TCode& c : Codes)
        if (c.Primary == primary) return c.Code;
    return {};
}

}  // namespace

TTexts& Texts() {
    static TTexts texts;
    return texts;
}

bool TTexts::LoadFile(const std::string& path, const std::string& code) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    TIniText ini(bytes);
    const unsigned page = static_cast<unsigned>(
        std::strtoul(ini.Get("Language", "CodePage", "0").c_str(), nullptr, 10));
    Ini = TIniText(ToUtf8(bytes, page));
    Page = page;
    Language = code;
    Path = path;
    return true;
}

void TTexts::Load(const std::string& dir, const std::string& code) {
    const std::string wanted = code.empty() ? "ENU" : code;
    for (const std::string& c : {wanted, std::string("ENU")})
        if (LoadFile(JoinPath(dir, c + ".lng"), c)) return;
    *this = TTexts();
}

std::string TTexts::operator()(const char* key) const {
    const std::string text = Ini.Get("Strings", key);
    if (!text.empty()) return LineBreaks(text);
    for (const TDefault& d : English)
        if (SameText(d.Key, key)) return LineBreaks(d.Text);
    return key;
}

std::string TTexts::operator()(const char* key, const std::string& a, const std::string& b) const {
    std::string text = (*this)(key);
    const std::string* values[] = {&a, &b};
    size_t at = 0;
    for (const std::string* v : values) {
        at = text.find("%s", at);
        if (at == std::string::npos) break;
        text.replace(at, 2, *v);
        at += v->size();
    }
    return text;
}

std::vector<TLanguage> FindLanguages(const std::string& dir) {
    std::vector<TLanguage> found;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(JoinPath(dir, "*.lng").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string file = entry.cFileName;
        TTexts texts;
        const std::string code = file.substr(0, file.size() - 4);
        if (!texts.LoadFile(JoinPath(dir, file), code)) continue;
        const std::string name = texts.Name();
        found.push_back({code, name.empty() ? code : name});
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(found.begin(), found.end(),
              [](const TLanguage& a, const TLanguage& b) { return a.Code < b.Code; });
    return found;
}

std::string PreferredLanguage(const std::vector<TLanguage>& languages,
                              const std::string& requested) {
    for (const std::string& code : {requested, UserLanguage(), std::string("ENU")})
        for (const TLanguage& l : languages)
            if (!code.empty() && SameText(l.Code, code)) return l.Code;
    return languages.empty() ? std::string() : languages.front().Code;
}

std::string ToUtf8(const std::string& text, unsigned page) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) return text.substr(3);
    if (page == CP_UTF8 || (page == 0 && IsUtf8(text))) return text;
    return Convert(text, page ? page : CP_ACP, CP_UTF8);
}

std::string AnsiToUtf8(const std::string& text) {
    return Convert(text, CP_ACP, CP_UTF8);
}

std::wstring Wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

bool WideToAnsi(const std::wstring& wide, std::string& ansi) {
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, nullptr, &lost);
    if (lost) return false;
    ansi.assign(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        ansi.data(), n, nullptr, nullptr);
    return true;
}

std::string SizeText(uint64_t bytes) {
    const uint64_t kib = (bytes + 1023) / 1024;
    if (kib < 10240) return std::to_string(kib) + " KB";
    const uint64_t mib = (kib + 1023) / 1024;
    if (mib < 10240) return std::to_string(mib) + " MB";
    const uint64_t tenths = (mib * 10 + 512) / 1024;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " GB";
}
