#include "PkgStoredName.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string> SplitName(const std::string& stored) {
    std::vector<std::string> parts(1);
    for (char c : stored) {
        if (IsSeparator(c))
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool HasDrive(const std::string& s) {
    return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any extension.
bool IsDeviceName(const std::string& part) {
    const std::string base = UpperAscii(part.substr(0, part.find('.')));
    static const char* const fixed[] = {"CON", "PRN", "AUX", "NUL"};
    if (std::any_of(std::begin(fixed), std::end(fixed), [&](const char* d) { return base == d; }))
        return true;
    return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

std::string WindowsRuleViolation(const std::string& part) {
    for (char c : part) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
            return "holds a character that Windows does not allow in names";
    }
    if (part.back() == '.' || part.back() == ' ') return "has a name ending in a dot or space";
    if (IsDeviceName(part)) return "names a device";
    return {};
}

std::string PartViolation(const std::string& part, bool windowsRules) {
    if (part.empty()) return "has an empty path component";
    if (part == "..") return "climbs out of the target directory";
    if (part == ".") return "has a '.' path component";
    return windowsRules ? WindowsRuleViolation(part) : std::string();
}

}  // namespace

std::string CheckStoredName(const std::string& stored, std::vector<std::string>& parts,
                            bool windowsRules) {
    parts.clear();
    if (stored.empty()) return "is empty";
    if (IsSeparator(stored[0])) return "is an absolute path";
    if (HasDrive(stored)) return "names a drive";
    std::vector<std::string> split = SplitName(stored);
    for (const auto& part : split) {
        std::string why = PartViolation(part, windowsRules);
        if (!why.empty()) return why;
    }
    parts = std::move(split);
    return {};
}
