// Our own reader of PE images in memory, for untrusted files: every offset is checked, nothing
// is allocated. It needs nothing else of the platform layer, so the installer stub uses it too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Plat {

/// The file version of the fixed version information (VS_FIXEDFILEINFO dwFileVersionMS /
/// LS), as the Windows API reads it: the version resource with id 1 only; its neutral
/// language, else English (United States), else the first; the fixed information's
/// signature is not checked. Used by the POSIX backend and by tests and fuzzers.
bool PeFileVersion(const unsigned char* data, size_t size, uint32_t& ms, uint32_t& ls);

/// The Authenticode certificate table named by the security directory (a file offset and a
/// length, not checked against the file's size), read from the image's first bytes head.
/// False when the image has none.
bool PeCertificateTable(const unsigned char* head, size_t size, uint32_t& offset, uint32_t& length);

}  // namespace Plat
