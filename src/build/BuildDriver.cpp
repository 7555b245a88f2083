#include "BuildDriver.h"

#include <memory>
#include <new>

#include "BuildState.h"
#include "BuildSys.h"
#include "FileInfo.h"
#include "HPacker.h"
#include "Interrupt.h"
#include "Outputs.h"
#include "Packaging.h"
#include "Presetup.h"
#include "Sfx.h"
#include "StoredNames.h"
#include "kvErrors.h"
#include "kvFileFind.h"
#include "kvFileUtils.h"
#include "kvProfile.h"
#include "kvStrUtils.h"
#include "kvStringList.h"
#include "kvUtils.h"

namespace {

const std::string Title = "Marvo Installer 1.62 build utility";
constexpr uint32_t MbSetForeground = 0x10000;
constexpr int MaxBuildDirAttempts = 100;

bool Fail(const std::string& message) {
    ShowError(message);
    return false;
}

bool HoldsNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// The system would see a NUL byte as the end of a name: the text before it names another
// file (one that a build would delete or write over), or the image inside itself.
bool ReadConfigValue(const std::string& key, std::string& value) {
    const std::string& project = BuildState().ProjectFile;
    value = ProfileReadString(project, "Config", key, "");
    if (!HoldsNul(value)) return true;
    return Fail("The value of " + key + " in " + project + " holds a NUL byte!");
}

bool LinksHoldNoNul(const TStringList& links) {
    for (int i = 0; i < links.Count(); ++i)
        if (HoldsNul(links[i]))
            return Fail("The file link " + NameOf(links[i]).substr(0, links[i].find('\0')) +
                        " in " + BuildState().ProjectFile + " holds a NUL byte!");
    return true;
}

void RequireRegularLinkSources(const TStringList& links) {
    for (int i = 0; i < links.Count(); ++i)
        if (LinkIsPacked(links[i])) RequireRegularFile(ValueOf(links[i]));
}

bool ValidateSettings(const std::vector<std::string>& arguments) {
    TBuildState& state = BuildState();
    state.ProgramDir = ProgramDir();
    if (std::string problem = BuildSys::CodePageProblem(); !problem.empty()) return Fail(problem);
    if (arguments.empty()) return Fail("Data file (*.kst) was not specified!");
    state.ProjectFile = ProjectFileFor(arguments[0]);
    if (!BuildSys::FileExists(state.ProjectFile))
        return Fail("File " + state.ProjectFile + " is not found!");
    std::string imagePath, exeName;
    if (!ReadConfigValue("ImagePath", imagePath)) return false;
    state.ImageDir = ImageDirFor(imagePath);
    if (state.ImageDir.empty() || !DirExists(state.ImageDir))
        return Fail("Image directory is not exists!");
    ForceDirs(state.ImageDir + "Presetup");
    if (!ReadConfigValue("ExeName", exeName)) return false;
    state.ExeFile = ExeFileFor(exeName);
    state.PackageFile = PackageFileFor(state.ExeFile);
    if (!ReadConfigValue("Password", state.PackagePassword)) return false;
    state.PackLevel = ProfileReadInteger(state.ProjectFile, "Config", "CompressionLevel", 7);
    if (!DirExists(state.ImageDir + "Presetup")) return Fail("Presetup directory is not exists!");
    return true;
}

// Created exclusively, so that the build never works in (and later deletes) a directory
// that something else made under the same name in the meantime.
std::string CreateBuildDir() {
    std::string temp = GetTempDir();
    ForceDirs(temp);
    std::string failed;
    for (int attempt = 0; attempt < MaxBuildDirAttempts; ++attempt) {
        // A name that could not be made is not tried again: wait for the clock to move.
        std::string name;
        do name = UniqueName(temp);
        while (name == failed);
        if (CreateDirExclusive(temp + name)) {
            KeepForRemoval(temp + name + "\\", true);
            return temp + name + "\\";
        }
        failed = name;
    }
    throw EInOutError("Cannot create a build directory in " + temp);
}

// An INI object still cached for the copy in the build directory would hold its file open
// (so the directory could not be removed on Windows) and write into it after removal.
void ReleaseRuntimeIni(const std::string& runtimeIni) noexcept {
    if (runtimeIni.empty()) return;
    try {
        ProfileDropIni(runtimeIni);
    } catch (...) {
        // The file is about to be removed with the directory; what it held no longer counts.
    }
}

// Scope A: the link list and the build directory, left after scope B on every path.
class TLinkScope {
  public:
    TLinkScope() { BuildState().LinkList = &Links; }
    ~TLinkScope() {
        TBuildState& state = BuildState();
        state.LinkList = nullptr;
        Links.Clear();
        ReleaseRuntimeIni(state.RuntimeIni);
        DeleteTree(state.BuildDir, true);
        ForgetRemoval(state.BuildDir);
    }
    TLinkScope(const TLinkScope&) = delete;
    TLinkScope& operator=(const TLinkScope&) = delete;
    TStringList& List() { return Links; }

  private:
    TStringList Links;
};

// Scope B: the packer, destroyed (and the packing library unloaded) on every path.
class TPackerScope {
  public:
    TPackerScope() {
        const TBuildState& state = BuildState();
        Packer = std::make_unique<TPacker>(state.PackageFile, DiskSpaceHandler, ProgressHandler,
                                           state.PackLevel);
        BuildState().Packer = Packer.get();
    }
    ~TPackerScope() {
        BuildState().Packer = nullptr;
        Packer.reset();
    }
    TPackerScope(const TPackerScope&) = delete;
    TPackerScope& operator=(const TPackerScope&) = delete;
    TPacker& Get() { return *Packer; }

