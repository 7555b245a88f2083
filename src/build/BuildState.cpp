#include "BuildState.h"

#include <algorithm>

#include "BuildSys.h"
#include "Interrupt.h"
#include "kvErrors.h"
#include "kvFileUtils.h"
#include "kvStrUtils.h"

namespace {

TBuildState State;

bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/' || c == ':';
}

std::string::size_type ExtStart(const std::string& name) {
    for (auto i = name.size(); i > 0; --i) {
        char c = name[i - 1];
        if (c == '.') return i - 1;
        if (IsPathDelimiter(c)) break;
    }
    return std::string::npos;
}

}  // namespace

TBuildState& BuildState() {
    return State;
}

void ResetBuildState() {
    State = TBuildState();
}

std::string ExtractExt(const std::string& name) {
    auto start = ExtStart(name);
    return start == std::string::npos ? std::string() : name.substr(start);
}

std::string ChangeExt(const std::string& name, const std::string& ext) {
    return name.substr(0, std::min(ExtStart(name), name.size())) + ext;
}

std::string ExtractDir(const std::string& path) {
    for (auto i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1])) return path.substr(0, i);
    return std::string();
}

std::string ProjectFileFor(const std::string& argument) {
    return BuildSys::FullPathOf(ChangeExt(argument, ".kst"));
}

std::string ImageDirFor(const std::string& imagePath) {
    std::string dir = BuildSys::FullPathOf(imagePath);
    return dir.empty() ? dir : AddBackslash(dir);
}

std::string ExeFileFor(const std::string& exeName) {
    std::string name = exeName.empty() ? std::string("Setup") : exeName;
    if (BuildSys::UpperCase(ExtractExt(name)) != ".EXE") name += ".exe";
    return BuildSys::FullPathOf(name);
}

std::string PackageFileFor(const std::string& exeFile) {
    return ChangeExt(exeFile, ".1");
}

bool LinkIsUnder(const std::string& linkLine, const std::string& prefix) {
    return WildMatch(linkLine, prefix + "*", true);
}

bool LinkIsPacked(const std::string& linkLine) {
    return LinkIsUnder(linkLine, "Data\\") || LinkIsUnder(linkLine, "Presetup\\");
}

void WriteLine(const std::string& text) {
    // Every step and every progress report writes a line: the place to stop when asked.
    CheckInterrupt();
    if (!BuildConsole().Write(text + "\n")) throw EInOutError("Cannot write to standard output");
}
