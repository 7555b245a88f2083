// Files through the Win32 API: a package source, whole-file reads and small helpers. Names
// are ANSI bytes, as stored names are.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "PkgSource.h"

/// A file read at any offset (the executable and its volumes).
class TWinFileSource : public TByteSource {
  public:
    ~TWinFileSource() override;
    /// Null when the file cannot be opened.
    static std::unique_ptr<TWinFileSource> Open(const std::string& path);
    uint64_t Size() const override { return Length; }
    bool ReadAt(uint64_t offset, void* buf, size_t n) override;

  private:
    TWinFileSource(HANDLE file, uint64_t size) : File(file), Length(size) {}
    HANDLE File;
    uint64_t Length;
};

/// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

/// The system's message for an error code, without the line break.
std::string SystemMessage(DWORD error);

bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
/// The folder part of a path, without the last separator ("" when there is none).
std::string ParentOf(const std::string& path);
/// a + "\" + b, with one separator.
std::string JoinPath(const std::string& a, const std::string& b);
/// The full form of a path (GetFullPathName), without a trailing separator.
std::string FullPath(const std::string& path);

/// True when the process runs with administrator rights.
bool IsElevated();
/// The nearest of path and its parents that exists (a folder or a file); "" when none.
std::string ExistingAncestor(const std::string& path);
/// Bytes free for the user on the drive that dir is on or would be created on.
bool FreeBytes(const std::string& dir, uint64_t& free);
