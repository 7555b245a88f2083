// The exceptions that the system raises: one base class and the kinds it names.
#pragma once

#include <stdexcept>
#include <string>

class EKestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// An input/output error ("Cannot open file %s", an output error on the console).
class EInOutError : public EKestError {
public:
    using EKestError::EKestError;
};

/// A failed operating-system call ("Win32 Error.  Code: %d.\n%s").
class EPlatformError : public EKestError {
public:
    EPlatformError(const std::string& message, unsigned code) : EKestError(message), Code(code) {}
    unsigned Code;
};
