// The FileInfo records of the run-time Kest.ini (size and version of every data file), and
// the check that every file to be packed fits the package's 32-bit size fields.
#pragma once

#include <cstdint>
#include <string>

/// Records the image's Data tree and the data links in RuntimeIni's FileInfo section.
void RecordFileInfo();
/// Records every file under directory, keyed by its full name without skip characters.
void RecordTreeInfo(const std::string& directory, int32_t skipCount);
/// Records one existing file under key: its size, and ",major.minor.release.build" when
/// it carries version information.
void RecordOneFile(const std::string& fileName, const std::string& key);

/// Largest size that the package's 32-bit fields hold.
constexpr int64_t MaxPackableSize = 0x7FFFFFFF;
/// Checks the presetup copy, the data tree and every link before anything is packed: a
/// file of 2 GiB or more, or presetup files that add up to that, stop the build with an
/// error box naming the file. False when the build must stop.
bool CheckPackableSizes();
