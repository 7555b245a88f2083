// The POSIX backend: Win32 behaviour over POSIX calls, so that the layers above run unchanged.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "CodePage.h"
#include "Platform.h"

namespace Plat {

namespace {

thread_local uint32_t gLastError = 0;

// Seconds between 1601-01-01 (FILETIME origin) and 1970-01-01 (Unix epoch).
constexpr int64_t EpochDelta = 11644473600LL;
constexpr int64_t TicksPerSecond = 10000000LL;

constexpr uint32_t ErrGenFailure = 31;
constexpr uint32_t ErrTooManyOpenFiles = 4;
constexpr uint32_t ErrInvalidParameter = 87;
constexpr uint32_t ErrNegativeSeek = 131;
constexpr uint32_t ErrDirectory = 267;
constexpr uint32_t ErrFilenameTooLong = 206;
constexpr uint32_t ErrModNotFound = 126;
constexpr uint32_t ErrProcNotFound = 127;
constexpr uint32_t ErrHandleEof = 38;

bool Fail(uint32_t code) {
    gLastError = code;
    return false;
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string Upper(std::string s) {
    for (char& c : s) c = FoldAscii(c);
    return s;
}

bool EqualIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

std::string Slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string Backslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

// A path the system gave, as the program's ANSI text ("?" for what the code page lacks).
std::string FromSystem(const std::string& sysPath) {
    std::string ansi;
    Utf8ToAnsi(sysPath, ansi);
    return Backslashes(ansi);
}

// An entry's name as the program sees it, and whether the code page holds it.
void SetFoundName(FindData& fd, const std::string& sysName) {
    fd.nameFits = Utf8ToAnsi(sysName, fd.name);
}

bool EntryExists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// The byte-wise smallest name in dir that equals name ignoring ASCII case; empty if none.
std::string CaseMatch(const std::string& dir, const std::string& name) {
    // Without letters no other spelling exists: spare the directory scan.
    auto isLetter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    if (std::none_of(name.begin(), name.end(), isLetter)) return {};
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    std::string best;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (EqualIgnoreCase(n, name) && (best.empty() || n < best)) best = n;
    }
    closedir(d);
    return best;
}

// Turns a caller's path into the name the kernel knows: "/" separators, and each component
// that does not exist with its exact spelling replaced by a case-insensitive match.
std::string SysPath(const std::string& path) {
    std::string p = Slashes(AnsiToUtf8(path));
    if (p.empty() || EntryExists(p)) return p;
    std::string out;
    size_t i = 0;
    while (i < p.size()) {
        if (p[i] == '/') {
            out += '/';
            ++i;
            continue;
        }
        size_t end = p.find('/', i);
        if (end == std::string::npos) end = p.size();
        std::string comp = p.substr(i, end - i);
        if (comp != "." && comp != ".." && !EntryExists(out + comp)) {
            std::string match = CaseMatch(out, comp);
            if (match.empty()) return out + p.substr(i);  // the rest does not exist
            comp = match;
        }
        out += comp;
        i = end;
    }
    return out;
}

std::string ParentOf(const std::string& sysPath) {
    std::string p = sysPath;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

bool IsDir(const std::string& sysPath) {
    struct stat st;
    return stat(sysPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Win32 tells a missing name (2) from a missing directory on the way to it (3).
uint32_t MissingCode(const std::string& sysPath) {
    return IsDir(ParentOf(sysPath)) ? ErrFileNotFound : ErrPathNotFound;
}

uint32_t MapErrno(int err, const std::string& sysPath = {}) {
    switch (err) {
        case ENOENT:
            return MissingCode(sysPath);
        case ENOTDIR:
            return ErrPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ErrAccessDenied;
        case EEXIST:
            return ErrAlreadyExists;
        case EWOULDBLOCK:
            return ErrSharingViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ErrDiskFull;
        case EMFILE:
        case ENFILE:
            return ErrTooManyOpenFiles;
        case ENAMETOOLONG:
            return ErrFilenameTooLong;
        case EBADF:
            return ErrInvalidHandle;
        case EINVAL:
            return ErrInvalidParameter;
        case ENOTEMPTY:
            return ErrDirNotEmpty;
        default:
            return ErrGenFailure;
    }
}

bool FailErrno(const std::string& sysPath = {}) {
    return Fail(MapErrno(errno, sysPath));
}

uint64_t ToFileTime(const timespec& ts) {
    return static_cast<uint64_t>((ts.tv_sec + EpochDelta) * TicksPerSecond + ts.tv_nsec / 100);
}

timespec FromFileTime(uint64_t ft) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(ft / TicksPerSecond) - EpochDelta);
    ts.tv_nsec = static_cast<long>(ft % TicksPerSecond) * 100;
    return ts;
}

std::string BaseName(const std::string& sysPath) {
    std::string p = sysPath;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool IsDotName(const std::string& n) {
    return n == "." || n == "..";
}

uint32_t AttributesOf(const struct stat& st, bool isLink, const std::string& name) {
    uint32_t a = 0;
    if (S_ISDIR(st.st_mode))
        a |= AttrDirectory;
    else if (S_ISREG(st.st_mode))
        a |= AttrArchive;
    else
        a |= AttrDevice;
    if (!(st.st_mode & S_IWUSR)) a |= AttrReadOnly;
    if (!name.empty() && name[0] == '.' && !IsDotName(name)) a |= AttrHidden;
    if (isLink) a |= AttrReparsePoint;
    return a ? a : AttrNormal;
}

// Attributes of a path, links followed; false for missing and dangling names.
bool StatAttributes(const std::string& sysPath, uint32_t& attr, struct stat* out = nullptr) {
    struct stat st, lst;
    if (stat(sysPath.c_str(), &st) != 0) return FailErrno(sysPath);
    bool isLink = lstat(sysPath.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    attr = AttributesOf(st, isLink, BaseName(sysPath));
    if (out) *out = st;
    return true;
}

// --- File handles ---------------------------------------------------------------------

// Handles are descriptors plus one: a handle of 0, which callers use for "closed", then
// never names standard input.
int FdOf(Handle h) {
    return static_cast<int>(h - 1);
}
Handle HandleOf(int fd) {
    return static_cast<Handle>(fd) + 1;
}

int OpenFlags(uint32_t access, uint32_t disposition) {
    int flags = O_CLOEXEC | O_NONBLOCK;  // non-blocking only so that a FIFO cannot hang us
    if ((access & GenericWrite) && (access & GenericRead))
        flags |= O_RDWR;
    else if (access & GenericWrite)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (disposition == CreateNew) flags |= O_CREAT | O_EXCL;
    if (disposition == CreateAlways || disposition == OpenAlways) flags |= O_CREAT;
    return flags;
}

// Windows refuses to open a read-only file for writing, whoever the caller is.
bool WriteToReadOnly(const std::string& sysPath, uint32_t access, uint32_t disposition) {
    struct stat st;
    if (!(access & GenericWrite) || disposition == CreateNew) return false;
    return stat(sysPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

bool CheckOpened(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return FailErrno();
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) return Fail(ErrAccessDenied);
    int fl = fcntl(fd, F_GETFL);
    if (fl == -1 || fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == -1) return FailErrno();
    return true;
}

// Writers that exclude other writers hold an exclusive lock, writers that share hold a
// shared one, so either kind of second writer meets the first one's terms.
bool LockForSharing(int fd, uint32_t access, uint32_t share) {
    if (!(access & GenericWrite)) return true;
    int op = ((share & ShareWrite) ? LOCK_SH : LOCK_EX) | LOCK_NB;
    while (flock(fd, op) != 0) {
        if (errno == EWOULDBLOCK) return Fail(ErrSharingViolation);
        if (errno != EINTR) return true;  // a file system without locks: open unguarded
    }
    return true;
}

// --- Directory search -------------------------------------------------------------------

struct Search {
    std::vector<FindData> entries;
    size_t next = 0;
};

// One entry, stat'ed relative to its open directory; d_type saves the lstat of entries
// that the directory already reports as no link.
bool EntryData(DIR* d, const dirent* e, FindData& fd) {
    struct stat st, lst;
    if (fstatat(dirfd(d), e->d_name, &st, 0) != 0) return false;  // dangling or vanished
    bool isLink = e->d_type == DT_LNK;
    if (e->d_type == DT_UNKNOWN)
        isLink =
            fstatat(dirfd(d), e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
    SetFoundName(fd, e->d_name);
    fd.attributes = AttributesOf(st, isLink, e->d_name);
    fd.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    fd.lastWrite = ToFileTime(st.st_mtim);
    return true;
}

bool ListDirectory(const std::string& dir, const std::string& pattern, Search& s) {
    DIR* d = opendir(dir.c_str());
    if (!d) return Fail(errno == ENOENT || errno == ENOTDIR ? ErrPathNotFound : MapErrno(errno));
    while (dirent* e = readdir(d)) {
        FindData fd;
        std::string ansi;
        Utf8ToAnsi(e->d_name, ansi);
        if (MatchesFindMask(pattern, ansi) && EntryData(d, e, fd))
            s.entries.push_back(std::move(fd));
    }
    closedir(d);
    std::sort(s.entries.begin(), s.entries.end(),
              [](const FindData& a, const FindData& b) { return FindOrderLess(a.name, b.name); });
    return true;
}

bool HasWildcards(const std::string& pattern) {
    return pattern.find_first_of("*?") != std::string::npos;
}

// A search for one name needs no listing: one stat, which keeps per-file searches in big
// directories cheap. The name comes back as the directory spells it.
bool NamedEntry(const std::string& sysPath, Search& s) {
    struct stat st, lst;
    if (stat(sysPath.c_str(), &st) != 0) return FailErrno(sysPath);
    FindData fd;
    SetFoundName(fd, BaseName(sysPath));
    bool isLink = lstat(sysPath.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    fd.attributes = AttributesOf(st, isLink, BaseName(sysPath));
    fd.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    fd.lastWrite = ToFileTime(st.st_mtim);
    s.entries.push_back(std::move(fd));
    return true;
}

// --- Console ----------------------------------------------------------------------------

// A closed pipe must be an ordinary output error, not a silent death by SIGPIPE, so that
// the writer's clean-up runs.
void IgnoreBrokenPipe() {
    static const bool ignored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)ignored;
}

bool WriteAll(int fd, const char* p, size_t n) {
    IgnoreBrokenPipe();
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return FailErrno();
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Restores the terminal's mode when the key wait ends, on every path.
class RawMode {
  public:
    explicit RawMode(const termios& saved) : Saved(saved) {}
    ~RawMode() { tcsetattr(STDIN_FILENO, TCSANOW, &Saved); }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

  private:
    termios Saved;
};

// True when another byte arrives within a short time: the tail of an escape sequence.
bool MoreInputSoon(int ms) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return poll(&p, 1, ms) > 0 && (p.revents & POLLIN);
}

bool ReadByte(unsigned char& c) {
    for (;;) {
        ssize_t r = read(STDIN_FILENO, &c, 1);
        if (r == 1) return true;
        if (r == 0) return Fail(ErrHandleEof);
        if (errno != EINTR) return FailErrno();
    }
}

// --- Interrupts -------------------------------------------------------------------------

std::atomic<void (*)()> gInterruptHandler{nullptr};

sigset_t InterruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    return set;
}

// The handler runs on a thread of its own, as a console control handler does on Windows,
// never inside a signal handler: it may allocate and walk directories, which is not safe
// when the signal lands inside malloc.
void WaitForInterrupt() {
    sigset_t set = InterruptSignals();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    if (void (*h)() = gInterruptHandler.load()) h();
    _exit(128 + sig);
}

// The answer of a box nobody can click: its default button.
int DefaultButton(uint32_t flags) {
    static const int buttons[][3] = {{1, 1, 1},     // OK
                                     {1, 2, 2},     // OK, Cancel
                                     {3, 4, 5},     // Abort, Retry, Ignore
                                     {6, 7, 2},     // Yes, No, Cancel
                                     {6, 7, 7},     // Yes, No
                                     {4, 2, 2},     // Retry, Cancel
                                     {2, 10, 11}};  // Cancel, Try again, Continue
    uint32_t type = flags & 0xF, def = (flags >> 8) & 0xF;
    if (type > 6) type = 0;
    return buttons[type][def > 2 ? 0 : def];
}

}  // namespace

uint32_t LastError() {
    return gLastError;
}

std::string ErrorText(uint32_t code) {
    switch (code) {
        case 1:
            return "Incorrect function.";
        case ErrFileNotFound:
            return "The system cannot find the file specified.";
        case ErrPathNotFound:
            return "The system cannot find the path specified.";
        case ErrTooManyOpenFiles:
            return "The system cannot open the file.";
        case ErrAccessDenied:
            return "Access is denied.";
        case ErrInvalidHandle:
            return "The handle is invalid.";
        case ErrNoMoreFiles:
            return "There are no more files.";
        case ErrGenFailure:
            return "A device attached to the system is not functioning.";
        case ErrSharingViolation:
            return "The process cannot access the file because it is being used by another "
                   "process.";
        case ErrHandleEof:
            return "Reached the end of the file.";
        case ErrFileExists:
            return "The file exists.";
        case ErrInvalidParameter:
            return "The parameter is incorrect.";
        case ErrDiskFull:
            return "There is not enough space on the disk.";
        case ErrModNotFound:
            return "The specified module could not be found.";
        case ErrProcNotFound:
            return "The specified procedure could not be found.";
        case ErrNegativeSeek:
            return "An attempt was made to move the file pointer before the beginning of the "
                   "file.";
        case ErrDirNotEmpty:
            return "The directory is not empty.";
        case ErrAlreadyExists:
            return "Cannot create a file when that file already exists.";
        case ErrFilenameTooLong:
            return "The filename or extension is too long.";
        case ErrDirectory:
            return "The directory name is invalid.";
        default:
            return {};
    }
}

// --- File handles -----------------------------------------------------------------------

Handle OpenFile(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition,
                uint32_t attributes) {
    if (disposition < CreateNew || disposition > OpenAlways) {
        Fail(ErrInvalidParameter);
        return InvalidHandle;
    }
    std::string sys = SysPath(name);
    if (WriteToReadOnly(sys, access, disposition)) {
        Fail(ErrAccessDenied);
        return InvalidHandle;
    }
    mode_t mode = (attributes & AttrReadOnly) ? 0444 : 0666;
    int fd = open(sys.c_str(), OpenFlags(access, disposition), mode);
    if (fd < 0) {
        uint32_t code = MapErrno(errno, sys);
        Fail(code == ErrAlreadyExists ? ErrFileExists : code);
        return InvalidHandle;
    }
    // Truncation waits for the lock, so that a refused writer never cuts the holder's file.
    bool ok = CheckOpened(fd) && LockForSharing(fd, access, share);
    if (ok && disposition == CreateAlways && ftruncate(fd, 0) != 0) ok = FailErrno();
    if (!ok) {
        uint32_t code = gLastError;
        close(fd);
        gLastError = code;
        return InvalidHandle;
    }
    return HandleOf(fd);
}

bool CloseFile(Handle h) {
    return close(FdOf(h)) == 0 || FailErrno();
}

bool ReadFile(Handle h, void* buf, uint32_t count, uint32_t& read) {
    read = 0;
    char* p = static_cast<char*>(buf);
    while (read < count) {
        ssize_t r = ::read(FdOf(h), p + read, count - read);
        if (r < 0) {
            if (errno == EINTR) continue;
            return FailErrno();
        }
        if (r == 0) break;
        read += static_cast<uint32_t>(r);
    }
    return true;
}

bool WriteFile(Handle h, const void* buf, uint32_t count, uint32_t& written) {
    written = 0;
    const char* p = static_cast<const char*>(buf);
    while (written < count) {
        ssize_t w = write(FdOf(h), p + written, count - written);
        if (w < 0) {
            if (errno == EINTR) continue;
            return FailErrno();
        }
        written += static_cast<uint32_t>(w);
    }
    return true;
}

int64_t Seek(Handle h, int64_t offset, int origin) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return Fail(ErrInvalidParameter), -1;
    off_t pos = lseek(FdOf(h), static_cast<off_t>(offset), whence[origin]);
    if (pos < 0) return Fail(errno == EINVAL ? ErrNegativeSeek : MapErrno(errno)), -1;
    return pos;
}

int64_t FileSize(Handle h) {
    struct stat st;
    if (fstat(FdOf(h), &st) != 0) return FailErrno(), -1;
    return st.st_size;
}

bool Truncate(Handle h) {
    off_t pos = lseek(FdOf(h), 0, SEEK_CUR);
    if (pos < 0 || ftruncate(FdOf(h), pos) != 0) return FailErrno();
    return true;
}

bool GetLastWriteTime(Handle h, uint64_t& fileTime) {
    struct stat st;
    if (fstat(FdOf(h), &st) != 0) return FailErrno();
    fileTime = ToFileTime(st.st_mtim);
    return true;
}

bool SetLastWriteTime(Handle h, uint64_t fileTime) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = FromFileTime(fileTime);
    return futimens(FdOf(h), times) == 0 || FailErrno();
}

// --- Directory search -------------------------------------------------------------------

Handle FindFirst(const std::string& mask, FindData& data) {
    std::string m = Slashes(mask);
    size_t slash = m.rfind('/');
    std::string dirPart = slash == std::string::npos ? "" : m.substr(0, slash + 1);
    std::string pattern = slash == std::string::npos ? m : m.substr(slash + 1);
    std::string dir = dirPart.empty() ? "." : SysPath(dirPart);
    if (pattern.empty()) {
        Fail(IsDir(dir) ? ErrFileNotFound : ErrPathNotFound);
        return InvalidHandle;
    }
    auto* s = new Search;
    bool listed =
        HasWildcards(pattern) ? ListDirectory(dir, pattern, *s) : NamedEntry(SysPath(m), *s);
    if (!listed) {
        delete s;
        return InvalidHandle;
    }
    if (s->entries.empty()) {
        delete s;
        Fail(ErrFileNotFound);
        return InvalidHandle;
    }
    data = s->entries[s->next++];
    return reinterpret_cast<Handle>(s);
}

bool FindNext(Handle h, FindData& data) {
    auto* s = reinterpret_cast<Search*>(h);
    if (!s || h == InvalidHandle) return Fail(ErrInvalidHandle);
    if (s->next >= s->entries.size()) return Fail(ErrNoMoreFiles);
    data = s->entries[s->next++];
    return true;
}

void FindClose(Handle h) {
    if (h != InvalidHandle) delete reinterpret_cast<Search*>(h);
}

// --- Names and attributes -------------------------------------------------------------

uint32_t GetAttributes(const std::string& path) {
    uint32_t attr;
    return StatAttributes(SysPath(path), attr) ? attr : InvalidAttributes;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
    std::string sys = SysPath(path);
    struct stat st;
    if (stat(sys.c_str(), &st) != 0) return FailErrno(sys);
    mode_t mode = st.st_mode & 07777;
    if (attributes & AttrReadOnly) {
        mode &= ~static_cast<mode_t>(0222);
    } else if (!(mode & S_IWUSR)) {
        // Give write back to whoever may read, as far as the umask allows.
        mode_t mask = umask(0);
        umask(mask);
        mode |= S_IWUSR | (((mode & 0044) >> 1) & ~mask);
    }
    return chmod(sys.c_str(), mode) == 0 || FailErrno(sys);
}

bool FileExists(const std::string& path) {
    uint32_t a = GetAttributes(path);
    return a != InvalidAttributes && !(a & AttrDirectory);
}

bool EntryExists(const std::string& path) {
    struct stat st;
    return lstat(SysPath(path).c_str(), &st) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    std::string source = SysPath(from);
    return rename(source.c_str(), SysPath(to).c_str()) == 0 || FailErrno(source);
}

bool DeleteFile(const std::string& path) {
    std::string sys = SysPath(path);
    struct stat st;
    if (lstat(sys.c_str(), &st) != 0) return FailErrno(sys);
    if (S_ISDIR(st.st_mode)) return Fail(ErrAccessDenied);
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return Fail(ErrAccessDenied);
    return unlink(sys.c_str()) == 0 || FailErrno(sys);
}

bool CreateDirectory(const std::string& path) {
    std::string sys = SysPath(path);
    return mkdir(sys.c_str(), 0777) == 0 || FailErrno(sys);
}

bool CreatePrivateDirectory(const std::string& path) {
    std::string sys = SysPath(path);
    if (mkdir(sys.c_str(), 0700) != 0) return FailErrno(sys);
    return true;
}

bool RemoveDirectory(const std::string& path) {
    std::string sys = SysPath(path);
    struct stat st;
    if (lstat(sys.c_str(), &st) != 0) return FailErrno(sys);
    if (S_ISLNK(st.st_mode)) {
        if (!IsDir(sys)) return Fail(ErrDirectory);
        return unlink(sys.c_str()) == 0 || FailErrno(sys);
    }
    if (!S_ISDIR(st.st_mode)) return Fail(ErrDirectory);
    return rmdir(sys.c_str()) == 0 || FailErrno(sys);
}

bool FileIdentity(const std::string& path, uint64_t& volume, uint64_t& index) {
    std::string sys = SysPath(path);
    struct stat st;
    if (stat(sys.c_str(), &st) != 0) return FailErrno(sys);
    volume = st.st_dev;
    index = st.st_ino;
    return true;
}

bool HandleIdentity(Handle h, uint64_t& volume, uint64_t& index) {
    struct stat st;
    if (fstat(FdOf(h), &st) != 0) return FailErrno();
    volume = st.st_dev;
    index = st.st_ino;
    return true;
}

std::string FullPath(const std::string& path) {
    if (path.empty()) return Fail(ErrInvalidParameter), std::string();
    std::string p = Slashes(path);
    std::string base = p[0] == '/' ? "" : Slashes(CurrentDir());
    std::vector<std::string> parts;
    std::string all = base + "/" + p;
    size_t i = 0;
    while (i <= all.size()) {
        size_t end = all.find('/', i);
        if (end == std::string::npos) end = all.size();
        std::string comp = all.substr(i, end - i);
        if (comp == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!comp.empty() && comp != ".") {
            parts.push_back(comp);
        }
        i = end + 1;
    }
    std::string out;
    for (const std::string& c : parts) out += "\\" + c;
    if (out.empty() || p.back() == '/') out += "\\";
    return out;
}

std::string::size_type LastDelimiter(const std::string& path) {
    return path.find_last_of("\\/");
}

// --- Well-known directories -------------------------------------------------------------

std::string CurrentDir() {
    std::vector<char> buf(PATH_MAX);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return FailErrno(), std::string();
        buf.resize(buf.size() * 2);
    }
    return FromSystem(buf.data());
}

std::string TempPath() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = FromSystem((t && *t) ? t : "/tmp");
    if (dir.back() != '\\') dir += '\\';
    return dir;
}

std::string WindowsDir() {
    const char* home = std::getenv("HOME");
    std::string dir;
    if (home && *home) {
        dir = home;
    } else if (passwd* pw = getpwuid(getuid())) {
        dir = pw->pw_dir ? pw->pw_dir : "/";
    } else {
        dir = "/";
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return FromSystem(dir);
}

std::string ProgramFile() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n < 0) return FailErrno(), std::string();
    return FromSystem(std::string(buf.data(), static_cast<size_t>(n)));
}

