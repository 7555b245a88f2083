// Builds packages with the real kestbuild from fixture projects and runs the real installer
// and uninstaller under Wine: the 32-bit programs where the machine runs 32-bit code, else
// the same sources built for 64-bit Windows under 64-bit Wine.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace InstallerKit {

struct TFile {
    std::string Name;  // relative path with "/" separators
    std::string Bytes;
};

struct TProject {
    std::vector<TFile> Data;
    std::string Password;
    std::string Title = "Kest Installer Test";
    std::string VolumeSize;    // KEST_VOLUME_SIZE for the build; empty: one volume
    std::string KestIniExtra;  // more [Config] lines
    std::string Languages = "ENU";
    std::vector<TFile> Presetup;  // more files of the presetup (license, language files)
    bool Uninstall = true;
};

struct TBuilt {
    std::string Dir;  // the project folder
    std::string Exe;  // Setup.exe
};

/// Builds the project in dir with kestbuild; fails the test when the build fails.
TBuilt Build(const std::string& dir, const TProject& project);

struct TRun {
    int Code = -1;
    std::string Out, Err;
};

/// Runs a Windows program under Wine with arguments (Linux paths already converted).
TRun RunWine(const std::string& exe, const std::vector<std::string>& args);
/// Runs Setup.exe with switches under WizardDriver.exe, which works through the steps in the
/// file steps; both run in the Wine that shows windows on $DISPLAY, for a user of the given
/// locale.
TRun RunWizard(const std::string& steps, const std::string& exe,
               const std::vector<std::string>& switches, const std::string& locale = "C.UTF-8");
/// Ends the Wine that shows windows with every program in it: it must not outlive the display
/// it was started on.
void EndWizardWine();
/// The Windows form of a Linux path (the Z: drive).
std::string WinPath(const std::string& path);

/// Every regular file below dir: relative name ("/" separators) -> bytes.
std::map<std::string, std::string> Snapshot(const std::string& dir);
/// The installer's private temporary folders (Kest*.tmp) in the Wine prefix, sorted.
std::vector<std::string> LeftoverTempDirs();
/// A value under the Uninstall key of the registration named title ("" when missing):
/// HKLM or HKCU, whichever holds it.
std::string RegistryValue(const std::string& title, const std::string& value);
/// Deletes that registration (test clean-up).
void DeleteRegistration(const std::string& title);

/// Bytes with a mix of patterns (binary, runs, text), reproducible from seed.
std::string Bytes(size_t size, unsigned seed);

}  // namespace InstallerKit
