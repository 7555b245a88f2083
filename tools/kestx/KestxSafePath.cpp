#include "KestxSafePath.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "KestxErrors.h"
#include "KestxNative.h"

namespace fs = std::filesystem;

void RefuseLinkOrDirectory(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (fs::is_symlink(st))
        throw EKestxData("refusing to write through the symbolic link '" + AnsiName(path) + "'");
    if (fs::is_directory(st))
        throw EKestxData("cannot write '" + AnsiName(path) + "': a directory of that name exists");
}

fs::path PrepareOutputFile(const fs::path& dir, const std::vector<std::string>& parts) {
    fs::path cur = dir;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        cur /= NativePath(parts[i]);
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(cur, ec);
        if (fs::is_symlink(st))
            throw EKestxData("refusing to write through the symbolic link '" + AnsiName(cur) + "'");
        if (!fs::exists(st)) {
            if (!fs::create_directory(cur, ec) && ec)
                throw EKestxData("cannot create the directory '" + AnsiName(cur) +
                                 "': " + ec.message());
        } else if (!fs::is_directory(st)) {
            throw EKestxData("cannot create the directory '" + AnsiName(cur) +
                             "': a file of that name exists");
        }
    }
    const fs::path file = cur / NativePath(parts.back());
    RefuseLinkOrDirectory(file);
    return file;
}