  private:
    std::unique_ptr<TPacker> Packer;
};

bool PackFiles() {
    TPackerScope scope;
    TPacker& packer = scope.Get();
    const TBuildState& state = BuildState();
    if (!CompressPresetup()) {
        packer.Close();
        return false;
    }
    if (!state.PackagePassword.empty()) {
        WriteLine("Enabling password protection...");
        packer.SetPassword(state.PackagePassword);
    }
    if (!CompressData()) {
        packer.Close();
        return false;
    }
    WriteLine("Closing package...");
    return packer.Close();
}

void DeleteEarlierOutput() {
    const TBuildState& state = BuildState();
    if (BuildSys::FileExists(state.PackageFile)) ForceDeleteFile(state.PackageFile);
    if (BuildSys::FileExists(state.ExeFile)) ForceDeleteFile(state.ExeFile);
}

bool BuildInBuildDir() {
    TBuildState& state = BuildState();
    state.BuildDir = CreateBuildDir();
    TLinkScope scope;
    ProfileReadSectionValues(state.ProjectFile, "FileLinks", scope.List());
    if (!LinksHoldNoNul(scope.List()) || !CheckOutputs(scope.List())) return false;
    // Before pruning: on Windows a device name such as Data\NUL "exists" in every folder.
    RequireStorableLinkNames(scope.List());
    PruneLinks(scope.List(), state.ImageDir);
    RequireRegularLinkSources(scope.List());
    WriteLine("Building presetup directory...");
    AssemblePresetup();
    if (!CheckPresetupSizes()) return false;
    WriteLine("Getting information about files...");
    RecordFileInfo();
    if (!CheckDataSizes()) return false;
    if (!state.PackagePassword.empty())
        ProfileWriteString(state.RuntimeIni, "Config", "PswCheckHash",
                           TPacker::HashStringHex("zvq" + state.PackagePassword + "zvq"));
    ProfileFlushAll();
    DeleteEarlierOutput();
    WriteLine("Creating package...");
    return PackFiles();
}

void WriteBanner() {
    WriteLine("");
    WriteLine(Title);
    WriteLine(std::string(Title.size(), '='));
}

std::string ProgramName() {
    const std::string file = ProgramFileName();
    const auto pos = file.find_last_of("\\/");
    return pos == std::string::npos ? file : file.substr(pos + 1);
}

std::string UsageText() {
    const std::string name = ProgramName();
    return Title + "\nUsage: " + name + " PROJECT[.kst]\n       " + name +
           " --help | --version\n"
           "Builds the project file PROJECT.kst (any other extension is replaced by .kst) into\n"
           "a self-extracting executable. Relative paths resolve against the current folder.\n"
           "Environment:\n"
           "  KEST_NO_WAIT=1, or CI set   never wait for a key (a failed build still exits 1)\n"
           "  KEST_VOLUME_SIZE=650M       largest size of one package volume\n"
           "  KEST_CODEPAGE=1250          ANSI code page of names on Linux (874, 1250 to 1258;\n"
           "                              1252 when unset)\n"
           "Exit code: 0 when the executable was built, 1 otherwise.";
}

std::string ReportOf(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error)) return "Out of memory";
    return error.what();
}

struct TForgetRemoval {
    std::string Path;
    ~TForgetRemoval() { ForgetRemoval(Path); }
};

void KeepVolumeForRemoval(const std::string& volumeName) {
    KeepForRemoval(volumeName, false);
}

}  // namespace

void PruneLinks(TStringList& links, const std::string& imageDir) {
    for (int i = links.Count() - 1; i >= 0; --i)
        if (BuildSys::FileExists(imageDir + NameOf(links[i]))) links.Delete(i);
}

bool RunBuild(const std::vector<std::string>& arguments) {
    TInterruptWatch watch;
    TPacker::SetVolumeNotice(KeepVolumeForRemoval);
    SetMessageBoxFlags(MbSetForeground);
    BuildSys::SetTitle(Title);
    WriteBanner();
    if (!ValidateSettings(arguments)) return false;
    // Two builds of one output would delete and overwrite each other's files. Where no lock
    // can be made, nothing can be written either: the outputs' own errors then tell.
    const std::string exe = BuildState().ExeFile;
    TForgetRemoval forgetLock{exe + ".lock"};  // left after the lock, which removes its file
    BuildSys::TFileLock lock(exe + ".lock");
    if (lock.HeldElsewhere()) return Fail("Another build is writing " + exe + " now!");
    if (lock.MadeHere()) KeepForRemoval(exe + ".lock", false);
    if (!BuildInBuildDir()) return false;
    if (!ConvertToSfx()) return false;
    return AppendTrailer();
}

int RunEntry(const std::vector<std::string>& arguments) {
    try {
        if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "--version")) {
            WriteLine(arguments[0] == "--help" ? UsageText() : Title);
            return 0;
        }
        if (RunBuild(arguments)) {
            WriteLine("Package building is completed.");
            return 0;
        }
        // A failed build must never read as success to a script, also after the key.
        if (KeyWaitSwitchedOff()) {
            WriteLine("Package building is failed!");
        } else {
            WriteLine("Package building is failed! Press any key...");
            BuildConsole().WaitKey();
        }
        return 1;
    } catch (const EInterrupted&) {
        FinishInterrupt();
    } catch (const std::exception& error) {
        // A report may span lines (the system's error text follows its code); names in it
        // have no line feeds left (StoredNames.h), so only line feeds are kept.
        BuildConsole().Write("Error: " + BuildSys::PrintableText(ReportOf(error), true) + "\n");
        return 1;
    }
}
