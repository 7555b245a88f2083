// What the installation asks and tells the user: nothing in silent mode, the wizard
// otherwise (SfxWizard). The engine runs on a worker thread; the windows on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SfxTexts.h"

/// What the wizard's pages ask before anything is written. Strings are ANSI, as the
/// engine's are, unless said otherwise.
struct TSetupChoice {
    std::string Title;                 // Kest.ini's Title (ANSI)
    std::string PresetupDir;           // where the language files are
    std::vector<TLanguage> Languages;  // the language files carried
    std::string Language;              // in: preselected; out: chosen
    bool LanguageGiven = false;        // /LANG= named a carried language: no language page
    std::string License;               // the license text (UTF-8); empty: no license page
    std::string PasswordHash;          // empty: the package is not protected
    bool PasswordKnown = false;        // in: /PASSWORD= was right; no password page
    std::string Password;              // in: /PASSWORD=; out: the right password
    std::string Folder;                // in: the default; out: the chosen folder, full path
    uint64_t Required = 0;             // bytes to install
    bool Elevate = false;              // out: the folder needs administrator rights
};

enum class TOutcome { Installed, Failed, Cancelled };

class TUi {
  public:
    virtual ~TUi() = default;
    virtual bool Silent() const = 0;
    /// Runs the pages before the installation; false when the user cancels.
    virtual bool Choose(TSetupChoice& choice) = 0;
    /// The progress of the installation; file is a stored name (ANSI).
    virtual void Progress(uint64_t done, uint64_t total, const std::string& file) = 0;
    /// Asks for a missing volume; false when the user gives up.
    virtual bool AskForVolume(const std::string& name) = 0;
    /// The outcome (text in UTF-8), shown until the user has read it.
    virtual void Tell(const std::string& text, TOutcome outcome) = 0;
    /// True once the user has confirmed a cancel.
    virtual bool CancelRequested() = 0;
};

TUi* MakeSilentUi();

/// Writes text to standard error when the program has one (a console or a pipe).
void WriteStdErr(const std::string& text);
