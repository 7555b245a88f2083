#include "Packaging.h"

#include "BuildState.h"
#include "BuildSys.h"
#include "FileInfo.h"
#include "HPacker.h"
#include "kvFileUtils.h"
#include "kvStrUtils.h"
#include "kvStringList.h"
#include "kvUtils.h"

namespace {

constexpr int EscKey = 27;
constexpr int ProgressColumns = 60;
constexpr int32_t DefaultLimitKB = 100;

// Whole numbers only: floating point gave 57 natively and 58 in the Windows build for 23 of
// 40, whose 57.5 is exact. Halves go to the even neighbour.
std::string PercentText(int32_t fileSize, int32_t done) {
    const int64_t scaled = int64_t{done} * 100;
    int64_t percent = scaled / fileSize;
    const int64_t twiceRest = (scaled % fileSize) * 2;
    if (twiceRest > fileSize || (twiceRest == fileSize && percent % 2 != 0)) ++percent;
    return std::to_string(percent) + "%";
}

// One pass: the tree below root + folder, stored relative to root, then the links whose
// stored names lie under folder.
bool CompressPass(const std::string& root, const std::string& folder) {
    TBuildState& state = BuildState();
    state.ShownNameSkip = static_cast<int32_t>(root.size() + folder.size() + 1);
    if (!state.Packer->AddTreeFrom(root + folder + "\\*.*", root, true)) return false;
    state.ShownNameSkip = 0;
    const TStringList& links = *state.LinkList;
    for (int i = 0; i < links.Count(); ++i)
        if (LinkIsUnder(links[i], folder + "\\") &&
            !state.Packer->AddFile(ValueOf(links[i]), NameOf(links[i])))
            return false;
    return true;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

bool CompressPresetup() {
    WriteLine("Compressing presetup files:");
    TBuildState& state = BuildState();
    state.SizeTotal = 0;
    if (!CompressPass(state.BuildDir, "Presetup")) return false;
    // The sizes were checked before packing, but a file may have grown since.
    if (state.SizeTotal > MaxPackableSize) {
        ShowError("The presetup files add up to 2 GB or more; they cannot be packed!");
        return false;
    }
    state.PresetupSize = static_cast<int32_t>(state.SizeTotal);
    return true;
}

bool CompressData() {
    WriteLine("Compressing data files:");
    return CompressPass(BuildState().ImageDir, "Data");
}

std::string ProgressLine(const std::string& shownName, int32_t fileSize, int32_t done) {
    std::string line = PadRight(' ', "  Adding " + shownName + "  ", ProgressColumns);
    // A size of zero or less cannot give a percentage; such a file is complete at once.
    return line + (done < fileSize && fileSize > 0 ? PercentText(fileSize, done) : "Ok  ");
}

bool ProgressHandler(const std::string& fileName, int32_t fileSize, int32_t, int32_t done) {
    TBuildState& state = BuildState();
    if (fileName != state.LastShownFile) {
        state.LastShownFile = fileName;
        state.SizeTotal += fileSize;
    } else {
        BuildConsole().CursorUp();
    }
    size_t skip = state.ShownNameSkip > 0 ? static_cast<size_t>(state.ShownNameSkip) : 0;
    std::string shown = fileName.size() > skip ? fileName.substr(skip) : std::string();
    WriteLine(ProgressLine(StrToOem(BuildSys::PrintableText(shown)), fileSize, done));
    return true;
}

void DiskSpaceHandler(const std::string& path, bool& abort) {
    abort = ConfirmDiskSpace(path, -1);
}

bool ConfirmDiskSpace(const std::string& path, int32_t bytesNeeded) {
    int32_t limit = DefaultLimitKB;
    std::string note;
    if (bytesNeeded >= 1) {
        limit = bytesNeeded / 1024 + 1;
        note = " - " + std::to_string(limit) + "K is needed";
    }
    TBuildConsole& console = BuildConsole();
    int key = 0;
    while (console.FreeKB(path) <= limit && key != EscKey) {
        WriteLine("");
        WriteLine("Insufficient free disk space at " + AsciiUpper(DrivePart(path)) + " partition" +
                  note + ".");
        WriteLine("Clean your disk and press any key for continue or press Esc for abort.");
        key = console.WaitKey();
        WriteLine("");
    }
    return key == EscKey;
}
