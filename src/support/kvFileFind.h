// Extended directory search with include and exclude attribute masks.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "Platform.h"

struct TSearchRecEx {
    uint32_t DosTime = 0;
    int32_t Size = 0;
    uint32_t Attributes = 0;
    std::string Dir;
    std::string Name;
    std::string FullName;
    uint32_t IncludeMask = 0;
    uint32_t ExcludeMask = 0;
    Plat::Handle Handle = Plat::InvalidHandle;
    Plat::FindData FindData;
};

/// 0 and the first passing entry, or a platform error code with no search left open.
int FindFirstEx(const std::string& mask, uint32_t includeMask, uint32_t excludeMask,
                TSearchRecEx& rec);
/// 0 and the next passing entry, or a platform error code (18 at the end).
int FindNextEx(TSearchRecEx& rec);
void FindCloseEx(TSearchRecEx& rec);

/// Closes a search when it goes out of scope, so every path closes it.
class TSearchGuard {
  public:
    explicit TSearchGuard(TSearchRecEx& rec) : Rec(rec) {}
    ~TSearchGuard() { FindCloseEx(Rec); }
    TSearchGuard(const TSearchGuard&) = delete;
    TSearchGuard& operator=(const TSearchGuard&) = delete;

  private:
    TSearchRecEx& Rec;
};

/// Calls visit for every passing entry of a search, the search closed on every path, until
/// visit returns false (false then). What a walk must never pass over in silence raises
/// EInOutError naming it: a folder that exists but cannot be searched, a name that the code
/// page cannot hold, and an entry that is neither a regular file nor a folder. A folder
/// that does not exist, or holds nothing that matches, is simply empty.
bool ForEachEntry(const std::string& mask, uint32_t includeMask, uint32_t excludeMask,
                  const std::function<bool(const TSearchRecEx&)>& visit);

/// Raises EInOutError naming path when it is a FIFO, socket or device: only regular files
/// are packed. A missing name passes (whoever opens it tells).
void RequireRegularFile(const std::string& path);

/// The directories a walk has entered, by identity (device and inode on POSIX, volume and
/// file ID on Windows), so that a walk through symbolic links never enters one twice: links
/// back to a parent or to "." then cannot make it endless. One object per walk.
class TVisitedDirs {
  public:
    /// True the first time dir is seen (and for a directory whose identity cannot be read,
    /// which the walk's own search then handles); false when it was entered before.
    bool FirstVisit(const std::string& dir);

  private:
    std::set<std::pair<uint64_t, uint64_t>> Seen;
};
