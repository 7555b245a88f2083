// The two things kestx needs to know about its operating system: how a name in the ANSI
// code page becomes a file-system path, and whether standard error is a terminal. One
// implementation file per platform (KestxNative-posix.cpp, KestxNative-win32.cpp).
#pragma once

#include <filesystem>
#include <string>

/// A path from bytes in the system's ANSI code page (stored names and command-line
/// arguments are such bytes; the standard library would read them as UTF-8 on Windows).
std::filesystem::path NativePath(const std::string& ansi);

/// The path back as ANSI bytes, for messages.
std::string AnsiName(const std::filesystem::path& path);

bool StderrIsTerminal();

/// True where a ":" in a name is special to the file system (drives, alternate streams),
/// and trailing dots and spaces of names are dropped by it.
bool FileSystemIsWindows();
