// The exception that hosts with exceptions raise for an unreadable package.
#pragma once

#include <stdexcept>

/// The package is not ours, damaged, incomplete, protected by another password, or could
/// not be read or written.
class EPackageData : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
