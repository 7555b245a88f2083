// The installation: reads the package from the executable (and its further volumes),
// extracts the presetup files into a private temporary folder, checks the password, then
// installs the data files into the target folder all or nothing, and registers the
// uninstaller.
#pragma once

#include "SfxArgs.h"
#include "SfxUi.h"

/// Installs; returns ExitInstalled. Every failure ends the process through AbortInstall.
int RunInstall(const TSfxArgs& args, TUi& ui);

/// Whether password is the one whose check hash Kest.ini holds.
bool PasswordMatches(const std::string& password, const std::string& hash);