bool DiskFreeBytes(const std::string& dir, uint64_t& bytes) {
    std::string sys = SysPath(dir);
    struct statvfs vfs;
    if (statvfs(sys.c_str(), &vfs) != 0) return FailErrno(sys);
    bytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return true;
}

// --- Time -------------------------------------------------------------------------------

LocalTime GetLocalTime() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t;
    localtime_r(&ts.tv_sec, &t);
    return {t.tm_year + 1900,
            t.tm_mon + 1,
            t.tm_mday,
            t.tm_hour,
            t.tm_min,
            t.tm_sec,
            static_cast<int>(ts.tv_nsec / 1000000)};
}

uint32_t FileTimeToDosTime(uint64_t fileTime) {
    constexpr uint32_t First = (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
    constexpr uint32_t Last = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) |
                              29u;  // 2107-12-31 23:59:58
    time_t secs = FromFileTime(fileTime).tv_sec;
    tm t;
    if (!localtime_r(&secs, &t)) return First;
    int year = t.tm_year + 1900;
    if (year < 1980) return First;
    if (year > 2107) return Last;
    uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) |
                    (static_cast<uint32_t>(t.tm_mon + 1) << 5) | static_cast<uint32_t>(t.tm_mday);
    uint32_t time = (static_cast<uint32_t>(t.tm_hour) << 11) |
                    (static_cast<uint32_t>(t.tm_min) << 5) | static_cast<uint32_t>(t.tm_sec / 2);
    return (date << 16) | time;
}

