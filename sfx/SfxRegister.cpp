#include "SfxRegister.h"

#include <windows.h>

#include "PkgIni.h"

namespace {

constexpr const char* UninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

HKEY RootKey(const std::string& root) {
    return root == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Backslashes would make a key path of the title.
std::string KeyName(const std::string& title) {
    std::string name = title.empty() ? "KestBuild installation" : title;
    for (char& c : name)
        if (c == '\\' || static_cast<unsigned char>(c) < 32) c = '_';
    return name;
}

bool SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

bool WriteValues(HKEY key, const TUninstallRecord& r) {
    const std::string exe = "\"" + r.Dir + "\\UnKest.exe\"";
    const uint64_t kib = (r.Size + 1023) / 1024;
    return SetString(key, "DisplayName", r.Title) && SetString(key, "UninstallString", exe) &&
           SetString(key, "QuietUninstallString", exe + " /S") &&
           SetString(key, "InstallLocation", r.Dir) &&
           SetNumber(key, "EstimatedSize", kib > 0xFFFFFFFF ? 0xFFFFFFFF : DWORD(kib)) &&
           SetNumber(key, "NoModify", 1) && SetNumber(key, "NoRepair", 1);
}

}  // namespace

std::string FormatRecord(const TUninstallRecord& r) {
    std::string text = "[Uninstall]\r\nTitle=" + r.Title + "\r\nDir=" + r.Dir +
                       "\r\nLanguage=" + r.Language + "\r\nRoot=" + r.Root + "\r\nKey=" + r.Key +
                       "\r\nSize=" + std::to_string(r.Size) + "\r\n[Files]\r\n";
    for (size_t i = 0; i < r.Files.size(); ++i)
        text += std::to_string(i + 1) + "=" + r.Files[i] + "\r\n";
    text += "[Dirs]\r\n";
    for (size_t i = 0; i < r.Dirs.size(); ++i)
        text += std::to_string(i + 1) + "=" + r.Dirs[i] + "\r\n";
    return text;
}

bool ParseRecord(const std::string& text, TUninstallRecord& r) {
    const TIniText ini(text);
    r.Title = ini.Get("Uninstall", "Title");
    r.Dir = ini.Get("Uninstall", "Dir");
    r.Language = ini.Get("Uninstall", "Language");
    r.Root = ini.Get("Uninstall", "Root");
    r.Key = ini.Get("Uninstall", "Key");
    r.Size = std::strtoull(ini.Get("Uninstall", "Size").c_str(), nullptr, 10);
    for (const auto& line : ini.Section("Files")) r.Files.push_back(line.second);
    for (const auto& line : ini.Section("Dirs")) r.Dirs.push_back(line.second);
    return !r.Dir.empty();
}

bool Register(TUninstallRecord& r, std::string& error) {
    r.Key = UninstallKey + KeyName(r.Title);
    for (const char* root : {"HKLM", "HKCU"}) {
        HKEY key;
        if (RegCreateKeyExA(RootKey(root), r.Key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            continue;
        const bool ok = WriteValues(key, r);
        RegCloseKey(key);
        if (ok) {
            r.Root = root;
            return true;
        }
        RegDeleteKeyA(RootKey(root), r.Key.c_str());
    }
    error = "cannot register the uninstaller under the Uninstall key " + r.Key;
    return false;
}

bool Unregister(const TUninstallRecord& r) {
    if (r.Key.empty()) return true;
    const LONG result = RegDeleteKeyA(RootKey(r.Root), r.Key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
