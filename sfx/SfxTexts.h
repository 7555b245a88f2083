// The texts that the installer and the uninstaller show: a language file's [Strings] (in
// the file's own code page, held here as UTF-8), else the English built in from ENU.lng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PkgIni.h"

struct TLanguage {
    std::string Code;  // the file's name without ".lng": ENU, DEU, ...
    std::string Name;  // its own name for it (UTF-8)
};

class TTexts {
  public:
    /// Loads <dir>\<code>.lng; ENU, then the built-in English, when that file is missing.
    void Load(const std::string& dir, const std::string& code);
    /// Loads one language file by its path; false when it cannot be read.
    bool LoadFile(const std::string& path, const std::string& code);
    /// The text of key (UTF-8), line breaks written "\r\n" in the file made real.
    std::string operator()(const char* key) const;
    /// The text of key with its %s filled in order by the values (UTF-8).
    std::string operator()(const char* key, const std::string& a, const std::string& b = {}) const;
    const std::string& Code() const { return Language; }
    /// The file the texts came from ("" for the built-in English).
    const std::string& File() const { return Path; }
    unsigned CodePage() const { return Page; }
    /// The language's own name for itself ([Language] Name=).
    std::string Name() const { return Ini.Get("Language", "Name"); }

  private:
    std::string Language = "ENU";
    std::string Path;
    unsigned Page = 1252;
    TIniText Ini;
};

TTexts& Texts();

/// The language files in dir, sorted by code.
std::vector<TLanguage> FindLanguages(const std::string& dir);
/// The language to start with: requested when carried, else the user's UI language when
/// carried, else ENU when carried, else the first one ("" when there is none).
std::string PreferredLanguage(const std::vector<TLanguage>& languages,
                              const std::string& requested);

/// Text of a code page (or UTF-8 when it is valid UTF-8 and page is 0) as UTF-8.
std::string ToUtf8(const std::string& text, unsigned page);
/// Text in the system's ANSI code page (file names, system messages) as UTF-8.
std::string AnsiToUtf8(const std::string& text);
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
/// UTF-16 as the ANSI code page; false when a character has no place in it.
bool WideToAnsi(const std::wstring& wide, std::string& ansi);

/// A size for people: "512 KB", "37 MB", "1.5 GB".
std::string SizeText(uint64_t bytes);
