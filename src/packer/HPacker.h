// The packer: drives the packing library Pack.dll (loaded from the program's directory),
// answers its callbacks and encrypts data blocks when a password is set.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "PackApi.h"

class TVisitedDirs;

/// Asked when a drive lacks space: leave abort true to stop, set it false to go on.
using TDiskSpaceProc = void (*)(const std::string& path, bool& abort);
/// Called for every block written for a file; returns true to go on.
using TProgressProc = bool (*)(const std::string& fileName, int32_t fileSize, int32_t blockSize,
                               int32_t done);

/// One packer at a time: the library's callbacks carry no context, so the handlers, the
/// package base name and the active cipher live in module state that a new packer replaces.
/// An exception raised by a handler inside a callback never crosses the library: it is kept
/// and raised again by AddFile or Close once the library's export has returned.
class TPacker {
  public:
    /// Loads ProgramDir() + "Pack.dll" and calls its Create. Raises EKestError with
    /// "Can't load pack library" or "Important functions was not found in the pack library".
    TPacker(const std::string& packageFileName, TDiskSpaceProc diskSpace, TProgressProc progress,
            int32_t level);
    ~TPacker();
    TPacker(const TPacker&) = delete;
    TPacker& operator=(const TPacker&) = delete;

    /// Adds one file under a stored name (relative, "\" separators); true when added.
    bool AddFile(const std::string& sourceName, const std::string& storedName);
    /// Adds the files matching mask (a directory part ending in a separator, then a
    /// pattern), then, when recursive, the matching subdirectories depth first, each
    /// directory entered once however links lead back to it. Stored
    /// names are the full names without their first skipCount characters. Stops at the
    /// first refused file with false.
    bool AddTree(const std::string& mask, bool recursive, int32_t skipCount);
    /// AddTree with stored names relative to baseDir.
    bool AddTreeFrom(const std::string& mask, const std::string& baseDir, bool recursive);
    /// Finishes the package; true on success. The library stays loaded until destruction.
    bool Close();

    /// Files added after this call are encrypted under the HAVAL digest of password; an
    /// empty password switches protection off.
    void SetPassword(const std::string& password);

    /// Called with every volume name handed to the library (the files it is about to
    /// create), so that they can be removed if the build is interrupted; none by default.
    static void SetVolumeNotice(void (*notice)(const std::string& volumeName));

    /// The 32-byte HAVAL-256 digest of text's bytes.
    static void HashString(const std::string& text, uint8_t* digest);
    /// HashString as 64 upper-case hexadecimal digits.
    static std::string HashStringHex(const std::string& text);

  private:
    using TKey = std::array<uint8_t, 32>;

    bool AddTreeOnce(const std::string& mask, bool recursive, int32_t skipCount,
                     TVisitedDirs& visited);

    void* Library = nullptr;
    TPackCreate PackCreate = nullptr;
    TPackAddFile PackAddFile = nullptr;
    TPackClose PackClose = nullptr;
    TPackSetPlain PackSetPlain = nullptr;
    std::unique_ptr<TKey> Key;
};
