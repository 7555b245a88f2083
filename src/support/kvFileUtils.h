// Raw file handles with text lines, unique names, directories, free space, forced
// deletion and the copy routine that can append and carries time and attributes over.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Platform.h"

extern const int CopyBufferSize;  // 131072

using TCopyProgressProc = bool (*)(const std::string& source, const std::string& dest,
                                   int32_t written, int32_t done, int32_t total);

Plat::Handle OpenFileHandle(const std::string& name, uint32_t access, uint32_t share,
                            uint32_t disposition, uint32_t attributes);
void CloseFileHandle(Plat::Handle& h);
int32_t FilePosition(Plat::Handle h);
bool AtEndOfFile(Plat::Handle h);
void ReadTextLine(Plat::Handle h, std::string& line);
/// Writes text and CR LF; false when not all of it was written.
bool WriteTextLine(Plat::Handle h, const std::string& text);
/// Eight characters from the local date and time, under which nothing exists yet in dir.
std::string UniqueName(const std::string& dir);
/// UniqueName with the clock given: asks it again for as long as the name is taken.
std::string UniqueNameAt(const std::string& dir, const std::function<Plat::LocalTime()>& clock);
/// The eight-character name of a moment: day stamp (3 digits) and hundredths of a
/// second since midnight (5 digits), both in base 32.
std::string DateTimeName(const Plat::LocalTime& t);
bool IsDirectory(const std::string& path);
bool DirExists(const std::string& path);
bool DeleteTree(const std::string& dir, bool removeRoot);
std::string AddBackslash(const std::string& path);
int32_t FileSizeOf(const std::string& fileName);
/// Full 64-bit size, or -1 (for callers that must not lose sizes of 2 GiB and more).
int64_t FileSizeOf64(const std::string& fileName);
void ForceDirs(const std::string& dir);
/// Creates one directory exclusively (fails when anything of that name exists);
/// owner-only access on POSIX.
bool CreateDirExclusive(const std::string& dir);
int32_t DiskFreeKB(const std::string& path);
/// Bytes to whole KiB, saturating at 2147483647 instead of wrapping.
int32_t FreeBytesToKB(uint64_t bytes);
bool ForceDeleteFile(const std::string& fileName);
bool CopyFileTo(const std::string& source, const std::string& dest, TCopyProgressProc progress,
                bool append);
/// Whether paths of this platform have drive parts ("C:", \\server\share).
bool HasDriveLetters();
/// The drive part of a path: "C:" for a drive letter, the leading \\server\share of a
/// network path, else empty.
std::string DrivePart(const std::string& path);
