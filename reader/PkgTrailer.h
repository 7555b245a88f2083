// Finding the 8-byte trailer of a built executable: the presetup size and the offset S of
// the trailer itself (the size of stub + package volume 1). A signed executable carries its
// Authenticode certificate table after the trailer; the PE header tells where it begins.
#pragma once

#include <cstdint>

#include "PkgSource.h"

struct TPeCertificateTable {
    uint32_t Offset = 0;  // file offset (the data directory holds a file offset here)
    uint32_t Size = 0;
};

/// The certificate table named by the PE header's security directory, when the file is a PE
/// image with a non-empty one that lies inside the file.
bool FindCertificateTable(TByteSource& src, TPeCertificateTable& table);

struct TTrailer {
    uint32_t PresetupSize = 0;
    uint32_t Offset = 0;  // S: where the trailer starts; the package's volume 1 ends here
};

/// Locates the trailer at the end of the file or just before a certificate table that ends
/// the file (allowing the zero padding that signing tools put before it). Raises EKestxData
/// when there is none.
TTrailer LocateTrailer(TByteSource& src);
