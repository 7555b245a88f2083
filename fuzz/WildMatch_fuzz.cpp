// fuzz-sources: src/support/kvStrUtils.cpp src/support/kvStringList.cpp
// fuzz-sources: src/platform/Platform-posix.cpp src/platform/Wildcards.cpp
// fuzz-sources: src/platform/PeImage.cpp src/platform/CodePage.cpp
// The wildcard matcher on arbitrary texts and masks. Input: text, a NUL byte, mask.
// Besides not crashing, the answers are checked against a plain glob matcher where the
// matcher's walk is known to agree with it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kvStrUtils.h"

namespace {

// Classic glob: "*" any run, "?" any one character.
bool Glob(const std::string& t, const std::string& m) {
    std::vector<char> row(t.size() + 1, 0), next(t.size() + 1);
    row[0] = 1;
    for (char c : m) {
        next.assign(t.size() + 1, 0);
        if (c == '*') {
            char any = 0;
            for (size_t i = 0; i <= t.size(); ++i) next[i] = any = static_cast<char>(any | row[i]);
        } else {
            for (size_t i = 0; i < t.size(); ++i)
                next[i + 1] = static_cast<char>(row[i] && (c == '?' || c == t[i]));
        }
        row.swap(next);
    }
    return row[t.size()] != 0;
}

bool CharFits(char m, char t) {
    return m == '?' || m == t;
}

std::string AsciiUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

std::string Collapse(const std::string& m) {
    std::string out;
    for (char c : m)
        if (c != '*' || out.empty() || out.back() != '*') out += c;
    return out;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

// Masks without a star: same length, character by character.
void CheckNoStar(const std::string& t, const std::string& m, bool got) {
    bool want = t.size() == m.size();
    for (size_t k = 0; want && k < t.size(); ++k) want = CharFits(m[k], t[k]);
    Check(got == want);
}

// "P*": the text agrees with P as far as both go (a shorter text counts as a match).
void CheckTrailingStar(const std::string& t, const std::string& p, bool got) {
    bool want = !t.empty();
    for (size_t k = 0; want && k < t.size() && k < p.size(); ++k) want = CharFits(p[k], t[k]);
    Check(got == want);
}

// "P*S" over a text long enough for both: P at the start and S at the end.
void CheckMiddleStar(const std::string& t, const std::string& p, const std::string& s, bool got) {
    if (t.size() < p.size() + s.size()) return;
    bool want = true;
    for (size_t k = 0; want && k < p.size(); ++k) want = CharFits(p[k], t[k]);
    for (size_t k = 0; want && k < s.size(); ++k) want = CharFits(s[k], t[t.size() - s.size() + k]);
    Check(got == want);
}

void CheckAgainstReference(const std::string& t, const std::string& mask, bool got) {
    const std::string m = Collapse(mask);
    const size_t stars = static_cast<size_t>(std::count(m.begin(), m.end(), '*'));
    if (stars == 0) return CheckNoStar(t, m, got);
    if (t.find('*') != std::string::npos || t == mask) return;
    // The walk takes the first place of every inner part, so whatever a glob accepts, it
    // accepts too.
    if (Glob(t, m)) Check(got);
    if (stars == 1 && m == "*") return Check(got);
    if (stars == 1 && m.back() == '*') return CheckTrailingStar(t, m.substr(0, m.size() - 1), got);
    if (stars == 1) {
        size_t star = m.find('*');
        CheckMiddleStar(t, m.substr(0, star), m.substr(star + 1), got);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size);
    size_t cut = in.find('\0');
    std::string text = in.substr(0, cut);
    std::string mask = cut == std::string::npos ? std::string("*") : in.substr(cut + 1);
    if (text.size() > 256 || mask.size() > 256) return 0;  // keeps the glob reference cheap

    bool got = WildMatch(text, mask, false);
    Check(WildMatch(text, text, false));
    Check(WildMatch(text, "*", false));
    Check(WildMatch(text, mask, true) == WildMatch(AsciiUpper(text), AsciiUpper(mask), false));
    CheckAgainstReference(text, mask, got);

    // The helpers the walk rests on, on the same bytes.
    int pos = WildPos(mask, text);
    Check(pos >= 0 && static_cast<size_t>(pos) <= text.size());
    if (pos > 0)
        for (size_t k = 0; k < mask.size(); ++k) Check(CharFits(mask[k], text[pos - 1 + k]));
    std::string cut1 = mask;
    int star = CutAtStar(cut1);
    Check(star == 0 ? cut1 == mask : cut1 == mask.substr(0, static_cast<size_t>(star - 1)));
    return 0;
}
