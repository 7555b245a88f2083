#include "FileInfo.h"

#include <algorithm>
#include <functional>

#include "BuildState.h"
#include "BuildSys.h"
#include "Interrupt.h"
#include "kvFileFind.h"
#include "kvFileUtils.h"
#include "kvProfile.h"
#include "kvStrUtils.h"
#include "kvStringList.h"
#include "kvUtils.h"
#include "kvUtils2.h"

namespace {

constexpr uint32_t AnyAttributes = 0;
constexpr uint32_t DirOrLabel = 24;
constexpr uint32_t Directory = 16;
const std::string DataPrefix = "Data\\";
const std::string PresetupPrefix = "Presetup\\";

using TFileVisitor = std::function<void(const std::string& fullName)>;

// The first data file that was too large to record, if any.
std::string OversizedDataFile;

void WalkFiles(const std::string& directory, const TFileVisitor& visit, TVisitedDirs& visited) {
    std::string dir = AddBackslash(directory);
    if (!visited.FirstVisit(dir)) return;
    BuildSys::ForEachFound(dir + "*.*", AnyAttributes, DirOrLabel,
                           [&](const std::string&, const std::string& fullName) {
                               CheckInterrupt();
                               visit(fullName);
                           });
    BuildSys::ForEachFound(dir + "*.*", Directory, 0,
                           [&](const std::string& name, const std::string&) {
                               WalkFiles(dir + name, visit, visited);
                           });
}

void WalkFiles(const std::string& directory, const TFileVisitor& visit) {
    TVisitedDirs visited;
    WalkFiles(directory, visit, visited);
}

void ForEachLink(const std::string& prefix, const std::function<void(const std::string&)>& visit) {
    TStringList* links = BuildState().LinkList;
    if (!links) return;
    for (int i = 0; i < links->Count(); ++i)
        if (LinkIsUnder((*links)[i], prefix)) visit((*links)[i]);
}

// Sums the sizes of the files it is shown and remembers the first one that is too large.
class TSizeCheck {
  public:
    void Add(const std::string& fileName) {
        if (!Oversized.empty()) return;
        int64_t size = FileSizeOf64(fileName);
        if (size > MaxPackableSize) Oversized = fileName;
        if (size > 0) Total += size;
    }
    const std::string& OversizedFile() const { return Oversized; }
    int64_t TotalSize() const { return Total; }

  private:
    std::string Oversized;
    int64_t Total = 0;
};

bool ReportOversized(const std::string& fileName) {
    if (fileName.empty()) return true;
    ShowError("File " + fileName + " is 2 GB or larger; such a file cannot be packed!");
    return false;
}

}  // namespace

void RecordOneFile(const std::string& fileName, const std::string& key) {
    if (!BuildSys::FileExists(fileName)) return;
    int64_t size = FileSizeOf64(fileName);
    if (size > MaxPackableSize) {
        if (OversizedDataFile.empty()) OversizedDataFile = fileName;
        return;
    }
    std::string version = FileVersionStr(fileName);
    if (!version.empty()) version = "," + version;
    ProfileWriteString(BuildState().RuntimeIni, "FileInfo", key, std::to_string(size) + version);
}

void RecordTreeInfo(const std::string& directory, int32_t skipCount) {
    WalkFiles(directory, [&](const std::string& fullName) {
        RecordOneFile(fullName, fullName.substr(std::min<size_t>(skipCount, fullName.size())));
    });
}

void RecordFileInfo() {
    OversizedDataFile.clear();
    std::string base = AddBackslash(BuildState().ImageDir + "Data");
    RecordTreeInfo(base, static_cast<int32_t>(base.size()));
    ForEachLink(DataPrefix, [](const std::string& link) {
        RecordOneFile(ValueOf(link), NameOf(link).substr(DataPrefix.size()));
    });
}

bool CheckPresetupSizes() {
    TSizeCheck presetup;
    WalkFiles(BuildState().BuildDir + "Presetup", [&](const std::string& f) { presetup.Add(f); });
    ForEachLink(PresetupPrefix, [&](const std::string& link) { presetup.Add(ValueOf(link)); });
    if (!ReportOversized(presetup.OversizedFile())) return false;
    if (presetup.TotalSize() > MaxPackableSize) {
        ShowError("The presetup files add up to 2 GB or more; they cannot be packed!");
        return false;
    }
    return true;
}

bool CheckDataSizes() {
    return ReportOversized(OversizedDataFile);
}
