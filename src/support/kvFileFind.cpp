#include "kvFileFind.h"

#include "kvErrors.h"

namespace {

constexpr uint32_t AnyAttributes = 63;

bool IsDotEntry(const std::string& name) {
    return name == "." || name == "..";
}

bool Passes(const TSearchRecEx& rec) {
    const uint32_t attrs = rec.FindData.attributes;
    if (rec.IncludeMask != AnyAttributes && (attrs & rec.IncludeMask) == 0) return false;
    if ((attrs & rec.ExcludeMask) != 0) return false;
    return !IsDotEntry(rec.FindData.name);
}

void FillFromFindData(TSearchRecEx& rec) {
    const Plat::FindData& d = rec.FindData;
    rec.DosTime = Plat::FileTimeToDosTime(d.lastWrite);
    rec.Size = static_cast<int32_t>(static_cast<uint32_t>(d.size & 0xFFFFFFFFu));
    rec.Attributes = d.attributes;
    rec.Name = d.name;
    rec.FullName = rec.Dir + rec.Name;
}

// Skips entries that fail the masks; the platform's code when the search runs out.
int AdvanceToPassingEntry(TSearchRecEx& rec) {
    while (!Passes(rec)) {
        if (!Plat::FindNext(rec.Handle, rec.FindData)) return static_cast<int>(Plat::LastError());
    }
    FillFromFindData(rec);
    return 0;
}

std::string DirPartOf(const std::string& mask) {
    const auto pos = Plat::LastDelimiter(mask);
    return pos == std::string::npos ? std::string() : mask.substr(0, pos + 1);
}

void RefuseDevice(const std::string& path, uint32_t attributes) {
    if (attributes == Plat::InvalidAttributes || !(attributes & Plat::AttrDevice)) return;
    throw EInOutError(path +
                      " is a FIFO, socket or device, not a regular file; only regular "
                      "files can be packed");
}

void CheckEntry(const TSearchRecEx& rec) {
    // Such a name could be neither opened by its ANSI spelling nor installed.
    if (!rec.FindData.nameFits)
        throw EInOutError("The name of " + rec.FullName + " has characters that the code page " +
                          std::to_string(Plat::AnsiCodePage()) + " cannot hold");
    RefuseDevice(rec.FullName, rec.Attributes);
}

// The end of a search: fine when nothing (more) matched or the folder is not there at all;
// a folder that is there but cannot be read would otherwise leave its files out unseen.
void CheckSearchEnd(int code, const std::string& dir) {
    if (code == 0 || code == static_cast<int>(Plat::ErrNoMoreFiles) ||
        code == static_cast<int>(Plat::ErrFileNotFound))
        return;
    const uint32_t attributes = Plat::GetAttributes(dir.empty() ? "." : dir);
    if (code == static_cast<int>(Plat::ErrPathNotFound) &&
        (attributes == Plat::InvalidAttributes || !(attributes & Plat::AttrDirectory)))
        return;
    throw EInOutError("Cannot read the folder " + (dir.empty() ? std::string(".") : dir) + ": " +
                      Plat::ErrorText(static_cast<uint32_t>(code)));
}

}  // namespace

int FindFirstEx(const std::string& mask, uint32_t includeMask, uint32_t excludeMask,
                TSearchRecEx& rec) {
    rec.Dir = DirPartOf(mask);
    rec.IncludeMask = includeMask == 0 ? AnyAttributes : includeMask;
    rec.ExcludeMask = excludeMask;
    rec.Handle = Plat::FindFirst(mask, rec.FindData);
    if (rec.Handle == Plat::InvalidHandle) return static_cast<int>(Plat::LastError());
    const int code = AdvanceToPassingEntry(rec);
    if (code != 0) {
        Plat::FindClose(rec.Handle);
        rec.Handle = Plat::InvalidHandle;
    }
    return code;
}

int FindNextEx(TSearchRecEx& rec) {
    if (rec.Handle == Plat::InvalidHandle) return static_cast<int>(Plat::ErrNoMoreFiles);
    if (!Plat::FindNext(rec.Handle, rec.FindData)) return static_cast<int>(Plat::LastError());
    return AdvanceToPassingEntry(rec);
}

void FindCloseEx(TSearchRecEx& rec) {
    if (rec.Handle == Plat::InvalidHandle) return;
    Plat::FindClose(rec.Handle);
    // A search closed twice (an explicit close plus a TSearchGuard) must not close a
    // handle that the platform has meanwhile given to someone else.
    rec.Handle = Plat::InvalidHandle;
}

bool ForEachEntry(const std::string& mask, uint32_t includeMask, uint32_t excludeMask,
                  const std::function<bool(const TSearchRecEx&)>& visit) {
    TSearchRecEx rec;
    TSearchGuard guard(rec);
    int code = FindFirstEx(mask, includeMask, excludeMask, rec);
    for (; code == 0; code = FindNextEx(rec)) {
        CheckEntry(rec);
        if (!visit(rec)) return false;
    }
    CheckSearchEnd(code, DirPartOf(mask));
    return true;
}

void RequireRegularFile(const std::string& path) {
    RefuseDevice(path, Plat::GetAttributes(path));
}

bool TVisitedDirs::FirstVisit(const std::string& dir) {
    uint64_t volume = 0, index = 0;
    if (!Plat::FileIdentity(dir, volume, index)) return true;
    return Seen.insert({volume, index}).second;
}
