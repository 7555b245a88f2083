// Whether a package's data files are encrypted, told from the data itself. Kest.ini's check
// hash alone cannot tell: a build without a password keeps the hash that the project's
// Kest.ini already holds.
#pragma once

#include "PkgVolumes.h"

/// Reads the package from the start of stream: the presetup files as usual (damage there is
/// reported through FailPackage), then, when Kest.ini holds a check hash, the data files
/// without decryption up to the first one that is not empty. Plain data decodes with its
/// checksum right; encrypted data does not, and compressed data fails within its first
/// block. True when the data files are encrypted. Needs no exceptions.
bool DataIsEncrypted(TPackageStream& stream);
