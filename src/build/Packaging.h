// The two packaging passes (presetup files, then data files), the packer's progress and
// disk-space handlers, and the console prompt for free disk space.
#pragma once

#include <cstdint>
#include <string>

/// Adds the presetup copy and the presetup links; sets PresetupSize. False when a file
/// was refused.
bool CompressPresetup();
/// Adds the image's Data tree and the data links. False when a file was refused.
bool CompressData();

/// The progress line for a file: "  Adding <name>  " padded to 60 columns, then the
/// percentage done (half to even) or "Ok  " when the file is complete.
std::string ProgressLine(const std::string& shownName, int32_t fileSize, int32_t done);
/// Draws one progress line per report, a file's later reports over its earlier one.
bool ProgressHandler(const std::string& fileName, int32_t fileSize, int32_t blockSize,
                     int32_t done);
/// Asks the user to free space on the drive of path (no amount named); abort ends true
/// when the user pressed Esc.
void DiskSpaceHandler(const std::string& path, bool& abort);
/// Waits until more than the needed space is free on the drive of path, prompting the
/// user; bytesNeeded of zero or less means 100 KiB and no amount in the message. True
/// when the user pressed Esc.
bool ConfirmDiskSpace(const std::string& path, int32_t bytesNeeded);
