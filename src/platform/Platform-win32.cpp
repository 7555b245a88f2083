// The Win32 backend: the ANSI API, with directory listings sorted so that output does not
// depend on the file system's own order. Calls that take file names use the wide API in
// the long form (WidePath), so that a path of more than MAX_PATH characters in the image is
// found and packed as on POSIX, not left out.
#include <windows.h>
// Names of the layer that windows.h turns into macros.
#undef AnsiToOem
#undef AnsiUpper
#undef CreateDirectory
#undef DeleteFile
#undef LoadLibrary
#undef MessageBox
#undef RemoveDirectory
#undef ReplaceFile
#undef SetConsoleTitle

#include <algorithm>
#include <atomic>
#include <vector>

#include "CodePage.h"
#include "Platform.h"

namespace Plat {

namespace {

bool Fail() {
    return false;
}

HANDLE H(Handle h) {
    return reinterpret_cast<HANDLE>(h);
}

uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

FILETIME ToFt(uint64_t v) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(v);
    ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return ft;
}

// --- Wide names ---------------------------------------------------------------------------

std::wstring ToWide(const std::string& ansi) {
    if (ansi.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return w;
}

// fits is false when the code page lacks a character of the name ("?" stands for it).
std::string FromWide(const wchar_t* wide, bool& fits) {
    BOOL usedDefault = FALSE;
    int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, "?", &usedDefault);
    std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, s.data(), n, "?", &usedDefault);
    s.resize(s.size() - 1);  // the terminating NUL
    fits = !usedDefault;
    return s;
}

std::wstring FullWidePath(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring buf(n + 1, L'\0');
    DWORD m = GetFullPathNameW(path.c_str(), n + 1, buf.data(), nullptr);
    if (m == 0 || m > n) return {};
    buf.resize(m);
    return buf;
}

// Beyond this length CreateDirectory already fails (room for an 8.3 name is kept).
constexpr size_t ShortPathLimit = MAX_PATH - 12;

// A name for the wide calls: a full path too long for them without it takes the "\\?\"
// form (UNC paths "\\?\UNC\server\share"), which the system passes on unparsed. Shorter
// names go as they are, so that relative names and device names keep their meaning.
std::wstring WidePath(const std::string& path) {
    std::wstring wide = ToWide(path);
    if (wide.size() < ShortPathLimit && path.size() < ShortPathLimit) {
        std::wstring full = FullWidePath(wide);
        if (full.size() < ShortPathLimit) return wide;
    }
    if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
    std::wstring full = FullWidePath(wide);
    if (full.empty()) return wide;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// --- Directory search -------------------------------------------------------------------

struct Search {
    std::vector<FindData> entries;
    size_t next = 0;
};

FindData FromWin32(const WIN32_FIND_DATAW& w) {
    FindData fd;
    fd.name = FromWide(w.cFileName, fd.nameFits);
    fd.attributes = w.dwFileAttributes;
    fd.size = Join(w.nFileSizeHigh, w.nFileSizeLow);
    fd.lastWrite = Join(w.ftLastWriteTime.dwHighDateTime, w.ftLastWriteTime.dwLowDateTime);
    return fd;
}

// --- Console ----------------------------------------------------------------------------

// Restores the console input mode when the key wait ends, on every path.
class ModeGuard {
  public:
    ModeGuard(HANDLE in, DWORD mode) : In(in), Mode(mode) {}
    ~ModeGuard() { SetConsoleMode(In, Mode); }
    ModeGuard(const ModeGuard&) = delete;
    ModeGuard& operator=(const ModeGuard&) = delete;

  private:
    HANDLE In;
    DWORD Mode;
};

bool IsKeyPress(const INPUT_RECORD& r) {
    if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) return false;
    WORD vk = r.Event.KeyEvent.wVirtualKeyCode;
    return vk != VK_SHIFT && vk != VK_CONTROL && vk != VK_MENU;
}

// --- Hooks and interrupts ---------------------------------------------------------------

HookProc gHookProc = nullptr;

LRESULT CALLBACK HookTrampoline(int code, WPARAM wParam, LPARAM lParam) {
    return gHookProc ? gHookProc(code, static_cast<intptr_t>(wParam), lParam) : 0;
}

std::atomic<void (*)()> gInterruptHandler{nullptr};
std::atomic<bool> gInterrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (gInterrupted.exchange(true)) return TRUE;
    if (void (*h)() = gInterruptHandler.load()) h();
    ExitProcess(0xC000013Au);  // STATUS_CONTROL_C_EXIT
    return TRUE;
}

std::string WithLength(const char* buf, DWORD n, DWORD cap) {
    return n == 0 || n >= cap ? std::string() : std::string(buf, n);
}

}  // namespace

