#include <unistd.h>

#include "KestxNative.h"

std::filesystem::path NativePath(const std::string& ansi) {
    return std::filesystem::path(ansi);
}

std::string AnsiName(const std::filesystem::path& path) {
    return path.string();
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool FileSystemIsWindows() {
    return false;
}
