// The few operating-system services that the build driver needs beyond the support
// library: full paths, the console (title, cursor, key wait, free space, output) and the
// interrupt hook. The console services are replaceable, so that tests can script the keys
// and the free space and capture what the build writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct TBuildConsole {
    /// Writes bytes to standard output; false on an output error.
    std::function<bool(const std::string&)> Write;
    /// Moves the cursor to column 0 of the line above; false where it cannot.
    std::function<bool()> CursorUp;
    /// The character of the next key press (27 for Esc); raises when there is no console.
    /// 27 at once when the key wait is switched off (KeyWaitSwitchedOff).
    std::function<int()> WaitKey;
    /// KiB free on the volume of a directory; 0 when it is not an existing directory.
    std::function<int32_t(const std::string&)> FreeKB;
};

/// The console that the build uses; tests assign their own members.
TBuildConsole& BuildConsole();
/// Puts the real console back.
void ResetBuildConsole();

namespace BuildSys {

/// The path made absolute against the current directory; empty stays empty.
std::string FullPathOf(const std::string& path);
/// True when the name exists and is not a directory.
bool FileExists(const std::string& path);
/// True when both names exist and name one file or directory (links followed).
bool SameObject(const std::string& a, const std::string& b);
/// True when path lies below dir, however either is spelt (links followed).
bool LiesInside(const std::string& path, const std::string& dir);
/// Clears the read-only attribute where it is set; true when the file is writable after.
bool MakeWritable(const std::string& path);
/// A command-line argument as the program's ANSI text.
std::string ArgumentText(const char* argument);
/// Why the chosen ANSI code page cannot be used; empty when it can.
std::string CodePageProblem();
/// Text with its control characters shown as <XX> (Plat::PrintableText), for everything
/// the build prints that holds a name.
std::string PrintableText(const std::string& text, bool keepLineFeeds = false);
/// ANSI upper-casing of the system's code page.
std::string UpperCase(const std::string& text);
void SetTitle(const std::string& title);
/// Calls handler once when the user interrupts the process; the process ends after it.
void OnInterrupt(void (*handler)());
/// Calls visit(Name, FullName) for every entry of a search; the search is closed on
/// every path, also when visit raises. Raises, naming it, for what ForEachEntry refuses
/// (kvFileFind.h) and for a name that a package cannot hold (StoredNames.h): the build
/// searches only the trees that it packs.
void ForEachFound(const std::string& mask, uint32_t includeMask, uint32_t excludeMask,
                  const std::function<void(const std::string&, const std::string&)>& visit);

/// A lock file that keeps every other holder out while the object lives; removed after
/// when it was made for this lock.
class TFileLock {
  public:
    explicit TFileLock(const std::string& path);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    bool Held() const;
    /// Why it is not held: true when someone else holds it, false for any other reason.
    bool HeldElsewhere() const { return Busy; }
    /// True when the lock file was made for this lock (and is removed after).
    bool MadeHere() const { return Held() && Created; }

  private:
    std::string Path;
    intptr_t Handle;
    bool Busy = false;
    bool Created = false;
};

/// Creates an empty file that did not exist (never through a link); false when the name
/// is taken or the file cannot be made.
bool CreateNewFile(const std::string& path);
/// Gives a file a new name, replacing whatever had that name (never through a link).
bool ReplaceFile(const std::string& from, const std::string& to);

/// A file opened for writing at its end, other writers kept out until it is closed.
class TAppendFile {
  public:
    explicit TAppendFile(const std::string& path);
    ~TAppendFile();
    TAppendFile(const TAppendFile&) = delete;
    TAppendFile& operator=(const TAppendFile&) = delete;
    bool IsOpen() const;
    /// Size of the file when it was opened; -1 when unknown.
    int64_t SizeAtOpen() const { return Size; }
    bool Write(const void* data, uint32_t count);
    /// Closes the file; false when the close failed (the data may not have reached it).
    bool Close();

  private:
    intptr_t Handle;
    int64_t Size = -1;
};

}  // namespace BuildSys
