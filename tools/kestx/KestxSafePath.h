// Keeping extraction inside its target directory: stored names are checked before anything
// is written, and no existing symbolic link below the target is ever followed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "PkgStoredName.h"

/// Creates the directories of a checked name below dir and returns the file's full path.
/// Raises EKestxData when a component below dir is a symbolic link or not a directory, or
/// when the file's own name is taken by a link or a directory.
std::filesystem::path PrepareOutputFile(const std::filesystem::path& dir,
                                        const std::vector<std::string>& parts);

/// Refuses (EKestxData) a name that is a symbolic link or a directory.
void RefuseLinkOrDirectory(const std::filesystem::path& path);
