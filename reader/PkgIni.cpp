#include "PkgIni.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

}  // namespace

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

TIniText::TIniText(const std::string& text) {
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string section;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos));
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            section =
                Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        Lines.push_back({section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
    }
}

std::string TIniText::Get(const std::string& section, const std::string& key,
                          const std::string& fallback) const {
    for (const TLine& l : Lines)
        if (SameText(l.Section, section) && SameText(l.Name, key)) return l.Value;
    return fallback;
}

std::vector<std::pair<std::string, std::string>> TIniText::Section(
    const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const TLine& l : Lines)
        if (SameText(l.Section, section)) out.emplace_back(l.Name, l.Value);
    return out;
}
