// The installer's exit codes and its one way out on failure.
#pragma once

#include <string>

enum TExitCode : int {
    ExitInstalled = 0,
    ExitCancelled = 1,
    ExitBadSwitches = 2,
    ExitWrongPassword = 3,
    ExitDamaged = 4,      // damaged, incomplete or missing volume
    ExitWriteFailed = 5,  // not enough space, or a file could not be written or replaced
};

/// Rolls back whatever the installation changed, removes the temporary folder, reports why
/// (log, standard error, and a message box when a window is shown) and ends the process.
[[noreturn]] void AbortInstall(TExitCode code, const std::string& why);
