// The program's entry and the one pass from project file to finished executable.
#pragma once

#include <string>
#include <vector>

class TStringList;

/// Builds the project named by the first argument; true when the executable was built.
/// Set-up problems are shown in the error box and give false; raised errors pass on after
/// the build directory has been removed.
bool RunBuild(const std::vector<std::string>& arguments);
/// Runs the build and writes the closing line; after a failed build waits for a key unless
/// the wait is switched off. "--help" or "--version" as the first argument prints usage or
/// version instead. The process's exit code: 0 when the executable was built (or usage or
/// version was printed), 1 after a failed build and (with the error's message on standard
/// output) when an error escapes.
int RunEntry(const std::vector<std::string>& arguments);

/// Drops every link whose stored name exists as a file in the image directory.
void PruneLinks(TStringList& links, const std::string& imageDir);
