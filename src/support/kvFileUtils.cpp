#include "kvFileUtils.h"

#include <vector>

#include "kvFileFind.h"
#include "kvStrUtils.h"
#include "kvUtils.h"

const int CopyBufferSize = 131072;

namespace {

constexpr uint32_t LineChunk = 100;
constexpr char CR = 13;
constexpr char LF = 10;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool EndsInSeparator(const std::string& path) {
    return !path.empty() && IsSeparator(path.back());
}

std::string StripSeparator(const std::string& path) {
    return EndsInSeparator(path) ? path.substr(0, path.size() - 1) : path;
}

// Whether the last component of a path is a link (a trailing separator would follow it).
bool IsLink(const std::string& path) {
    const uint32_t attrs = Plat::GetAttributes(StripSeparator(path));
    return attrs != Plat::InvalidAttributes && (attrs & Plat::AttrReparsePoint) != 0;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DayOfYear(const Plat::LocalTime& t) {
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int day = t.day;
    for (int m = 1; m < t.month && m <= 12; ++m) day += monthDays[m - 1];
    if (t.month > 2 && IsLeapYear(t.year)) ++day;
    return day;
}

/// Closes a file handle on every path.
class THandleGuard {
  public:
    explicit THandleGuard(Plat::Handle h) : H(h) {}
    ~THandleGuard() {
        if (H != Plat::InvalidHandle) Plat::CloseFile(H);
    }
    THandleGuard(const THandleGuard&) = delete;
    THandleGuard& operator=(const THandleGuard&) = delete;
    Plat::Handle Get() const { return H; }
    bool Valid() const { return H != Plat::InvalidHandle; }

  private:
    Plat::Handle H;
};

// The number of chunk bytes that the line end starting at pos takes; a CR that ends the
// chunk looks one byte ahead so that a CR LF split across two reads stays one line end.
uint32_t LineEndLength(Plat::Handle h, const char* chunk, uint32_t count, uint32_t pos) {
    if (chunk[pos] == LF) return 1;
    if (pos + 1 < count) return chunk[pos + 1] == LF ? 2 : 1;
    char next = 0;
    uint32_t read = 0;
    if (Plat::ReadFile(h, &next, 1, read) && read == 1) {
        if (next == LF) return 2;  // the peeked byte belongs to this line end
        Plat::Seek(h, -1, 1);
    }
    return 1;
}

bool CopyData(Plat::Handle src, Plat::Handle dst, const std::string& source,
              const std::string& dest, TCopyProgressProc progress, int64_t total) {
    std::vector<char> buffer(CopyBufferSize);
    int64_t done = 0;
    while (done < total) {
        uint32_t read = 0;
        if (!Plat::ReadFile(src, buffer.data(), static_cast<uint32_t>(buffer.size()), read))
            return false;
        if (read == 0) return false;  // the source shrank: the copy would be short
        uint32_t written = 0;
        if (!Plat::WriteFile(dst, buffer.data(), read, written) || written != read) return false;
        done += written;
        if (progress && !progress(source, dest, static_cast<int32_t>(written),
                                  static_cast<int32_t>(done), static_cast<int32_t>(total)))
            return false;
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    return Plat::AnsiCompareIgnoreCase(Plat::FullPath(a), Plat::FullPath(b)) == 0;
}

}  // namespace

Plat::Handle OpenFileHandle(const std::string& name, uint32_t access, uint32_t share,
                            uint32_t disposition, uint32_t attributes) {
    return Plat::OpenFile(name, access, share, disposition, attributes);
}

void CloseFileHandle(Plat::Handle& h) {
    // 0 is what a closed variable holds: closing it again must not touch another file.
    if (h != 0 && h != Plat::InvalidHandle) Plat::CloseFile(h);
    h = 0;
}

int32_t FilePosition(Plat::Handle h) {
    return static_cast<int32_t>(Plat::Seek(h, 0, 1));
}

bool AtEndOfFile(Plat::Handle h) {
    const int64_t pos = Plat::Seek(h, 0, 1);
    const int64_t size = Plat::FileSize(h);
    // A handle that cannot tell must read as ended, or a reading loop would never stop.
    if (pos < 0 || size < 0) return true;
    return pos >= size;
}

void ReadTextLine(Plat::Handle h, std::string& line) {
    line.clear();
    char chunk[LineChunk];
    for (;;) {
        uint32_t count = 0;
        if (!Plat::ReadFile(h, chunk, LineChunk, count)) {
            // A file that cannot be read reads as ended, so that a caller's loop over
            // AtEndOfFile stops instead of asking again forever.
            Plat::Seek(h, 0, 2);
            return;
        }
        if (count == 0) return;
        uint32_t pos = 0;
        while (pos < count && chunk[pos] != CR && chunk[pos] != LF) ++pos;
        line.append(chunk, pos);
        if (pos == count) continue;
        const uint32_t used = pos + LineEndLength(h, chunk, count, pos);
        if (used < count) Plat::Seek(h, static_cast<int64_t>(used) - count, 1);
        return;
    }
}

bool WriteTextLine(Plat::Handle h, const std::string& text) {
    const std::string bytes = text + "\r\n";
    uint32_t written = 0;
    return Plat::WriteFile(h, bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
           written == bytes.size();
}

std::string DateTimeName(const Plat::LocalTime& t) {
    const int decade = t.year % 10;
    const int64_t dayStamp = decade * 365 + decade / 4 + DayOfYear(t);
    const int64_t timeStamp =
        t.hour * 360000 + t.minute * 6000 + t.second * 100 + t.milliseconds / 10;
    return RadixStr(dayStamp, 3, 32) + RadixStr(timeStamp, 5, 32);
}

std::string UniqueNameAt(const std::string& dir, const std::function<Plat::LocalTime()>& clock) {
    const std::string base = AddBackslash(dir);
    for (;;) {
        const std::string name = DateTimeName(clock());
        // Anything of that name (file, directory, link, a dangling one too) makes it taken.
        if (!Plat::EntryExists(base + name)) return name;
    }
}

std::string UniqueName(const std::string& dir) {
    return UniqueNameAt(dir, Plat::GetLocalTime);
}

bool IsDirectory(const std::string& path) {
    const uint32_t attrs = Plat::GetAttributes(path);
    return attrs != Plat::InvalidAttributes && (attrs & Plat::AttrDirectory) != 0;
}

bool DirExists(const std::string& path) {
    return IsDirectory(path);
}

namespace {

bool DeleteEntry(const std::string& dir, const TSearchRecEx& rec, bool removeRoot) {
    const uint32_t attrs = rec.Attributes;
    if (attrs == Plat::AttrVolumeLabel) return true;
    const std::string path = AddBackslash(dir) + rec.Name;
    // A link goes itself; what it points to is not ours to delete (nor to make writable).
    if (attrs & Plat::AttrReparsePoint)
        return attrs & Plat::AttrDirectory ? Plat::RemoveDirectory(path) : Plat::DeleteFile(path);
    if (attrs & Plat::AttrDirectory) return DeleteTree(path, removeRoot);
    if (attrs & Plat::AttrVolumeLabel) return true;
    return ForceDeleteFile(path);
}

bool IsBareDrive(const std::string& path) {
    return path.size() == 2 && path[1] == ':';
}

}  // namespace

bool DeleteTree(const std::string& dir, bool removeRoot) {
    if (!IsDirectory(dir)) return false;
    // A root that is a link is removed as a link (when asked): its contents are elsewhere.
    if (IsLink(dir)) return removeRoot && Plat::RemoveDirectory(StripSeparator(dir));
    bool result = true;
    TSearchRecEx rec;
    // "." and ".." never pass the search filter; every other name is deleted, those
    // that start with a dot included, so that the root can always go.
    int code = FindFirstEx(AddBackslash(dir) + "*.*", 63, 0, rec);
    {
        TSearchGuard guard(rec);
        while (code == 0) {
            result = DeleteEntry(dir, rec, removeRoot) && result;
            code = FindNextEx(rec);
        }
    }
    if (removeRoot && result && code == static_cast<int>(Plat::ErrNoMoreFiles) && !IsBareDrive(dir))
        result = Plat::RemoveDirectory(dir);
    return result;
}

std::string AddBackslash(const std::string& path) {
    if (path.empty() || EndsInSeparator(path)) return path;
    return path + "\\";
}

int64_t FileSizeOf64(const std::string& fileName) {
    TSearchRecEx rec;
    if (FindFirstEx(Plat::FullPath(fileName), 63, 0, rec) != 0) return -1;
    TSearchGuard guard(rec);
    return static_cast<int64_t>(rec.FindData.size);
}

int32_t FileSizeOf(const std::string& fileName) {
    const int64_t size = FileSizeOf64(fileName);
    if (size < 0) return -1;
    return static_cast<int32_t>(static_cast<uint32_t>(size & 0xFFFFFFFF));
}

void ForceDirs(const std::string& dir) {
    if (dir.empty()) return;
    const std::string d = StripSeparator(dir);
    // Stop at a root: nothing left, a bare drive or network share, or an existing
    // directory. Short relative names such as "ab" are still created.
    if (d.empty() || d == DrivePart(d) || IsDirectory(d)) return;
    const auto pos = Plat::LastDelimiter(d);
    const std::string parent = pos == std::string::npos ? std::string() : d.substr(0, pos + 1);
    if (parent == d) return;
    ForceDirs(parent);
    Plat::CreateDirectory(d);
}

bool CreateDirExclusive(const std::string& dir) {
    return Plat::CreatePrivateDirectory(dir);
}

int32_t FreeBytesToKB(uint64_t bytes) {
    const uint64_t kb = bytes >> 10;
    return kb > 2147483647u ? 2147483647 : static_cast<int32_t>(kb);
}

int32_t DiskFreeKB(const std::string& path) {
    if (!DirExists(path)) return 0;
    std::string dir = path;
    if (OSVersion().Kind == osWin95 || OSVersion().Kind == osWin98) {
        const std::string drive = DrivePart(path);
        if (!drive.empty()) dir = drive + "\\";
    }
    uint64_t bytes = 0;
    if (!Plat::DiskFreeBytes(dir, bytes)) return 0;
    return FreeBytesToKB(bytes);
}

bool ForceDeleteFile(const std::string& fileName) {
    // Attributes of a link are those of its target, which must stay as it is.
    if (!IsLink(fileName)) Plat::SetAttributes(fileName, Plat::AttrNormal);
    return Plat::DeleteFile(fileName);
}

bool CopyFileTo(const std::string& source, const std::string& dest, TCopyProgressProc progress,
                bool append) {
    if (!Plat::FileExists(source)) return false;
    // Opening the destination would truncate (or grow) the very file being read.
    if (SameFile(source, dest)) return false;
    const int64_t total = FileSizeOf64(source);
    bool ok = false;
    {
        THandleGuard src(Plat::OpenFile(source, Plat::GenericRead, Plat::ShareRead,
                                        Plat::OpenExisting, Plat::AttrNormal));
        if (!src.Valid()) return false;
        THandleGuard dst(Plat::OpenFile(dest, Plat::GenericWrite, Plat::ShareRead,
                                        append ? Plat::OpenAlways : Plat::CreateAlways,
                                        Plat::AttrNormal));
        if (!dst.Valid()) return false;
        if (append && Plat::Seek(dst.Get(), 0, 2) < 0) return false;
        if (!CopyData(src.Get(), dst.Get(), source, dest, progress, total)) return false;
        uint64_t time = 0;
        if (Plat::GetLastWriteTime(src.Get(), time)) Plat::SetLastWriteTime(dst.Get(), time);
        ok = true;
    }
    const uint32_t attrs = Plat::GetAttributes(source);
    if (attrs != Plat::InvalidAttributes)
        Plat::SetAttributes(dest, attrs & ~Plat::AttrReparsePoint);  // a copy is no link
    return ok;
}

bool HasDriveLetters() {
    // Only a platform with drive letters treats ":" as a delimiter.
    static const bool hasDrives = Plat::LastDelimiter("C:") == 1;
    return hasDrives;
}

std::string DrivePart(const std::string& path) {
    if (!HasDriveLetters()) return "";
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return "";
    // \\server\share: up to the separator after the share name.
    auto serverEnd = path.find_first_of("\\/", 2);
    if (serverEnd == std::string::npos || serverEnd == 2) return "";
    auto shareEnd = path.find_first_of("\\/", serverEnd + 1);
    if (shareEnd == serverEnd + 1) return "";
    return path.substr(0, shareEnd);
}
