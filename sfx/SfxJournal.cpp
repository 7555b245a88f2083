#include "SfxJournal.h"

#include "SfxFile.h"

namespace {

// A name beside the file that no other file uses.
std::string BackupName(const std::string& final) {
    for (unsigned n = 0;; ++n) {
        std::string name = final + ".kest-old" + (n ? std::to_string(n) : std::string());
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
    }
}

}  // namespace

TJournal& Journal() {
    static TJournal journal;
    return journal;
}

bool TJournal::ForceDirs(const std::string& path) {
    if (path.empty() || DirExists(path)) return true;
    const std::string parent = ParentOf(path);
    if (parent.size() < path.size() && !parent.empty() && !ForceDirs(parent)) return false;
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        if (GetLastError() == ERROR_ALREADY_EXISTS && DirExists(path)) return true;
        return false;
    }
    CreatedDirs.push_back(path);
    return true;
}

void TJournal::BeginTemp(const std::string& path, HANDLE handle) {
    Temps.emplace_back(path, handle);
}

void TJournal::EndTemp(const std::string& path) {
    for (auto& t : Temps)
        if (t.first == path) t.second = INVALID_HANDLE_VALUE;
}

bool TJournal::Place(const std::string& temp, const std::string& final) {
    const DWORD attributes = GetFileAttributesA(final.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            SetLastError(ERROR_DIRECTORY);
            return false;
        }
        const std::string backup = BackupName(final);
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesA(final.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!MoveFileA(final.c_str(), backup.c_str())) {
            const DWORD error = GetLastError();
            if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(final.c_str(), attributes);
            SetLastError(error);
            return false;
        }
        Replaced.push_back({final, backup});
    }
    if (!MoveFileA(temp.c_str(), final.c_str())) return false;
    Placed.push_back(final);
    return true;
}

void TJournal::Created(const std::string& path) {
    Placed.push_back(path);
}

void TJournal::Commit() {
    for (const TReplaced& r : Replaced) {
        SetFileAttributesA(r.Backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        // A backup still in use (a running program) goes when the system restarts.
        if (!DeleteFileA(r.Backup.c_str()))
            MoveFileExA(r.Backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    Replaced.clear();
    Temps.clear();
}

void TJournal::Rollback() {
    for (auto it = Temps.rbegin(); it != Temps.rend(); ++it) {
        if (it->second != INVALID_HANDLE_VALUE) CloseHandle(it->second);
        DeleteFileA(it->first.c_str());
    }
    Temps.clear();
    for (auto it = Placed.rbegin(); it != Placed.rend(); ++it) DeleteFileA(it->c_str());
    Placed.clear();
    for (auto it = Replaced.rbegin(); it != Replaced.rend(); ++it)
        MoveFileA(it->Backup.c_str(), it->Final.c_str());
    Replaced.clear();
    for (auto it = CreatedDirs.rbegin(); it != CreatedDirs.rend(); ++it)
        RemoveDirectoryA(it->c_str());
    CreatedDirs.clear();
}
