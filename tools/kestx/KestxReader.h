// The three commands over a built executable and its volumes.
#pragma once

#include <ostream>

#include "KestxArgs.h"

struct TKestxStreams {
    std::ostream& Out;                 // listing and summaries
    std::ostream& Err;                 // warnings and refused names
    std::ostream* Progress = nullptr;  // the progress bar, when shown
};

/// Runs list, verify or extract. Returns 0, or 2 when stored names were refused; raises
/// EKestxData on any error in the package or while writing.
int RunKestxCommand(const TKestxArgs& args, TKestxStreams& io);
