// ANSI <-> UTF-8 conversion over a table of the code page's upper half, the same code on
// both backends, so that a name converts to the same bytes wherever the build runs.
#include "CodePage.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Platform.h"

namespace Plat {

namespace {

constexpr uint32_t FallbackCodePage = 1252;

struct TCodePage {
    uint32_t Number = 0;
    char32_t UpperHalf[128] = {};
    std::vector<std::pair<char32_t, unsigned char>> Reverse;  // sorted by code point
};

// A byte that the code page leaves undefined stands for the code point of its own value,
// as Windows maps it (0x81 in 1252 is U+0081), unless another byte means that already.
void FillUndefined(TCodePage& cp) {
    for (int i = 0; i < 128; ++i) {
        if (cp.UpperHalf[i] != 0) continue;
        const char32_t own = char32_t(0x80 + i);
        if (std::find(std::begin(cp.UpperHalf), std::end(cp.UpperHalf), own) ==
            std::end(cp.UpperHalf))
            cp.UpperHalf[i] = own;
    }
}

TCodePage LoadCodePage() {
    TCodePage cp;
    cp.Number = Backend::ChosenCodePage();
    if (cp.Number == 0 || !Backend::ReadCodePage(cp.Number, cp.UpperHalf)) {
        cp.Number = 0;
        std::fill(std::begin(cp.UpperHalf), std::end(cp.UpperHalf), char32_t(0));
        Backend::ReadCodePage(FallbackCodePage, cp.UpperHalf);
    }
    FillUndefined(cp);
    for (int i = 0; i < 128; ++i)
        if (cp.UpperHalf[i] != 0)
            cp.Reverse.emplace_back(cp.UpperHalf[i], (unsigned char)(0x80 + i));
    std::sort(cp.Reverse.begin(), cp.Reverse.end());
    return cp;
}

const TCodePage& CodePage() {
    static const TCodePage cp = LoadCodePage();
    return cp;
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// One code point from s at i (moved past it); false for a malformed sequence, an overlong
// form, a surrogate or a value beyond U+10FFFF (i then moves one byte).
bool DecodeUtf8(const std::string& s, size_t& i, char32_t& c) {
    const auto byte = [&s](size_t k) { return (unsigned char)s[k]; };
    const unsigned char lead = byte(i);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > s.size()) {
        ++i;
        return false;
    }
    static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    c = length == 1 ? lead : char32_t(lead & (0x7F >> length));
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < minimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += length;
    return true;
}

}  // namespace

uint32_t AnsiCodePage() {
    return CodePage().Number;
}

std::string AnsiToUtf8(const std::string& s) {
    if (IsAscii(s)) return s;
    const TCodePage& cp = CodePage();
    std::string out;
    out.reserve(s.size() + s.size() / 2);
    for (char ch : s) {
        const auto b = (unsigned char)ch;
        AppendUtf8(out, b < 0x80 ? char32_t(b) : cp.UpperHalf[b - 0x80]);
    }
    return out;
}

std::string PrintableText(const std::string& text, bool keepLineFeeds) {
    static const char Hex[] = "0123456789ABCDEF";
    const TCodePage& cp = CodePage();
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto b = (unsigned char)ch;
        const char32_t c = b < 0x80 ? char32_t(b) : cp.UpperHalf[b - 0x80];
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (!control || (keepLineFeeds && ch == '\n'))
            out += ch;
        else
            out.append(1, '<').append(1, Hex[b >> 4]).append(1, Hex[b & 15]).append(1, '>');
    }
    return out;
}

bool Utf8ToAnsi(const std::string& utf8, std::string& ansi) {
    if (IsAscii(utf8)) {
        ansi = utf8;
        return true;
    }
    const TCodePage& cp = CodePage();
    ansi.clear();
    bool fits = true;
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        if (!DecodeUtf8(utf8, i, c)) {
            ansi += '?';
            fits = false;
        } else if (c < 0x80) {
            ansi += char(c);
        } else {
            auto it = std::lower_bound(cp.Reverse.begin(), cp.Reverse.end(),
                                       std::make_pair(c, (unsigned char)0));
            const bool found = it != cp.Reverse.end() && it->first == c;
            ansi += found ? char(it->second) : '?';
            fits = fits && found;
        }
    }
    return fits;
}

bool IsUtf8(const std::string& s) {
    char32_t c = 0;
    for (size_t i = 0; i < s.size();)
        if (!DecodeUtf8(s, i, c)) return false;
    return true;
}

}  // namespace Plat
