// How the package reader reports a package it cannot read: one call that never returns.
// The reader runs in hosts with and without C++ exceptions (the installer stub is built
// without them to stay small), so the host supplies what "never returns" means: kestx and
// the tests throw EPackageData (PkgFailThrow.cpp), the installer rolls back and exits.
#pragma once

#include <string>

/// Reports why the package cannot be read; does not return.
[[noreturn]] void FailPackage(const std::string& why);
