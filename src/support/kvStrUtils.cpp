#include "kvStrUtils.h"

#include <cstddef>

#include "Platform.h"

namespace {

bool IsDelimiter(const TCharSet& delimiters, char c) {
    return delimiters.test(static_cast<unsigned char>(c));
}

// Index (0-based) just past the run that starts at pos and whose characters are
// delimiters (wanted true) or non-delimiters (wanted false).
size_t SkipRun(const std::string& text, size_t pos, const TCharSet& delimiters, bool wanted) {
    while (pos < text.size() && IsDelimiter(delimiters, text[pos]) == wanted) ++pos;
    return pos;
}

char DigitChar(int d) {
    return static_cast<char>(d < 10 ? '0' + d : 'A' + (d - 10));
}

std::string CollapseStars(std::string mask) {
    size_t pos;
    while ((pos = mask.find("**")) != std::string::npos) {
        size_t end = mask.find_first_not_of('*', pos);
        if (end == std::string::npos) end = mask.size();
        mask.erase(pos + 1, end - pos - 1);
    }
    return mask;
}

// The mask's tail (after its last "*") against the end of the text. A text shorter
// than the tail cannot end with it.
bool TailMatches(const std::string& text, const std::string& tail) {
    if (tail.size() > text.size()) return false;
    size_t offset = text.size() - tail.size();
    for (size_t k = 0; k < tail.size(); ++k)
        if (tail[k] != '?' && tail[k] != text[offset + k]) return false;
    return true;
}

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& text, size_t pos, int32_t& value) {
    if (pos >= text.size()) return false;
    uint64_t v = 0;
    for (; pos < text.size(); ++pos) {
        int d = HexDigitValue(text[pos]);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

bool ParseDecimal(const std::string& text, size_t pos, int32_t& value) {
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos >= text.size()) return false;
    int64_t v = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDecimalDigit(text[pos])) return false;
        v = v * 10 + (text[pos] - '0');
        if (v > 2147483647) return false;
    }
    value = static_cast<int32_t>(negative ? -v : v);
    return true;
}

}  // namespace

TCharSet CharSetOf(const std::string& chars) {
    TCharSet set;
    for (char c : chars) set.set(static_cast<unsigned char>(c));
    return set;
}

std::string StrToOem(const std::string& text) {
    return text.empty() ? std::string() : Plat::AnsiToOem(text);
}

std::string DeleteChars(const std::string& text, char c) {
    std::string result;
    result.reserve(text.size());
    for (char ch : text)
        if (ch != c) result += ch;
    return result;
}

std::string PadLeft(char fill, const std::string& text, int width) {
    int length = static_cast<int>(text.size());
    return length < width ? std::string(static_cast<size_t>(width - length), fill) + text : text;
}

std::string PadRight(char fill, const std::string& text, int width) {
    int length = static_cast<int>(text.size());
    return length < width ? text + std::string(static_cast<size_t>(width - length), fill) : text;
}

std::string CopyBefore(const std::string& text, char c) {
    return text.substr(0, text.find(c));
}

std::string HexStr(int64_t value, uint8_t digits) {
    // Negative values are shown as their 32-bit pattern, as the 32-bit callers expect.
    uint64_t v = value < 0 ? static_cast<uint32_t>(value) : static_cast<uint64_t>(value);
    std::string result;
    do {
        result.insert(result.begin(), DigitChar(static_cast<int>(v % 16)));
        v /= 16;
    } while (v != 0);
    return PadLeft('0', result, digits);
}

std::string RadixStr(int64_t value, uint8_t width, uint8_t base) {
    if (value < 0 || base < 2) return std::string();
    if (value == 0) return PadLeft('0', "0", width);
    std::string result;
    for (; value > 0; value /= base) result.insert(result.begin(), DigitChar(value % base));
    return PadLeft('0', result, width);
}