// --- Operating system -------------------------------------------------------------------

OSInfo GetOSInfo() {
    // Reported as the NT family, so that code above takes its modern paths.
    OSInfo info{2, 5, 1, 0, {}};
    utsname u;
    if (uname(&u) == 0) info.servicePack = std::string(u.sysname) + " " + u.release;
    return info;
}

// --- Console ----------------------------------------------------------------------------

// The terminal shows UTF-8, as the file system names are.
bool WriteStdout(const std::string& text) {
    const std::string utf8 = AnsiToUtf8(text);
    return WriteAll(STDOUT_FILENO, utf8.data(), utf8.size());
}

bool WriteStderr(const std::string& text) {
    const std::string utf8 = AnsiToUtf8(PrintableText(text, true));
    return WriteAll(STDERR_FILENO, utf8.data(), utf8.size());
}

bool StdoutIsConsole() {
    return isatty(STDOUT_FILENO) == 1;
}

bool StdinIsConsole() {
    return isatty(STDIN_FILENO) == 1;
}

bool CursorToLineAbove() {
    if (!StdoutIsConsole()) return Fail(ErrInvalidHandle);
    return WriteStdout("\x1b[1A\x1b[G");
}

void SetConsoleTitle(const std::string& title) {
    if (!StdoutIsConsole()) return;
    std::string seq = "\x1b]0;";
    // Control bytes in a title would end the sequence early or start another one.
    for (char c : title)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) seq += c;
    seq += '\a';
    WriteStdout(seq);
}

