#include "Sfx.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "BuildState.h"
#include "BuildSys.h"
#include "FileInfo.h"
#include "Interrupt.h"
#include "Packaging.h"
#include "kvFileUtils.h"
#include "kvUtils.h"

namespace {

// The package file goes on every path out of the conversion, also when an error is raised.
class TPackageRemover {
  public:
    ~TPackageRemover() { ForceDeleteFile(BuildState().PackageFile); }
};

int32_t NeededBytes(const std::string& stub, const std::string& package) {
    int64_t needed = static_cast<int64_t>(FileSizeOf(stub)) + FileSizeOf(package);
    return static_cast<int32_t>(std::min<int64_t>(needed, MaxPackableSize));
}

constexpr int PartNameTries = 100;

// A failed step must not leave a partial executable.
bool FailWithoutExe(const std::string& message) {
    TBuildState& state = BuildState();
    if (!state.ExePartFile.empty()) ForceDeleteFile(state.ExePartFile);
    ForgetRemoval(state.ExePartFile);
    state.ExePartFile.clear();
    ShowError(message);
    return false;
}

// A fresh file beside the executable, never one that was there (nor through a link).
bool CreatePartFile() {
    TBuildState& state = BuildState();
    for (int n = 0; n < PartNameTries; ++n) {
        std::string name = state.ExeFile + ".part" + (n ? std::to_string(n) : "");
        if (BuildSys::CreateNewFile(name)) {
            KeepForRemoval(name, false);
            state.ExePartFile = name;
            return true;
        }
        if (!BuildSys::FileExists(name) && !DirExists(name)) break;
    }
    return FailWithoutExe("Cannot write file " + state.ExeFile + "!");
}

bool Copied(const std::string& source, const std::string& target, bool append) {
    if (CopyFileTo(source, target, CopyGoesOn, append)) return true;
    CheckInterrupt();
    return FailWithoutExe("Cannot copy " + source + " to " + target + "!");
}

void PutLe32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

bool ConvertToSfx() {
    WriteLine("Converting to SFX...");
    TPackageRemover remover;
    const TBuildState& state = BuildState();
    std::string stub = state.ProgramDir + "Kest.sfx";
    if (ConfirmDiskSpace(ExtractDir(state.ExeFile), NeededBytes(stub, state.PackageFile)))
        return false;
    if (!BuildSys::FileExists(stub))
        return FailWithoutExe("Self-extractor stub " + stub + " is not found!");
    if (!CreatePartFile()) return false;
    if (!Copied(stub, state.ExePartFile, true)) return false;
    // The copy takes the stub's attributes; a read-only stub would refuse the package.
    BuildSys::MakeWritable(state.ExePartFile);
    return Copied(state.PackageFile, state.ExePartFile, true);
}

bool AppendTrailer() {
    TBuildState& state = BuildState();
    std::string cannotWrite = "Cannot write file " + state.ExeFile + "!";
    if (state.ExePartFile.empty()) return FailWithoutExe(cannotWrite);
    BuildSys::TAppendFile exe(state.ExePartFile);
    if (!exe.IsOpen()) return FailWithoutExe(cannotWrite);
    if (exe.SizeAtOpen() > MaxPackableSize) {
        exe.Close();
        return FailWithoutExe("File " + state.ExeFile +
                              " is 2 GB or larger; its trailer cannot address it!");
    }
    unsigned char trailer[8];
    PutLe32(trailer, static_cast<uint32_t>(state.PresetupSize));
    PutLe32(trailer + 4, static_cast<uint32_t>(exe.SizeAtOpen()));
    bool written = exe.Write(trailer, sizeof trailer);
    if (!exe.Close() || !written) return FailWithoutExe(cannotWrite);
    if (!BuildSys::ReplaceFile(state.ExePartFile, state.ExeFile))
        return FailWithoutExe(cannotWrite);
    ForgetRemoval(state.ExePartFile);
    state.ExePartFile.clear();
    return true;
}
