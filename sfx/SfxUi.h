// What the installation asks and tells the user: nothing in silent mode, a progress window
// with message boxes otherwise. The engine runs on a worker thread; the window on the main
// thread.
#pragma once

#include <cstdint>
#include <string>

#include "SfxIni.h"

class TUi {
  public:
    virtual ~TUi() = default;
    virtual bool Silent() const = 0;
    /// Sets the window's title once Kest.ini is read.
    virtual void SetTitle(const std::string& title) = 0;
    virtual void Progress(uint64_t done, uint64_t total, const std::string& file) = 0;
    /// Asks for the password; false when the user gives up. again: the last one was wrong.
    virtual bool AskPassword(std::string& password, bool again) = 0;
    /// Asks for a missing volume; false when the user gives up.
    virtual bool AskForVolume(const std::string& name) = 0;
    /// The closing message.
    virtual void Tell(const std::string& text, bool error) = 0;
    /// True once the user has confirmed a cancel.
    virtual bool CancelRequested() = 0;
};

/// The texts of the installer: the chosen language file's [Strings], else English.
class TTexts {
  public:
    /// Loads <dir>\<code>.lng (ENU when code is empty or missing there).
    void Load(const std::string& dir, const std::string& code);
    std::string operator()(const char* key) const;
    const std::string& Code() const { return Language; }

  private:
    std::string Language = "ENU";
    TIniText Ini;
};

TTexts& Texts();

TUi* MakeSilentUi();
/// The window; Run starts work on a thread of its own and returns its exit code once the
/// window closes.
class TWindowUi;
TWindowUi* MakeWindowUi();
TUi* AsUi(TWindowUi* ui);
int RunWithWindow(TWindowUi* ui, int (*work)());

/// Writes text to standard error when the installer has one (a console or a pipe).
void WriteStdErr(const std::string& text);
