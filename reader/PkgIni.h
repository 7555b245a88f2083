// The one reader of INI text for kestx and the installer (Kest.ini; in the installer also the
// language files and the uninstall record): sections and name=value lines, names compared
// without regard to ASCII letter case. Lines end in CR LF, CR or LF; a UTF-8 byte-order mark
// at the start is skipped.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TIniText {
  public:
    TIniText() = default;
    explicit TIniText(const std::string& text);

    /// The value, or fallback when the section or key is missing.
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = {}) const;
    /// Every name=value line of a section, in file order.
    std::vector<std::pair<std::string, std::string>> Section(const std::string& section) const;

  private:
    struct TLine {
        std::string Section, Name, Value;
    };
    std::vector<TLine> Lines;
};

/// ASCII case-insensitive equality.
bool SameText(const std::string& a, const std::string& b);
