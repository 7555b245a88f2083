// Helpers shared by the test suites: scratch directories and whole-file I/O, built on the
// standard library so that tests never depend on the code they test.
#pragma once

#include <string>

namespace TestUtil {

/// A fresh, empty scratch directory, removed with everything in it when the object dies.
/// Path() ends in a separator ("/" natively, "\" on Windows).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return Dir; }
    /// Path() + relative name, with the native separator.
    std::string operator/(const std::string& name) const;

private:
    std::string Dir;
};

/// Writes bytes to a file, creating missing parent directories.
void WriteFile(const std::string& path, const std::string& bytes);
/// The whole file, or throws std::runtime_error.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
/// Environment variable or fallback.
std::string Env(const char* name, const std::string& fallback = "");
/// The native separator, "/" or "\".
char Sep();

}  // namespace TestUtil
