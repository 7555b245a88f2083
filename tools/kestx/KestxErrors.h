// The two ways kestx fails, each with its own exit code.
#pragma once

#include <stdexcept>

#include "PkgErrors.h"

/// The command line cannot be understood (exit code 1).
class EKestxUsage : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The package is not ours, damaged, incomplete, protected by another password, or could
/// not be read or extracted (exit code 2): the reader's own error.
using EKestxData = EPackageData;

constexpr int KestxExitOk = 0;
constexpr int KestxExitUsage = 1;
constexpr int KestxExitData = 2;
