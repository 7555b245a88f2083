// Everything an installation changes in the target, so that a failure or a cancel can put
// it back exactly as it was: folders it created, files it is writing, files it placed and
// the files they replaced (kept under a backup name until the installation is complete).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TJournal {
  public:
    /// Creates the folders of path that do not exist yet and records them. False (with
    /// GetLastError set) when one cannot be created.
    bool ForceDirs(const std::string& path);
    /// A temporary file that is being written; its handle is closed on rollback.
    void BeginTemp(const std::string& path, HANDLE handle);
    /// The temporary file is closed (kept for Place, or already deleted).
    void EndTemp(const std::string& path);
    /// Moves a finished temporary file to its final name; an existing file there is first
    /// moved to a backup name. False (with GetLastError set) when a move fails.
    bool Place(const std::string& temp, const std::string& final);
    /// Records a file written directly under its final name (nothing was there before).
    void Created(const std::string& path);
    /// The installation is complete: the backups are deleted.
    void Commit();
    /// Undoes everything in reverse order: new files deleted, backups restored, created
    /// folders removed when empty.
    void Rollback();

    /// The files placed or created, for the uninstall record.
    const std::vector<std::string>& Installed() const { return Placed; }
    /// The folders created, outermost first.
    const std::vector<std::string>& Dirs() const { return CreatedDirs; }

  private:
    struct TReplaced {
        std::string Final, Backup;
    };
    std::vector<std::string> CreatedDirs;
    std::vector<std::pair<std::string, HANDLE>> Temps;
    std::vector<std::string> Placed;
    std::vector<TReplaced> Replaced;
};

/// The one journal of this process (the failure path needs it).
TJournal& Journal();
