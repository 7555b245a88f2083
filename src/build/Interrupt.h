// Interrupts (Ctrl+C, SIGTERM, the console closed) during a build. The system delivers them
// on a thread of their own; the work runs on the main thread. So an interrupt only asks the
// work to stop: the main thread stops at its next check, its clean-up scopes remove the
// build directory, the files it created are removed, and then the process ends. Work that
// does not come to a check in time (waiting for a key) is cleaned up from the interrupt's
// thread instead.
#pragma once

#include <cstdint>
#include <string>

#include "kvErrors.h"

/// Raised at a check once the user has interrupted the build.
class EInterrupted : public EKestError {
  public:
    EInterrupted() : EKestError("The build was interrupted") {}
};

/// Raises EInterrupted once the user has interrupted the build.
void CheckInterrupt();
/// True once the user has interrupted the build.
bool InterruptRequested();
/// A copy's progress handler that stops the copy once the user has interrupted the build.
bool CopyGoesOn(const std::string& source, const std::string& dest, int32_t written, int32_t done,
                int32_t total);

/// While it lives, an interrupt stops the build at its next check instead of ending the
/// process at once.
class TInterruptWatch {
  public:
    TInterruptWatch();
    ~TInterruptWatch();
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;
};

/// Marks a file or directory that the build created and an interrupt must remove; the
/// empty name for none. Tree: a directory removed with everything in it.
void KeepForRemoval(const std::string& path, bool tree);
/// Forgets a name given to KeepForRemoval (the build removed it or keeps it).
void ForgetRemoval(const std::string& path);

/// On the main thread, after an interrupt stopped the work: removes what the build
/// created and lets the process end (with the interrupt's exit code). Never returns.
[[noreturn]] void FinishInterrupt();
