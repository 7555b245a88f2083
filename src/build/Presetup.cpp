#include "Presetup.h"

#include "BuildState.h"
#include "BuildSys.h"
#include "Interrupt.h"
#include "kvErrors.h"
#include "kvFileFind.h"
#include "kvFileUtils.h"
#include "kvProfile.h"
#include "kvStrUtils.h"
#include "kvStringList.h"

namespace {

constexpr uint32_t AnyAttributes = 0;
constexpr uint32_t DirOrLabel = 24;
constexpr uint32_t Directory = 16;

void PruneLanguages(const std::string& presetupDir) {
    TStringList languages;
    std::string wanted = ProfileReadString(BuildState().RuntimeIni, "Config", "Languages", "");
    SplitToList(BuildSys::UpperCase(wanted), languages, CharSetOf(","));
    BuildSys::ForEachFound(presetupDir + "*.lng", AnyAttributes, DirOrLabel,
                           [&](const std::string& name, const std::string& fullName) {
                               std::string code = BuildSys::UpperCase(ChangeExt(name, ""));
                               if (code != "ENU" && languages.IndexOf(code) < 0)
                                   ForceDeleteFile(fullName);
                           });
}

// A short copy (a full disk) would be packed as if it were the file.
void CopyOrRaise(const std::string& source, const std::string& target) {
    if (CopyFileTo(source, target, CopyGoesOn, false)) return;
    CheckInterrupt();
    throw EInOutError("Cannot copy " + source + " to " + target);
}

void CopyTreeOnce(const std::string& source, const std::string& target, bool overwrite,
                  TVisitedDirs& visited) {
    std::string from = AddBackslash(source);
    std::string to = AddBackslash(target);
    if (!visited.FirstVisit(from)) return;
    ForceDirs(to);
    BuildSys::ForEachFound(
        from + "*.*", AnyAttributes, DirOrLabel, [&](const std::string& name, const std::string&) {
            CheckInterrupt();
            // A default fills a gap only: a folder of that name is none.
            if (overwrite || (!BuildSys::FileExists(to + name) && !DirExists(to + name)))
                CopyOrRaise(from + name, to + name);
        });
    BuildSys::ForEachFound(from + "*.*", Directory, 0,
                           [&](const std::string& name, const std::string&) {
                               CopyTreeOnce(from + name, to + name, overwrite, visited);
                           });
}

}  // namespace

void CopyTree(const std::string& source, const std::string& target, bool overwrite) {
    TVisitedDirs visited;
    CopyTreeOnce(source, target, overwrite, visited);
}

void AssemblePresetup() {
    TBuildState& state = BuildState();
    std::string presetupDir = state.BuildDir + "Presetup\\";
    CopyTree(state.ImageDir + "Presetup", presetupDir, true);
    CopyTree(state.ProgramDir + "Presetup", presetupDir, false);
    state.RuntimeIni = presetupDir + "Kest.ini";
    // The copy carries its source's attributes; a read-only Kest.ini (as some version
    // control systems leave files) could not take the records written into it later.
    BuildSys::MakeWritable(state.RuntimeIni);
    PruneLanguages(presetupDir);
    if (!ProfileReadBool(state.RuntimeIni, "Config", "Uninstall", false))
        ForceDeleteFile(presetupDir + "UnKest.exe");
}
