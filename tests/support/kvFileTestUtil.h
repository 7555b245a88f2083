// File helpers for the support tests that go through the platform layer, so that names
// with non-ASCII bytes mean the same bytes that the units under test see.
#pragma once

#include <string>

#include "Platform.h"

namespace FileTest {

/// Creates or replaces a file with the given bytes; false when it cannot be written.
inline bool Write(const std::string& path, const std::string& bytes) {
    Plat::Handle h = Plat::OpenFile(path, Plat::GenericWrite, Plat::ShareRead, Plat::CreateAlways,
                                    Plat::AttrNormal);
    if (h == Plat::InvalidHandle) return false;
    uint32_t written = 0;
    const bool ok =
        bytes.empty() ||
        (Plat::WriteFile(h, bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
         written == bytes.size());
    Plat::CloseFile(h);
    return ok;
}

/// The whole file, or "<missing>" when it cannot be opened.
inline std::string Read(const std::string& path) {
    Plat::Handle h = Plat::OpenFile(path, Plat::GenericRead, Plat::ShareRead, Plat::OpenExisting,
                                    Plat::AttrNormal);
    if (h == Plat::InvalidHandle) return "<missing>";
    std::string out;
    char buf[65536];
    uint32_t read = 0;
    while (Plat::ReadFile(h, buf, sizeof buf, read) && read > 0) out.append(buf, read);
    Plat::CloseFile(h);
    return out;
}

inline bool Exists(const std::string& path) {
    return Plat::GetAttributes(path) != Plat::InvalidAttributes;
}

/// Last-write time in FILETIME units, or 0.
inline uint64_t WriteTime(const std::string& path) {
    Plat::Handle h = Plat::OpenFile(path, Plat::GenericRead, Plat::ShareRead, Plat::OpenExisting,
                                    Plat::AttrNormal);
    if (h == Plat::InvalidHandle) return 0;
    uint64_t t = 0;
    Plat::GetLastWriteTime(h, t);
    Plat::CloseFile(h);
    return t;
}

inline bool SetWriteTime(const std::string& path, uint64_t fileTime) {
    Plat::Handle h = Plat::OpenFile(path, Plat::GenericWrite, Plat::ShareRead, Plat::OpenExisting,
                                    Plat::AttrNormal);
    if (h == Plat::InvalidHandle) return false;
    const bool ok = Plat::SetLastWriteTime(h, fileTime);
    Plat::CloseFile(h);
    return ok;
}

/// Whether this process can still write to a read-only file (root on POSIX can), in
/// which case tests that expect a denial have nothing to observe.
inline bool ReadOnlyIsEnforced(const std::string& scratchFile) {
    Write(scratchFile, "x");
    Plat::SetAttributes(scratchFile, Plat::AttrReadOnly);
    Plat::Handle h = Plat::OpenFile(scratchFile, Plat::GenericWrite, Plat::ShareRead,
                                    Plat::OpenExisting, Plat::AttrNormal);
    const bool denied = h == Plat::InvalidHandle;
    if (!denied) Plat::CloseFile(h);
    Plat::SetAttributes(scratchFile, Plat::AttrNormal);
    Plat::DeleteFile(scratchFile);
    return denied;
}

}  // namespace FileTest
