// The calling interface between the packer and a packing library (Pack.dll): three exports
// (and an optional fourth) and three callbacks. 32-bit Windows uses stdcall; other
// platforms the C convention.
// Strings are zero-terminated ANSI text; integers are 32-bit signed. A boolean result is
// nonzero for true.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define KEST_PACKCALL __attribute__((stdcall))
#else
#define KEST_PACKCALL
#endif

extern "C" {

/// Asks for the file name of volume n (1 first); the buffer holds 261 bytes.
typedef void(KEST_PACKCALL* TOnVolumeName)(int32_t volume, char* buffer);
/// The drive of directory path lacks space: the answer -1 stops, 0 checks again.
typedef void(KEST_PACKCALL* TOnDiskSpace)(const char* path, int32_t* answer);
/// One block of package data for the file being added, before it is written out; the
/// callee may rewrite the block in place. -1 to go on, 0 to stop.
typedef int32_t(KEST_PACKCALL* TOnWrite)(const char* fileName, int32_t reserved, int32_t fileSize,
                                         int32_t blockSize, int32_t done, void* block);

typedef int32_t(KEST_PACKCALL* TPackCreate)(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace,
                                            TOnWrite onWrite, int32_t level);
typedef int32_t(KEST_PACKCALL* TPackAddFile)(const char* sourceName, const char* storedName);
typedef int32_t(KEST_PACKCALL* TPackClose)();
/// Optional: the host tells whether it leaves the blocks of the files it adds from now on
/// as they are (nonzero) or may rewrite them (0, what the library assumes until told).
typedef int32_t(KEST_PACKCALL* TPackSetPlain)(int32_t plain);
}
