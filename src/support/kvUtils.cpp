#include "kvUtils.h"

#include <cstdio>
#include <cstdlib>

#include "Platform.h"
#include "kvErrors.h"
#include "kvFileUtils.h"

namespace {

constexpr uint32_t MbIconError = 16;
constexpr uint32_t MbTaskModal = 8192;

constexpr int HcbtActivate = 5;

std::string ErrorCaptionText;
uint32_t MessageBoxFlagsValue = 0;
Plat::Window MessageBoxOwner = 0;
Plat::Handle HookHandle = 0;

const char* KindName(TOSKind kind) {
    static const char* const names[] = {"32s", "95", "98", "NT", "2000"};
    return names[kind];
}

TOSKind KindOf(uint32_t platformId, uint32_t major, uint32_t minor) {
    switch (platformId) {
        case 1:
            return major > 4 || (major == 4 && minor >= 10) ? osWin98 : osWin95;
        case 2:
            return major > 4 ? osWin2000 : osWinNT;
        default:
            // Win32s, and any identifier that a later system may report: the record
            // still describes it, just without a kind of its own.
            return platformId == 0 ? osWin32s : osWin2000;
    }
}

std::string TrimControlAndSpace(const std::string& s) {
    size_t first = 0;
    size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= 32) --last;
    return s.substr(first, last - first);
}

std::string Format(const char* fmt, auto... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::snprintf(out.data(), out.size() + 1, fmt, args...);
    return out;
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// Filled before the program's main work starts; read-only afterwards.
[[maybe_unused]] const TOSVersion& StartupOSVersion = OSVersion();

}  // namespace

TOSVersion MakeOSVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                         const std::string& servicePack) {
    TOSVersion v;
    v.Kind = KindOf(platformId, major, minor);
    v.Major = static_cast<int32_t>(major);
    v.Minor = static_cast<int32_t>(minor);
    v.VersionText =
        minor == 0 ? Format("%d.%d", v.Major, v.Minor) : Format("%d.%.2d", v.Major, v.Minor);
    v.Build = static_cast<int32_t>(platformId == 1 ? (build & 0xFFFFu) : build);
    v.ServicePack = servicePack;
    v.Description =
        TrimControlAndSpace(Format("Windows %s %s.%.4d %s", KindName(v.Kind), v.VersionText.c_str(),
                                   v.Build, servicePack.c_str()));
    return v;
}

TOSVersion GetOSVersion() {
    const Plat::OSInfo info = Plat::GetOSInfo();
    return MakeOSVersion(info.platformId, info.major, info.minor, info.build, info.servicePack);
}

const TOSVersion& OSVersion() {
    static const TOSVersion version = GetOSVersion();
    return version;
}

void SetErrorCaption(const std::string& caption) {
    ErrorCaptionText = caption;
}
void SetMessageBoxFlags(uint32_t flags) {
    MessageBoxFlagsValue = flags;
}
uint32_t MessageBoxFlags() {
    return MessageBoxFlagsValue;
}

std::string ErrorBoxCaption() {
    return ErrorCaptionText.empty() ? "Error" : ErrorCaptionText;
}

void ShowError(const std::string& message) {
    CenteredMessageBox(Plat::LastActivePopup(MessageBoxOwner), ErrorBoxCaption(), message,
                       MbIconError);
}

namespace {

void RemoveCenterHook() {
    if (HookHandle == 0) return;
    Plat::RemoveHook(HookHandle);
    HookHandle = 0;
}

/// Removes the hook when the box returns, also when it returns by an exception.
class THookScope {
  public:
    THookScope() = default;
    ~THookScope() { RemoveCenterHook(); }
    THookScope(const THookScope&) = delete;
    THookScope& operator=(const THookScope&) = delete;
};

}  // namespace

intptr_t CenterHookProc(int code, intptr_t wParam, intptr_t lParam) {
    // Only the first activation, which is the message box's own, is handled.
    if (code != HcbtActivate) return 0;
    CenterWindow(static_cast<Plat::Window>(wParam));
    const intptr_t result = Plat::CallNextHook(HookHandle, code, wParam, lParam);
    RemoveCenterHook();
    return result;
}

int CenteredMessageBox(Plat::Window owner, const std::string& caption, const std::string& text,
                       uint32_t flags) {
    THookScope scope;
    HookHandle = Plat::SetCbtHook(CenterHookProc);
    return Plat::MessageBoxOwned(owner, caption, text, MessageBoxFlagsValue | MbTaskModal | flags);
}

