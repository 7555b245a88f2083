#include "Outputs.h"

#include <string>
#include <vector>

#include "BuildState.h"
#include "BuildSys.h"
#include "kvStrUtils.h"
#include "kvStringList.h"
#include "kvUtils.h"

namespace {

bool Refuse(const std::string& output, const std::string& why) {
    ShowError("The output file " + output + " " + why + "!");
    return false;
}

std::vector<std::string> LinkSources(const TStringList& links) {
    std::vector<std::string> sources;
    for (int i = 0; i < links.Count(); ++i)
        if (LinkIsUnder(links[i], "Presetup\\") || LinkIsUnder(links[i], "Data\\"))
            sources.push_back(ValueOf(links[i]));
    return sources;
}

bool IsDecimal(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Volumes after the first are named from the executable's name, a "." and their number,
// beside it; the library creates them only while packing, so a link source of such a name
// would be overwritten before it is read.
bool IsLaterVolume(const std::string& source) {
    const std::string exe = BuildState().ExeFile;
    const std::string full = BuildSys::FullPathOf(source);
    const std::string dir = ExtractDir(full);
    if (!BuildSys::SameObject(dir, ExtractDir(exe))) return false;
    const std::string base = ChangeExt(exe, ".").substr(ExtractDir(exe).size());
    const std::string name = BuildSys::UpperCase(full.substr(dir.size()));
    const std::string prefix = BuildSys::UpperCase(base);
    return name.rfind(prefix, 0) == 0 && IsDecimal(name.substr(prefix.size()));
}

bool CheckOutput(const std::string& output, const std::vector<std::string>& inputs) {
    const TBuildState& state = BuildState();
    for (const std::string& tree : {state.ImageDir, state.ProgramDir + "Presetup"})
        if (BuildSys::LiesInside(output, tree)) return Refuse(output, "lies inside " + tree);
    for (const std::string& input : inputs)
        if (BuildSys::SameObject(output, input))
            return Refuse(output, "is the build's input file " + input);
    return true;
}

}  // namespace

bool CheckOutputs(const TStringList& links) {
    const TBuildState& state = BuildState();
    const std::vector<std::string> sources = LinkSources(links);
    std::vector<std::string> inputs = {state.ProjectFile, state.ProgramDir + "Kest.sfx",
                                       state.ProgramDir + "Pack.dll", ProgramFileName()};
    inputs.insert(inputs.end(), sources.begin(), sources.end());
    for (const std::string& output : {state.ExeFile, state.PackageFile})
        if (!CheckOutput(output, inputs)) return false;
    for (const std::string& source : sources)
        if (IsLaterVolume(source))
            return Refuse(source,
                          "is a package volume of " + state.ExeFile + " and also a link source");
    return true;
}
