// The operating-system services that the support library needs, and nothing more.
// One header, one backend per platform (Platform-win32.cpp, Platform-posix.cpp).
// Only the support library (src/support) calls it.
//
// Paths are byte strings in the ANSI code page (AnsiCodePage; the POSIX backend converts
// them to and from the file system's UTF-8 at each system call, so that stored names are
// the same bytes on both platforms); callers compose them with "\", and
// every function accepts "\" and "/" alike. Paths that this layer returns (FullPath,
// CurrentDir, TempPath, WindowsDir, ProgramFile) use "\" on both platforms. Values and
// codes follow the Win32 API, so that code above this layer is the same on both platforms.
//
// POSIX: there are no drive parts; a path component that does not exist with its exact
// spelling is matched case-insensitively in its directory (the byte-wise smallest match
// when several exist).
#pragma once

#include <cstdint>
#include <string>

#include "PeImage.h"

namespace Plat {

using Handle = intptr_t;
constexpr Handle InvalidHandle = -1;

// Access, sharing and creation values of CreateFileA.
constexpr uint32_t GenericRead = 0x80000000u;
constexpr uint32_t GenericWrite = 0x40000000u;
constexpr uint32_t ShareRead = 1;
constexpr uint32_t ShareWrite = 2;
constexpr uint32_t CreateNew = 1;
constexpr uint32_t CreateAlways = 2;
constexpr uint32_t OpenExisting = 3;
constexpr uint32_t OpenAlways = 4;

// Attribute bits.
constexpr uint32_t AttrReadOnly = 1;
constexpr uint32_t AttrHidden = 2;
constexpr uint32_t AttrSystem = 4;
constexpr uint32_t AttrVolumeLabel = 8;
constexpr uint32_t AttrDirectory = 16;
constexpr uint32_t AttrArchive = 32;
/// Neither a regular file nor a directory: a FIFO, socket or device (POSIX). Opening a FIFO
/// may block and reading a device may never end, so such entries are never packed.
constexpr uint32_t AttrDevice = 64;
constexpr uint32_t AttrNormal = 128;
/// A symbolic link (POSIX) or reparse point (Windows): with AttrDirectory, a link to a
/// directory, which RemoveDirectory removes without touching what it points to.
constexpr uint32_t AttrReparsePoint = 0x400;
constexpr uint32_t InvalidAttributes = 0xFFFFFFFFu;

// Error codes as the Win32 API gives them.
constexpr uint32_t ErrFileNotFound = 2;
constexpr uint32_t ErrPathNotFound = 3;
constexpr uint32_t ErrAccessDenied = 5;
constexpr uint32_t ErrNoMoreFiles = 18;
constexpr uint32_t ErrInvalidHandle = 6;
constexpr uint32_t ErrSharingViolation = 32;
constexpr uint32_t ErrFileExists = 80;
constexpr uint32_t ErrDiskFull = 112;
constexpr uint32_t ErrDirNotEmpty = 145;
constexpr uint32_t ErrAlreadyExists = 183;

/// The error code of the last failed call of this layer on this thread.
uint32_t LastError();
/// The system's text for an error code (empty when there is none).
std::string ErrorText(uint32_t code);

// --- File handles -------------------------------------------------------------------
/// CreateFileA semantics. A writable open with sharing that excludes writers keeps other
/// writers out (on POSIX with an advisory exclusive lock; a second writer fails with
/// ErrSharingViolation, and CreateAlways truncates only once the lock is held). Opening a
/// directory, or a read-only file for writing, fails with ErrAccessDenied; CreateNew on an
/// existing name fails with ErrFileExists. InvalidHandle on failure.
Handle OpenFile(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition,
                uint32_t attributes);
bool CloseFile(Handle h);
/// Reads up to count bytes; false on a read error (0 bytes at end of file is success).
bool ReadFile(Handle h, void* buf, uint32_t count, uint32_t& read);
bool WriteFile(Handle h, const void* buf, uint32_t count, uint32_t& written);
/// Moves the file pointer (origin 0 = begin, 1 = current, 2 = end); the new position, or -1.
int64_t Seek(Handle h, int64_t offset, int origin);
/// The file's size in bytes, or -1.
int64_t FileSize(Handle h);
/// Cuts the file at the current position (SetEndOfFile).
bool Truncate(Handle h);
/// Last-write time in FILETIME units (100 ns since 1601-01-01 UTC).
bool GetLastWriteTime(Handle h, uint64_t& fileTime);
bool SetLastWriteTime(Handle h, uint64_t fileTime);

// --- Directory search -----------------------------------------------------------------
struct FindData {
    std::string name;
    /// False when the file system's name has characters that the ANSI code page lacks;
    /// name then holds "?" in their place and opens nothing.
    bool nameFits = true;
    uint32_t attributes = 0;
    uint64_t size = 0;
    uint64_t lastWrite = 0;  // FILETIME units, UTC
};
/// Starts a search over a mask whose last component may hold "*" and "?" (Win32 rules,
/// "*.*" matching every name). Entries come sorted by their upper-cased names, "." and
/// ".." first where the directory has them; both backends apply MatchesFindMask themselves
/// (no 8.3 short-name matches). A mask without wildcards looks up that one name (as the
/// directory spells it) without listing the directory. InvalidHandle and LastError() 2 (no
/// match) or 3 (no such directory) on failure.
Handle FindFirst(const std::string& mask, FindData& data);
/// The next entry; false with LastError() 18 at the end.
bool FindNext(Handle h, FindData& data);
void FindClose(Handle h);
/// Whether a name matches a search mask under the Win32 rules (ASCII case folded): "?"
/// also matches nothing before a dot or at the end, "*." matches names without a dot.
bool MatchesFindMask(const std::string& mask, const std::string& name);
/// The listing order: "." and ".." first, then by upper-cased name (ASCII fold, byte order).
bool FindOrderLess(const std::string& a, const std::string& b);

// --- Names and attributes -------------------------------------------------------------
uint32_t GetAttributes(const std::string& path);  // InvalidAttributes when missing
bool SetAttributes(const std::string& path, uint32_t attributes);
/// True when the name exists and is not a directory.
bool FileExists(const std::string& path);
/// True when anything has that name: a file, a directory or a link, a dangling one too.
bool EntryExists(const std::string& path);
/// Gives a file a new name, replacing whatever had that name (a link is replaced, never
/// written through). Both names on one volume.
bool ReplaceFile(const std::string& from, const std::string& to);
/// Fails with ErrAccessDenied on a read-only file or a directory; a link is removed, never
/// its target.
bool DeleteFile(const std::string& path);
/// Fails with ErrAlreadyExists when the name exists, ErrPathNotFound without a parent.
bool CreateDirectory(const std::string& path);
/// As CreateDirectory, but only the caller may enter it (POSIX mode 0700; Windows: the
/// default security of the caller's temporary directory). For the build directory.
bool CreatePrivateDirectory(const std::string& path);
/// Removes an empty directory, or a link to a directory (not what it points to).
bool RemoveDirectory(const std::string& path);
/// An identity of the file or directory a path names (links followed): two paths name the
/// same object when both numbers match. Lets a walk avoid entering a directory twice.
bool FileIdentity(const std::string& path, uint64_t& volume, uint64_t& index);
/// The identity of an open file, as FileIdentity gives it for a name.
bool HandleIdentity(Handle h, uint64_t& volume, uint64_t& index);
/// GetFullPathNameA: absolute, "." and ".." resolved, "\" as separator on both platforms.
std::string FullPath(const std::string& path);
/// Directory part of a path up to and including its last separator (or ":" on Windows).
std::string::size_type LastDelimiter(const std::string& path);
/// True where the file system ignores letter case in names (Windows); false on POSIX,
/// where an upper-cased spelling of a path names another file.
bool CaseInsensitiveFileNames();

// --- Well-known directories (no trailing separator unless stated) ----------------------
std::string CurrentDir();
/// GetTempPathA: ends in a separator; empty on failure.
std::string TempPath();
std::string WindowsDir();
/// Full path of the running program's executable.
std::string ProgramFile();

/// Bytes available to the caller on the volume of a directory.
bool DiskFreeBytes(const std::string& dir, uint64_t& bytes);

// --- Time -------------------------------------------------------------------------------
struct LocalTime {
    int year, month, day, hour, minute, second, milliseconds;
};
LocalTime GetLocalTime();
/// FILETIME (UTC) to local time, then to DOS date (high 16 bits) and time (low 16 bits).
/// Times outside the DOS range (1980 to 2107) are clamped to its first or last second.
uint32_t FileTimeToDosTime(uint64_t fileTime);

// --- Operating system -------------------------------------------------------------------
struct OSInfo {
    uint32_t platformId;  // 0 Win32s, 1 Windows 95/98, 2 NT family
    uint32_t major, minor, build;
    std::string servicePack;
};
OSInfo GetOSInfo();

// --- Console ----------------------------------------------------------------------------
/// Writes bytes to standard output; false on an output error.
bool WriteStdout(const std::string& text);
/// Writes messages to standard error, control characters but line feeds shown as <XX>
/// (PrintableText): the names in them must not drive the terminal. False on an output error.
bool WriteStderr(const std::string& text);
bool StdoutIsConsole();
/// True when standard input is a console (POSIX: a terminal) that a key wait can read.
bool StdinIsConsole();
/// Moves the cursor to column 0 of the line above; false where it cannot (not a console,
/// first row).
bool CursorToLineAbove();
void SetConsoleTitle(const std::string& title);
/// Discards pending input, waits for one key press (lone Shift, Ctrl and Alt ignored) in
/// raw mode and returns its character: 27 for Esc, 0 for keys without a character.
/// False with LastError() set when standard input is not a console.
bool WaitKey(int& character);
/// A message box; on POSIX caption and text go to standard error as one block.
/// flags are the MessageBoxA style bits. Returns the box's result (IDOK = 1).
int MessageBox(const std::string& caption, const std::string& text, uint32_t flags);

// --- Windows for the centred message box (POSIX: no windows, nothing is moved) ----------
using Window = intptr_t;
struct Rect {
    int32_t left, top, right, bottom;
};
/// MessageBoxA with an owner window; POSIX: as MessageBox (the answer is the default
/// button's id).
int MessageBoxOwned(Window owner, const std::string& caption, const std::string& text,
                    uint32_t flags);
/// GetLastActivePopup (0 for no window).
Window LastActivePopup(Window owner);
/// The procedure of a computer-based-training hook: hook code, window, event data.
using HookProc = intptr_t (*)(int code, intptr_t wParam, intptr_t lParam);
/// SetWindowsHookExA(WH_CBT) for the calling thread only; 0 when none is installed (always
/// on POSIX). One such hook at a time.
Handle SetCbtHook(HookProc proc);
/// CallNextHookEx.
intptr_t CallNextHook(Handle hook, int code, intptr_t wParam, intptr_t lParam);
/// UnhookWindowsHookEx.
bool RemoveHook(Handle hook);
/// GetWindowRect, screen coordinates.
bool GetWindowRect(Window w, Rect& r);
/// SetWindowPos to (x, y) without resizing, reordering or activating.
bool MoveWindowTo(Window w, int32_t x, int32_t y);
/// GetSystemMetrics(SM_CXSCREEN / SM_CYSCREEN); POSIX 0 and 0.
void GetScreenSize(int32_t& width, int32_t& height);
/// SystemParametersInfoA(SPI_GETWORKAREA); POSIX an empty rectangle.
Rect GetWorkArea();
/// Calls handler once when the user interrupts the process (Ctrl+C, the console closed,
/// SIGTERM/SIGHUP); the process then ends with a non-zero code (POSIX 128 + the signal).
/// The handler runs in signal context on POSIX: it should only release what it must.
void OnInterrupt(void (*handler)());

// --- Version resources ------------------------------------------------------------------
/// The file version of the file's fixed version information (VS_FIXEDFILEINFO
/// dwFileVersionMS / LS); false when the file has none or cannot be read.
bool FileVersion(const std::string& path, uint32_t& ms, uint32_t& ls);
/// Plat::PeFileVersion (PeImage.h) reads the same from a PE image in memory.

// --- Dynamic libraries ------------------------------------------------------------------
void* LoadLibrary(const std::string& fullPath);
void* GetProcAddress(void* library, const char* name);
void FreeLibrary(void* library);

// --- ANSI code page -----------------------------------------------------------------------
/// CharUpperBuffA (POSIX: ASCII letters only, so UTF-8 stays intact).
std::string AnsiUpper(const std::string& s);
/// CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE) as <0, 0, >0.
int AnsiCompareIgnoreCase(const std::string& a, const std::string& b);
/// CharToOemBuffA (POSIX: identity).
std::string AnsiToOem(const std::string& s);
/// The ANSI code page of the program's strings: the system's (GetACP) on Windows; on POSIX
/// the number in KEST_CODEPAGE (874 or 1250 to 1258), 1252 when it is unset or empty. 0
/// when KEST_CODEPAGE names no code page that can be used (conversions then use 1252).
uint32_t AnsiCodePage();
/// ANSI text as UTF-8.
std::string AnsiToUtf8(const std::string& s);
/// UTF-8 text in the ANSI code page. False when the text is not UTF-8 or holds characters
/// that the code page lacks; ansi then has "?" for each of them.
bool Utf8ToAnsi(const std::string& utf8, std::string& ansi);
/// True when the text is well-formed UTF-8 (plain ASCII included).
bool IsUtf8(const std::string& s);
/// ANSI text made safe to print: each control character (C0, DEL, and the bytes that the
/// code page maps to C1 controls) becomes <XX>, its byte in hex, so that names cannot move
/// the cursor, send terminal commands or start a fake line. A line feed stays when
/// keepLineFeeds. "<" and ">" cannot occur in Windows names, so the form reads as no name.
std::string PrintableText(const std::string& text, bool keepLineFeeds = false);
/// A command-line argument as ANSI text (POSIX: from UTF-8, "?" for what does not fit).
std::string CommandLineText(const char* argument);

}  // namespace Plat
