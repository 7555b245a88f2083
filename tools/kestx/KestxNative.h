// The two things kestx needs to know about its operating system: how a name in the ANSI
// code page becomes a file-system path, and whether standard error is a terminal. One
// implementation file per platform (KestxNative-posix.cpp, KestxNative-win32.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

/// A path from bytes in the system's ANSI code page (stored names and command-line
/// arguments are such bytes; the standard library would read them as UTF-8 on Windows).
std::filesystem::path NativePath(const std::string& ansi);

/// The path back as ANSI bytes, for messages.
std::string AnsiName(const std::filesystem::path& path);

/// The command line's arguments (without the program's name) as ANSI bytes; POSIX converts
/// them from UTF-8, as it converts names at the file system.
std::vector<std::string> AnsiArguments(int argc, char** argv);

/// Lets std::cout and std::cerr take ANSI text (stored names) and show it as the console
/// expects: POSIX terminals and pipes get UTF-8. Call after sync_with_stdio, which replaces
/// the streams' buffers.
void ShowAnsiOnConsole();

bool StderrIsTerminal();

/// True where a ":" in a name is special to the file system (drives, alternate streams),
/// and trailing dots and spaces of names are dropped by it.
bool FileSystemIsWindows();
