#include "BuildSys.h"

#include <cstdlib>

#include "Platform.h"
#include "StoredNames.h"
#include "kvErrors.h"
#include "kvFileFind.h"
#include "kvFileUtils.h"
#include "kvUtils.h"

namespace {

constexpr int EscKey = 27;

TBuildConsole RealConsole() {
    return TBuildConsole{
        [](const std::string& text) { return Plat::WriteStdout(text); },
        [] { return Plat::CursorToLineAbove(); },
        // Switched off, every wait answers Esc at once: the disk-space prompt then stops
        // the build instead of blocking an unattended run.
        [] { return KeyWaitSwitchedOff() ? EscKey : WaitForKey(); },
        [](const std::string& path) { return DiskFreeKB(path); },
    };
}

TBuildConsole& ConsoleState() {
    static TBuildConsole console = RealConsole();
    return console;
}

}  // namespace

TBuildConsole& BuildConsole() {
    return ConsoleState();
}

void ResetBuildConsole() {
    ConsoleState() = RealConsole();
}

namespace BuildSys {

std::string FullPathOf(const std::string& path) {
    return path.empty() ? std::string() : Plat::FullPath(path);
}

bool FileExists(const std::string& path) {
    return Plat::FileExists(path);
}

namespace {

struct TIdentity {
    uint64_t Volume = 0, Index = 0;
    bool Known = false;
    bool operator==(const TIdentity& other) const {
        return Known && other.Known && Volume == other.Volume && Index == other.Index;
    }
};

TIdentity IdentityOf(const std::string& path) {
    TIdentity id;
    id.Known = !path.empty() && Plat::FileIdentity(path, id.Volume, id.Index);
    return id;
}

std::string ParentOf(const std::string& path) {
    std::string p = path;
    while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    const auto cut = Plat::LastDelimiter(p);
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

}  // namespace

bool SameObject(const std::string& a, const std::string& b) {
    return IdentityOf(a) == IdentityOf(b);
}

bool LiesInside(const std::string& path, const std::string& dir) {
    const TIdentity inner = IdentityOf(dir);
    if (!inner.Known) return false;
    std::string full = Plat::FullPath(path);
    // Only parts that end in a separator: a bare drive ("C:") names its current directory.
    for (std::string p = ParentOf(full); !p.empty() && (p.back() == '\\' || p.back() == '/');
         p = ParentOf(p))
        if (IdentityOf(p) == inner) return true;
    return false;
}

bool MakeWritable(const std::string& path) {
    uint32_t attributes = Plat::GetAttributes(path);
    if (attributes == Plat::InvalidAttributes) return false;
    if (!(attributes & Plat::AttrReadOnly)) return true;
    return Plat::SetAttributes(path, attributes & ~Plat::AttrReadOnly);
}

std::string ArgumentText(const char* argument) {
    return Plat::CommandLineText(argument);
}

std::string CodePageProblem() {
    if (Plat::AnsiCodePage() != 0) return {};
    const char* chosen = std::getenv("KEST_CODEPAGE");
    return std::string("KEST_CODEPAGE=") + (chosen ? chosen : "") +
           " is not a code page that names can be kept in (874, 1250 to 1258)";
}

std::string PrintableText(const std::string& text, bool keepLineFeeds) {
    return Plat::PrintableText(text, keepLineFeeds);
}

std::string UpperCase(const std::string& text) {
    return Plat::AnsiUpper(text);
}

void SetTitle(const std::string& title) {
    Plat::SetConsoleTitle(title);
}

void OnInterrupt(void (*handler)()) {
    Plat::OnInterrupt(handler);
}

void ForEachFound(const std::string& mask, uint32_t includeMask, uint32_t excludeMask,
                  const std::function<void(const std::string&, const std::string&)>& visit) {
    ForEachEntry(mask, includeMask, excludeMask, [&](const TSearchRecEx& rec) {
        RequireStorableName(rec.Name, rec.FullName);
        visit(rec.Name, rec.FullName);
        return true;
    });
}

namespace {

constexpr int LockAttempts = 3;

// The name must still lead to the file that was locked: a holder that just ended may have
// removed it, and a lock on a removed file keeps nobody out.
bool StillNamed(const std::string& path, Plat::Handle handle) {
    uint64_t volume = 0, index = 0;
    return Plat::HandleIdentity(handle, volume, index) &&
           IdentityOf(path) == TIdentity{volume, index, true};
}

}  // namespace

TFileLock::TFileLock(const std::string& path) : Path(path), Handle(Plat::InvalidHandle) {
    for (int attempt = 0; attempt < LockAttempts; ++attempt) {
        // Only a lock file made here is removed after: one that was there stays.
        Plat::Handle h = Plat::OpenFile(path, Plat::GenericWrite, Plat::ShareRead, Plat::CreateNew,
                                        Plat::AttrNormal);
        Created = h != Plat::InvalidHandle;
        if (!Created && Plat::LastError() == Plat::ErrFileExists)
            h = Plat::OpenFile(path, Plat::GenericWrite, Plat::ShareRead, Plat::OpenExisting,
                               Plat::AttrNormal);
        if (h == Plat::InvalidHandle) {
            Busy = Plat::LastError() == Plat::ErrSharingViolation;
            return;
        }
        if (StillNamed(path, h)) {
            Handle = h;
            return;
        }
        Plat::CloseFile(h);
    }
}

TFileLock::~TFileLock() {
    if (!Held()) return;
    if (!Created) {
        Plat::CloseFile(Handle);
        return;
    }
    // Removed while still held where the system allows it, so that nobody locks it between;
    // where an open file cannot be removed, the next holder keeps it from being removed.
    if (Plat::DeleteFile(Path)) {
        Plat::CloseFile(Handle);
    } else {
        Plat::CloseFile(Handle);
        Plat::DeleteFile(Path);
    }
}

bool TFileLock::Held() const {
    return Handle != Plat::InvalidHandle;
}

bool CreateNewFile(const std::string& path) {
    Plat::Handle h = Plat::OpenFile(path, Plat::GenericWrite, Plat::ShareRead, Plat::CreateNew,
                                    Plat::AttrNormal);
    return h != Plat::InvalidHandle && Plat::CloseFile(h);
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    return Plat::ReplaceFile(from, to);
}

TAppendFile::TAppendFile(const std::string& path)
    : Handle(Plat::OpenFile(path, Plat::GenericWrite, Plat::ShareRead, Plat::OpenExisting,
                            Plat::AttrNormal)) {
    if (Handle != Plat::InvalidHandle) Size = Plat::Seek(Handle, 0, 2);
}

TAppendFile::~TAppendFile() {
    Close();
}

bool TAppendFile::Close() {
    if (Handle == Plat::InvalidHandle) return false;
    bool closed = Plat::CloseFile(Handle);
    Handle = Plat::InvalidHandle;
    return closed;
}

bool TAppendFile::IsOpen() const {
    return Handle != Plat::InvalidHandle && Size >= 0;
}

bool TAppendFile::Write(const void* data, uint32_t count) {
    uint32_t written = 0;
    return IsOpen() && Plat::WriteFile(Handle, data, count, written) && written == count;
}

}  // namespace BuildSys