int WildPos(const std::string& pattern, const std::string& text) {
    if (pattern.find('?') == std::string::npos) {
        if (pattern.empty()) return 0;
        size_t pos = text.find(pattern);
        return pos == std::string::npos ? 0 : static_cast<int>(pos) + 1;
    }
    if (pattern.size() > text.size()) return 0;
    for (size_t s = 0; s + pattern.size() <= text.size(); ++s) {
        size_t k = 0;
        while (k < pattern.size() && (pattern[k] == '?' || pattern[k] == text[s + k])) ++k;
        if (k == pattern.size()) return static_cast<int>(s) + 1;
    }
    return 0;
}

int CutAtStar(std::string& text) {
    size_t pos = text.find('*');
    if (pos == std::string::npos) return 0;
    text.resize(pos);
    return static_cast<int>(pos) + 1;
}

bool WildMatch(const std::string& text, const std::string& mask, bool ignoreCase) {
    const std::string t = ignoreCase ? Plat::AnsiUpper(text) : text;
    std::string m = ignoreCase ? Plat::AnsiUpper(mask) : mask;
    if (t == m) return true;
    m = CollapseStars(m);
    if (m == "*") return true;
    if (t.empty() || m.empty()) return false;

    size_t i = 0, j = 0;
    while (i < t.size() && j < m.size()) {
        if (t[i] == m[j] || m[j] == '?') {
            ++i;
            ++j;
        } else if (m[j] == '*') {
            std::string segment = m.substr(j + 1);
            int nextStar = CutAtStar(segment);
            if (nextStar == 0) return segment.empty() || TailMatches(t, segment);
            j += static_cast<size_t>(nextStar);
            int found = WildPos(segment, t.substr(i));
            if (found == 0) return false;
            i += static_cast<size_t>(found - 1) + segment.size();
        } else {
            return false;
        }
    }
    if (i < t.size()) return false;
    return j >= m.size() || m.back() == '*';
}

std::string NamePart(const std::string& text, char separator) {
    return CopyBefore(text, separator);
}

std::string ValuePart(const std::string& text, char separator) {
    size_t pos = text.find(separator);
    return pos == std::string::npos ? std::string() : text.substr(pos + 1);
}

std::string NameOf(const std::string& text) {
    return NamePart(text, '=');
}

std::string ValueOf(const std::string& text) {
    return ValuePart(text, '=');
}

int TokenCount(const std::string& text, const TCharSet& delimiters) {
    int count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        pos = SkipRun(text, pos, delimiters, true);
        if (pos < text.size()) ++count;
        pos = SkipRun(text, pos, delimiters, false);
    }
    return count;
}

int TokenPosition(int n, const std::string& text, const TCharSet& delimiters) {
    if (n < 1) return 0;
    int count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        pos = SkipRun(text, pos, delimiters, true);
        if (pos < text.size() && ++count == n) return static_cast<int>(pos) + 1;
        pos = SkipRun(text, pos, delimiters, false);
    }
    return 0;
}

std::string GetToken(int n, const std::string& text, const TCharSet& delimiters) {
    int start = TokenPosition(n, text, delimiters);
    if (start == 0) return std::string();
    size_t begin = static_cast<size_t>(start - 1);
    return text.substr(begin, SkipRun(text, begin, delimiters, false) - begin);
}

void SplitToList(const std::string& text, TStringList& list, const TCharSet& delimiters) {
    // One pass instead of a token look-up per number: same entries, linear in the text.
    list.Clear();
    size_t pos = SkipRun(text, 0, delimiters, true);
    while (pos < text.size()) {
        size_t end = SkipRun(text, pos, delimiters, false);
        list.Add(text.substr(pos, end - pos));
        pos = SkipRun(text, end, delimiters, true);
    }
}

void SetNameValue(TStringList& list, const std::string& name, const std::string& value) {
    std::string line = name + "=" + value;
    int index = list.IndexOfName(name);
    if (index >= 0)
        list.SetString(index, line);
    else
        list.Add(line);
}

bool TryStrToInt32(const std::string& text, int32_t& value) {
    size_t pos = text.find_first_not_of(' ');
    if (pos == std::string::npos) return false;
    if (text[pos] == '$') return ParseHex(text, pos + 1, value);
    return ParseDecimal(text, pos, value);
}
