// The uninstall record (UnKest.dat beside UnKest.exe in the target folder) and the
// registration under the Uninstall key, shared by the installer and the uninstaller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr const char* UninstallRecordName = "UnKest.dat";
/// The texts of the language chosen at install time, beside the uninstaller.
constexpr const char* UninstallTextsName = "UnKest.lng";

struct TUninstallRecord {
    std::string Title;
    std::string Dir;                 // the target folder
    std::string Language;            // the language chosen at install time
    std::string Root;                // HKLM or HKCU, where the registration is
    std::string Key;                 // the registration's key below the root
    std::vector<std::string> Files;  // full paths of every file installed
    std::vector<std::string> Dirs;   // full paths of the folders created, outermost first
    uint64_t Size = 0;               // bytes installed
};

std::string FormatRecord(const TUninstallRecord& record);
bool ParseRecord(const std::string& text, TUninstallRecord& record);

/// Registers the installation under the machine's Uninstall key when the process may write
/// there, else under the current user's; fills Root and Key. False with a message.
bool Register(TUninstallRecord& record, std::string& error);
/// Removes the registration; true when it is gone.
bool Unregister(const TUninstallRecord& record);
