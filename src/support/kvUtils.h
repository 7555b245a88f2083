// Console, message and system utilities: the centred error box, the operating-system
// record, temporary and Windows directories, the key wait and the program's own file.
#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

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

/// Screen rectangle: left, top, right, bottom in pixels.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};
TRect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
int32_t RectWidth(const TRect& r);
int32_t RectHeight(const TRect& r);
/// Shifts r, keeping its size, so that it stays within a screen of the given size;
/// a rectangle larger than the screen ends at the left or top edge.
void ClampToScreen(TRect& r, int32_t screenWidth, int32_t screenHeight);
/// Where a window of the given rectangle goes when centred in the work area (halves
/// rounded toward zero), kept within the screen.
TRect CenterRect(const TRect& work, const TRect& window, int32_t screenWidth, int32_t screenHeight);

void SetErrorCaption(const std::string& caption);
void SetMessageBoxFlags(uint32_t flags);
uint32_t MessageBoxFlags();

/// The caption of the error box: the set caption, or "Error" when none is set.
std::string ErrorBoxCaption();
void ShowError(const std::string& message);
/// A message box with the style bits of MessageBoxFlags, task-modal and the given flags,
/// centred in the work area by a one-shot hook that is gone when the box returns.
int CenteredMessageBox(Plat::Window owner, const std::string& caption, const std::string& text,
                       uint32_t flags);
int CenteredMessageBox(const std::string& caption, const std::string& text, uint32_t flags);
/// The centring hook's procedure: centres the first window activated, then unhooks.
intptr_t CenterHookProc(int code, intptr_t wParam, intptr_t lParam);
/// Moves a window, keeping its size, to the centre of the work area, within the screen.
void CenterWindow(Plat::Window w);

std::string GetTempDir();
/// The choice behind GetTempDir, from the platform's answers: the temporary path with a
/// trailing separator, unless it is only the current directory that Windows falls back
/// to (then "C:\Temp\", or the Windows directory's Temp on the 95/98 family).
std::string TempDirFrom(const std::string& tempPath, const std::string& currentDir,
                        const TOSVersion& os, const std::string& windowsDir, bool hasDrives);
std::string GetWindowsDir();
/// Waits for one key press and returns its character; raises EPlatformError when the
/// console cannot be read (standard input is not a console: then the message says so).
int WaitForKey();
/// True when unattended runs asked never to wait for a key: KEST_NO_WAIT=1, or CI set to
/// anything but the empty text (as CI services do).
bool KeyWaitSwitchedOff();
std::string ProgramFileName();
/// The directory of the program's executable, with trailing "\".
std::string ProgramDir();

/// Raises EPlatformError for a code ("Win32 Error.  Code: %d.\n%s").
[[noreturn]] void RaiseLastPlatformError(uint32_t code);

// Dynamic libraries by full path.
void* LoadDynLibrary(const std::string& fullPath);
void* GetDynProc(void* library, const char* name);
void FreeDynLibrary(void* library);