bool WaitKey(int& character) {
    termios saved;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0)
        return Fail(ErrInvalidHandle);
    RawMode restore(saved);
    termios raw = saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return FailErrno();
    if (tcflush(STDIN_FILENO, TCIFLUSH) != 0) return FailErrno();
    unsigned char c;
    if (!ReadByte(c)) return false;
    if (c == 27 && MoreInputSoon(50)) {
        // A cursor or function key: swallow the rest of its sequence.
        while (MoreInputSoon(10))
            if (!ReadByte(c)) return false;
        character = 0;
        return true;
    }
    character = c;
    return true;
}

int MessageBox(const std::string& caption, const std::string& text, uint32_t flags) {
    return MessageBoxOwned(0, caption, text, flags);
}

int MessageBoxOwned(Window, const std::string& caption, const std::string& text, uint32_t flags) {
    WriteStderr(caption + ":\n" + text + "\n");
    return DefaultButton(flags);
}

Window LastActivePopup(Window owner) {
    return owner;
}
Handle SetCbtHook(HookProc) {
    return 0;
}
intptr_t CallNextHook(Handle, int, intptr_t, intptr_t) {
    return 0;
}
bool RemoveHook(Handle) {
    return true;
}
bool GetWindowRect(Window, Rect& r) {
    r = {0, 0, 0, 0};
    return Fail(ErrInvalidHandle);
}
bool MoveWindowTo(Window, int32_t, int32_t) {
    return Fail(ErrInvalidHandle);
}
void GetScreenSize(int32_t& width, int32_t& height) {
    width = height = 0;
}
Rect GetWorkArea() {
    return {0, 0, 0, 0};
}

