#include <io.h>
#include <windows.h>

#include <cstdio>

#include "KestxNative.h"

std::filesystem::path NativePath(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
    return std::filesystem::path(wide);
}

std::string AnsiName(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), n,
                        nullptr, nullptr);
    return ansi;
}

std::vector<std::string> AnsiArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

// The console takes the bytes as they are, as every ANSI program's output.
void ShowAnsiOnConsole() {}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool FileSystemIsWindows() {
    return true;
}
