// Console, message and system utilities: the centred error box, the operating-system
// record, temporary and Windows directories, the key wait and the program's own file.
#pragma once

#include <cstdint>
#include <string>

enum TOSKind : uint8_t { osWin32s, osWin95, osWin98, osWinNT, osWin2000 };

struct TOSVersion {
    TOSKind Kind = osWin32s;
    int32_t Major = 0;
    int32_t Minor = 0;
    std::string VersionText;
    int32_t Build = 0;
    std::string ServicePack;
    std::string Description;
};

/// The running system, filled once at start-up.
const TOSVersion& OSVersion();
TOSVersion GetOSVersion();
/// The record for given platform data (the pure part of GetOSVersion).
TOSVersion MakeOSVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                         const std::string& servicePack);

void SetErrorCaption(const std::string& caption);
void SetMessageBoxFlags(uint32_t flags);
uint32_t MessageBoxFlags();

void ShowError(const std::string& message);
int CenteredMessageBox(const std::string& caption, const std::string& text, uint32_t flags);

std::string GetTempDir();
std::string GetWindowsDir();
/// Waits for one key press and returns its character; raises EPlatformError when the
/// console cannot be read (standard input is not a console).
int WaitForKey();
std::string ProgramFileName();
/// The directory of the program's executable, with trailing "\".
std::string ProgramDir();

/// Raises EPlatformError for a code ("Win32 Error.  Code: %d.\n%s").
[[noreturn]] void RaiseLastPlatformError(uint32_t code);

// Dynamic libraries by full path.
void* LoadDynLibrary(const std::string& fullPath);
void* GetDynProc(void* library, const char* name);
void FreeDynLibrary(void* library);