int CenteredMessageBox(const std::string& caption, const std::string& text, uint32_t flags) {
    return CenteredMessageBox(0, caption, text, flags);
}

void CenterWindow(Plat::Window w) {
    Plat::Rect r{};
    if (!Plat::GetWindowRect(w, r)) return;
    const Plat::Rect a = Plat::GetWorkArea();
    int32_t sw = 0;
    int32_t sh = 0;
    Plat::GetScreenSize(sw, sh);
    const TRect target = CenterRect(MakeRect(a.left, a.top, a.right, a.bottom),
                                    MakeRect(r.left, r.top, r.right, r.bottom), sw, sh);
    Plat::MoveWindowTo(w, target.Left, target.Top);
}

TRect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return TRect{left, top, right, bottom};
}

int32_t RectWidth(const TRect& r) {
    return r.Right - r.Left;
}
int32_t RectHeight(const TRect& r) {
    return r.Bottom - r.Top;
}

namespace {

void OffsetRect(TRect& r, int32_t dx, int32_t dy) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
}

}  // namespace

void ClampToScreen(TRect& r, int32_t screenWidth, int32_t screenHeight) {
    if (r.Right > screenWidth) OffsetRect(r, screenWidth - r.Right, 0);
    if (r.Left < 0) OffsetRect(r, -r.Left, 0);
    if (r.Bottom > screenHeight) OffsetRect(r, 0, screenHeight - r.Bottom);
    if (r.Top < 0) OffsetRect(r, 0, -r.Top);
}

TRect CenterRect(const TRect& work, const TRect& window, int32_t screenWidth,
                 int32_t screenHeight) {
    const int32_t w = RectWidth(window);
    const int32_t h = RectHeight(window);
    const int32_t x = (RectWidth(work) - w) / 2;
    const int32_t y = (RectHeight(work) - h) / 2;
    TRect target = MakeRect(x, y, x + w, y + h);
    OffsetRect(target, work.Left, work.Top);
    ClampToScreen(target, screenWidth, screenHeight);
    return target;
}

std::string TempDirFrom(const std::string& tempPath, const std::string& currentDir,
                        const TOSVersion& os, const std::string& windowsDir, bool hasDrives) {
    const std::string s = AddBackslash(tempPath);
    // Windows falls back to the current directory when no temporary directory is
    // configured; a platform without drive letters has no such fallback, and
    // "C:\Temp\" would only name a stray folder in the current directory there.
    if (!hasDrives || !SameIgnoringAsciiCase(s, AddBackslash(currentDir))) return s;
    if (os.Kind == osWin95 || os.Kind == osWin98) return AddBackslash(windowsDir) + "Temp\\";
    return "C:\\Temp\\";
}

std::string GetTempDir() {
    return TempDirFrom(Plat::TempPath(), Plat::CurrentDir(), OSVersion(), GetWindowsDir(),
                       HasDriveLetters());
}

std::string GetWindowsDir() {
    return Plat::WindowsDir();
}

void RaiseLastPlatformError(uint32_t code) {
    const std::string message = code == 0
                                    ? std::string("A Win32 API function failed")
                                    : Format("Win32 Error.  Code: %d.\n%s", static_cast<int>(code),
                                             Plat::ErrorText(code).c_str());
    throw EPlatformError(message, code);
}

int WaitForKey() {
    int character = 0;
    if (Plat::WaitKey(character)) return character;
    const uint32_t code = Plat::LastError();
    // "The handle is invalid" would leave a user of a pipe or a CI job guessing.
    if (!Plat::StdinIsConsole())
        throw EPlatformError(
            "There is no console to wait on for a key: standard input is not a console.", code);
    RaiseLastPlatformError(code);
}

bool KeyWaitSwitchedOff() {
    const char* noWait = std::getenv("KEST_NO_WAIT");
    const char* ci = std::getenv("CI");
    return (noWait && std::string(noWait) == "1") || (ci && *ci);
}

std::string ProgramFileName() {
    return Plat::ProgramFile();
}

std::string ProgramDir() {
    const std::string file = ProgramFileName();
    const auto pos = Plat::LastDelimiter(file);
    return pos == std::string::npos ? std::string() : file.substr(0, pos + 1);
}

void* LoadDynLibrary(const std::string& fullPath) {
    return Plat::LoadLibrary(fullPath);
}
void* GetDynProc(void* library, const char* name) {
    return Plat::GetProcAddress(library, name);
}
void FreeDynLibrary(void* library) {
    if (library) Plat::FreeLibrary(library);
}
