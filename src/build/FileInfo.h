// The FileInfo records of the run-time Kest.ini (size and version of every data file), and
// the checks that every file to be packed fits the package's 32-bit size fields (the data
// files are checked by the same walk that records them, which big projects would feel).
#pragma once

#include <cstdint>
#include <string>

/// Records the image's Data tree and the data links in RuntimeIni's FileInfo section.
void RecordFileInfo();
/// Records every file under directory, keyed by its full name without skip characters.
void RecordTreeInfo(const std::string& directory, int32_t skipCount);
/// Records one existing file under key: its size, and ",major.minor.release.build" when
/// it carries version information. A file too large for the package is not recorded but
/// noted for CheckDataSizes.
void RecordOneFile(const std::string& fileName, const std::string& key);

/// Largest size that the package's 32-bit fields hold.
constexpr int64_t MaxPackableSize = 0x7FFFFFFF;
/// Checks the presetup copy and the presetup links before anything is packed: a file of
/// 2 GiB or more, or presetup files that add up to that, stop the build with an error box
/// naming the file. False when the build must stop.
bool CheckPresetupSizes();
/// After RecordFileInfo: a data file of 2 GiB or more got no record and stops the build
/// with an error box naming it. False when the build must stop.
bool CheckDataSizes();