uint32_t LastError() {
    return GetLastError();
}

std::string ErrorText(uint32_t code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : std::string();
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// --- File handles -----------------------------------------------------------------------

Handle OpenFile(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition,
                uint32_t attributes) {
    HANDLE h = CreateFileW(WidePath(name).c_str(), access, share, nullptr, disposition,
                           attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<Handle>(h);
}

bool CloseFile(Handle h) {
    return CloseHandle(H(h)) != 0;
}

bool ReadFile(Handle h, void* buf, uint32_t count, uint32_t& read) {
    DWORD n = 0;
    BOOL ok = ::ReadFile(H(h), buf, count, &n, nullptr);
    read = n;
    return ok != 0;
}

bool WriteFile(Handle h, const void* buf, uint32_t count, uint32_t& written) {
    DWORD n = 0;
    BOOL ok = ::WriteFile(H(h), buf, count, &n, nullptr);
    written = n;
    return ok != 0;
}

int64_t Seek(Handle h, int64_t offset, int origin) {
    LARGE_INTEGER dist, pos;
    dist.QuadPart = offset;
    if (!SetFilePointerEx(H(h), dist, &pos, static_cast<DWORD>(origin))) return -1;
    return pos.QuadPart;
}

int64_t FileSize(Handle h) {
    LARGE_INTEGER size;
    return GetFileSizeEx(H(h), &size) ? size.QuadPart : -1;
}

bool Truncate(Handle h) {
    return SetEndOfFile(H(h)) != 0;
}

bool GetLastWriteTime(Handle h, uint64_t& fileTime) {
    FILETIME ft;
    if (!GetFileTime(H(h), nullptr, nullptr, &ft)) return Fail();
    fileTime = Join(ft.dwHighDateTime, ft.dwLowDateTime);
    return true;
}

bool SetLastWriteTime(Handle h, uint64_t fileTime) {
    FILETIME ft = ToFt(fileTime);
    return SetFileTime(H(h), nullptr, nullptr, &ft) != 0;
}

// --- Directory search -------------------------------------------------------------------

Handle FindFirst(const std::string& mask, FindData& data) {
    std::string::size_type cut = mask.find_last_of("\\/:");
    std::string dir = cut == std::string::npos ? "" : mask.substr(0, cut + 1);
    std::string pattern = mask.substr(dir.size());
    if (pattern.empty()) {
        DWORD a = GetAttributes(dir);
        bool isDir = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
        SetLastError(isDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return InvalidHandle;
    }
    WIN32_FIND_DATAW w;
    if (pattern.find_first_of("*?") == std::string::npos) {
        // One name: no listing, so that per-file searches in big directories stay cheap.
        HANDLE h = FindFirstFileW(WidePath(mask).c_str(), &w);
        if (h == INVALID_HANDLE_VALUE) return InvalidHandle;
        ::FindClose(h);
        auto* s = new Search;
        s->entries.push_back(FromWin32(w));
        data = s->entries[s->next++];
        return reinterpret_cast<Handle>(s);
    }
    // The whole directory is read now, filtered by our own mask rules (the file system's
    // differ: short names, and Wine's own matching) and served sorted.
    HANDLE h = FindFirstFileW(WidePath(dir + "*").c_str(), &w);
    if (h == INVALID_HANDLE_VALUE) return InvalidHandle;
    auto* s = new Search;
    do {
        FindData fd = FromWin32(w);
        if (MatchesFindMask(pattern, fd.name)) s->entries.push_back(std::move(fd));
    } while (FindNextFileW(h, &w));
    DWORD err = GetLastError();
    ::FindClose(h);
    if (err != ERROR_NO_MORE_FILES || s->entries.empty()) {
        delete s;
        SetLastError(err != ERROR_NO_MORE_FILES ? err : ERROR_FILE_NOT_FOUND);
        return InvalidHandle;
    }
    std::sort(s->entries.begin(), s->entries.end(),
              [](const FindData& a, const FindData& b) { return FindOrderLess(a.name, b.name); });
    data = s->entries[s->next++];
    return reinterpret_cast<Handle>(s);
}

bool FindNext(Handle h, FindData& data) {
    auto* s = reinterpret_cast<Search*>(h);
    if (!s || h == InvalidHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (s->next >= s->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    data = s->entries[s->next++];
    return true;
}

void FindClose(Handle h) {
    if (h != InvalidHandle) delete reinterpret_cast<Search*>(h);
}

// --- Names and attributes -------------------------------------------------------------

uint32_t GetAttributes(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str());
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
    return SetFileAttributesW(WidePath(path).c_str(), attributes) != 0;
}

bool FileExists(const std::string& path) {
    DWORD a = GetAttributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool EntryExists(const std::string& path) {
    // Attributes of a link are its own: a dangling one has them too.
    return GetAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}

bool DeleteFile(const std::string& path) {
    return DeleteFileW(WidePath(path).c_str()) != 0;
}

bool CreateDirectory(const std::string& path) {
    return CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
}

bool CreatePrivateDirectory(const std::string& path) {
    return CreateDirectory(path);
}

bool RemoveDirectory(const std::string& path) {
    return RemoveDirectoryW(WidePath(path).c_str()) != 0;
}

bool HandleIdentity(Handle h, uint64_t& volume, uint64_t& index) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(H(h), &info)) return Fail();
    volume = info.dwVolumeSerialNumber;
    index = Join(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
}

bool FileIdentity(const std::string& path, uint64_t& volume, uint64_t& index) {
    HANDLE h = CreateFileW(WidePath(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    bool ok = HandleIdentity(reinterpret_cast<Handle>(h), volume, index);
    DWORD err = GetLastError();
    CloseHandle(h);
    SetLastError(err);
    return ok;
}

std::string FullPath(const std::string& path) {
    // The wide call: the ANSI one gives nothing for a result longer than MAX_PATH.
    if (path.empty()) return {};
    const std::wstring full = FullWidePath(ToWide(path));
    bool fits = true;
    return full.empty() ? std::string() : FromWide(full.c_str(), fits);
}

std::string::size_type LastDelimiter(const std::string& path) {
    return path.find_last_of("\\/:");
}

bool CaseInsensitiveFileNames() {
    return true;
}

// --- Well-known directories -------------------------------------------------------------

std::string CurrentDir() {
    DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n == 0) return {};
    std::vector<char> buf(n + 1);
    DWORD m = GetCurrentDirectoryA(n + 1, buf.data());
    return WithLength(buf.data(), m, n + 1);
}

std::string TempPath() {
    char buf[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buf, buf);
    return WithLength(buf, n, sizeof buf);
}

std::string WindowsDir() {
    char buf[MAX_PATH + 1];
    UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    return WithLength(buf, n, sizeof buf);
}

std::string ProgramFile() {
    char buf[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return WithLength(buf, n, MAX_PATH);
}

bool DiskFreeBytes(const std::string& dir, uint64_t& bytes) {
    // Looked up at run time: the oldest systems do not have it.
    using Query = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    auto query = k32 ? reinterpret_cast<Query>(
                           reinterpret_cast<void*>(::GetProcAddress(k32, "GetDiskFreeSpaceExA")))
                     : nullptr;
    if (!query) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    ULARGE_INTEGER avail, total, free;
    if (!query(dir.c_str(), &avail, &total, &free)) return false;
    bytes = avail.QuadPart;
    return true;
}

// --- Time -------------------------------------------------------------------------------

LocalTime GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

uint32_t FileTimeToDosTime(uint64_t fileTime) {
    constexpr uint32_t First = (1u << 21) | (1u << 16);
    constexpr uint32_t Last =
        (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    FILETIME utc = ToFt(fileTime), local;
    WORD date, time;
    if (!FileTimeToLocalFileTime(&utc, &local)) return First;
    if (!FileTimeToDosDateTime(&local, &date, &time)) {
        SYSTEMTIME st;
        return FileTimeToSystemTime(&local, &st) && st.wYear > 2107 ? Last : First;
    }
    return (static_cast<uint32_t>(date) << 16) | time;
}

// --- Operating system -------------------------------------------------------------------

OSInfo GetOSInfo() {
    OSVERSIONINFOA v;
    ZeroMemory(&v, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = GetVersionExA(&v);
#pragma GCC diagnostic pop
    if (!ok) return {2, 5, 1, 0, {}};
    return {v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber, v.szCSDVersion};
}

// --- Console ----------------------------------------------------------------------------

namespace {

bool WriteAllTo(HANDLE out, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
        if (!::WriteFile(out, text.data() + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

// Console text ends its lines in CR LF on Windows, as every other console program's does;
// callers write "\n" on both platforms.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

}  // namespace

bool WriteStdout(const std::string& text) {
    return WriteAllTo(GetStdHandle(STD_OUTPUT_HANDLE), WithCrLf(text));
}

bool WriteStderr(const std::string& text) {
    return WriteAllTo(GetStdHandle(STD_ERROR_HANDLE), WithCrLf(PrintableText(text, true)));
}

bool StdoutIsConsole() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StdinIsConsole() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool CursorToLineAbove() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info) || info.dwCursorPosition.Y == 0) return false;
    COORD pos = {0, static_cast<SHORT>(info.dwCursorPosition.Y - 1)};
    return SetConsoleCursorPosition(out, pos) != 0;
}

void SetConsoleTitle(const std::string& title) {
    SetConsoleTitleA(title.c_str());
}

bool WaitKey(int& character) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (!FlushConsoleInputBuffer(in) || !GetConsoleMode(in, &mode)) return false;
    ModeGuard restore(in, mode);
    if (!SetConsoleMode(in, 0)) return false;
    INPUT_RECORD r;
    do {
        DWORD n = 0;
        if (!ReadConsoleInputA(in, &r, 1, &n)) return false;
        if (n == 0) continue;
    } while (!IsKeyPress(r));
    character = static_cast<unsigned char>(r.Event.KeyEvent.uChar.AsciiChar);
    return true;
}

int MessageBox(const std::string& caption, const std::string& text, uint32_t flags) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

int MessageBoxOwned(Window owner, const std::string& caption, const std::string& text,
                    uint32_t flags) {
    return MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), flags);
}

Window LastActivePopup(Window owner) {
    return reinterpret_cast<Window>(GetLastActivePopup(reinterpret_cast<HWND>(owner)));
}

Handle SetCbtHook(HookProc proc) {
    gHookProc = proc;
    HHOOK h = SetWindowsHookExA(WH_CBT, HookTrampoline, nullptr, GetCurrentThreadId());
    return reinterpret_cast<Handle>(h);
}

intptr_t CallNextHook(Handle hook, int code, intptr_t wParam, intptr_t lParam) {
    return CallNextHookEx(reinterpret_cast<HHOOK>(hook), code, static_cast<WPARAM>(wParam), lParam);
}

bool RemoveHook(Handle hook) {
    return UnhookWindowsHookEx(reinterpret_cast<HHOOK>(hook)) != 0;
}

bool GetWindowRect(Window w, Rect& r) {
    RECT rc;
    if (!::GetWindowRect(reinterpret_cast<HWND>(w), &rc)) return false;
    r = {rc.left, rc.top, rc.right, rc.bottom};
    return true;
}

bool MoveWindowTo(Window w, int32_t x, int32_t y) {
    return SetWindowPos(reinterpret_cast<HWND>(w), nullptr, x, y, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
}

void GetScreenSize(int32_t& width, int32_t& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

Rect GetWorkArea() {
    RECT rc = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
    return {rc.left, rc.top, rc.right, rc.bottom};
}

void OnInterrupt(void (*handler)()) {
    gInterruptHandler.store(handler);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// --- Version resources ------------------------------------------------------------------

bool FileVersion(const std::string& path, uint32_t& ms, uint32_t& ls) {
    DWORD ignored = 0;
    const std::wstring wide = WidePath(path);
    DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<char> buf(size + 1);
    GetFileVersionInfoW(wide.c_str(), 0, size, buf.data());
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(buf.data(), L"\\", reinterpret_cast<void**>(&info), &len) || !info ||
        len < sizeof(VS_FIXEDFILEINFO))
        return false;
    ms = info->dwFileVersionMS;
    ls = info->dwFileVersionLS;
    return true;
}

// --- Dynamic libraries ------------------------------------------------------------------

void* LoadLibrary(const std::string& fullPath) {
    return LoadLibraryA(fullPath.c_str());
}

void* GetProcAddress(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibrary(void* library) {
    if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

// --- ANSI code page -----------------------------------------------------------------------

std::string AnsiUpper(const std::string& s) {
    std::string u = s;
    if (!u.empty()) CharUpperBuffA(u.data(), static_cast<DWORD>(u.size()));
    return u;
}

int AnsiCompareIgnoreCase(const std::string& a, const std::string& b) {
    int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                           static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
    return r == 0 ? 0 : r - CSTR_EQUAL;
}

std::string AnsiToOem(const std::string& s) {
    std::string o = s;
    if (!o.empty()) CharToOemBuffA(s.data(), o.data(), static_cast<DWORD>(o.size()));
    return o;
}

std::string CommandLineText(const char* argument) {
    return argument ? argument : "";
}

namespace Backend {

uint32_t ChosenCodePage() {
    return GetACP();
}

// Bytes that do not stand alone (lead bytes of a double-byte code page) stay undefined.
bool ReadCodePage(uint32_t codePage, char32_t (&upperHalf)[128]) {
    for (int i = 0; i < 128; ++i) {
        const char in = static_cast<char>(0x80 + i);
        wchar_t out[2] = {};
        const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
        upperHalf[i] = n == 1 ? char32_t(out[0]) : 0;
    }
    return true;
}

}  // namespace Backend

}  // namespace Plat
