// The build's private presetup copy: the project's presetup files merged over the
// program's defaults, then fitted to the project's languages and uninstaller choice.
#pragma once

#include <string>

/// Builds BuildDir + "Presetup" and sets RuntimeIni.
void AssemblePresetup();
/// Copies a directory tree; an existing target file is replaced only when overwrite is set.
/// Files that cannot be copied are skipped.
void CopyTree(const std::string& source, const std::string& target, bool overwrite);