void OnInterrupt(void (*handler)()) {
    static std::once_flag started;
    gInterruptHandler.store(handler);
    std::call_once(started, [] {
        // Blocked here, so threads started later inherit the mask and only the waiter
        // takes the process's interrupts.
        sigset_t set = InterruptSignals();
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread(WaitForInterrupt).detach();
    });
}

// --- Version resources ------------------------------------------------------------------

bool FileVersion(const std::string& path, uint32_t& ms, uint32_t& ls) {
    std::string sys = SysPath(path);
    int fd = open(sys.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FailErrno(sys);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        close(fd);
        return Fail(ErrFileNotFound);
    }
    // Mapped, not read: only the pages the parser touches come from the disk.
    size_t size = static_cast<size_t>(st.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return FailErrno();
    bool ok = PeFileVersion(static_cast<const unsigned char*>(map), size, ms, ls);
    munmap(map, size);
    return ok || Fail(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
}

// --- Dynamic libraries ------------------------------------------------------------------

void* LoadLibrary(const std::string& fullPath) {
    std::string sys = SysPath(fullPath);
    void* lib = dlopen(sys.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) Fail(ErrModNotFound);
    return lib;
}

void* GetProcAddress(void* library, const char* name) {
    void* p = library ? dlsym(library, name) : nullptr;
    if (!p) Fail(ErrProcNotFound);
    return p;
}

void FreeLibrary(void* library) {
    if (library) dlclose(library);
}

// --- ANSI code page -----------------------------------------------------------------------

std::string AnsiUpper(const std::string& s) {
    return Upper(s);
}

int AnsiCompareIgnoreCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
        auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string AnsiToOem(const std::string& s) {
    return s;
}

bool CaseInsensitiveFileNames() {
    return false;
}

std::string CommandLineText(const char* argument) {
    std::string ansi;
    Utf8ToAnsi(argument ? argument : "", ansi);
    return ansi;
}

namespace Backend {

// Single-byte code pages only: in a double-byte one a trail byte can be "\", which every
// path parser of the system would take for a separator.
uint32_t ChosenCodePage() {
    const char* text = std::getenv("KEST_CODEPAGE");
    if (!text || !*text) return 1252;
    const std::string value = text;
    if (value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos) return 0;
    const auto number = static_cast<uint32_t>(std::stoul(value));
    return number == 874 || (number >= 1250 && number <= 1258) ? number : 0;
}

bool ReadCodePage(uint32_t codePage, char32_t (&upperHalf)[128]) {
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    for (int i = 0; i < 128; ++i) {
        char in = static_cast<char>(0x80 + i);
        unsigned char out[16] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = 1, outLeft = sizeof out;
        // The flush hands out a character that a code page with combining marks holds back.
        const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1) &&
                        iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != size_t(-1);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool one = ok && sizeof out - outLeft == 4;
        upperHalf[i] = one ? char32_t(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24) : 0;
    }
    iconv_close(cd);
    return true;
}

}  // namespace Backend

}  // namespace Plat
