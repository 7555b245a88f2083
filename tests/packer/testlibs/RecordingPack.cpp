// A packing library for the packer's contract tests. It stores nothing: it records every
// call and callback answer in a text log, and reports each source file's raw bytes through
// OnWrite in blocks of a planned size, logging each block as it stands after the callback.
// Built without the Close export (KEST_TESTPACK_NO_CLOSE) it stands for a broken library.
//
// Control exports for the tests (plain C): TestSetup(config), TestLog(buffer, size),
// TestVolumeName(volume, out), TestDiskSpace(path). The config is "key=value;..." with
//   blocks=13,8     block sizes in turn, the last one repeated (0 reports an empty block)
//   refuse=N        the N-th AddFile since TestSetup returns 0 without writing
//   diskspace=N     the N-th AddFile asks OnDiskSpace (path from diskpath=) first; -1 fails it
//   diskpath=P      that path
//   closespace=1    Close asks OnDiskSpace with diskpath first
//   close=R         the result of Close (default 1)
//   ignorestop=1    go on writing after OnWrite answered 0 (a careless library)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "PackApi.h"

#if defined(_WIN32)
#define TESTPACK_EXPORT __declspec(dllexport)
#else
#define TESTPACK_EXPORT __attribute__((visibility("default")))
#endif

namespace {

TOnVolumeName VolumeNameCallback = nullptr;
TOnDiskSpace DiskSpaceCallback = nullptr;
TOnWrite WriteCallback = nullptr;

// Lines are streamed, not concatenated: GCC 12 warns falsely on chains of string sums.
std::ostringstream Log;
std::vector<int32_t> BlockPlan{1 << 20};
int RefuseAt = 0;
int DiskSpaceAt = 0;
std::string DiskPath;
bool CloseAsksSpace = false;
int32_t CloseResult = 1;
bool IgnoreStop = false;
int AddFileCount = 0;

// The tests see loading and unloading through this file in the current directory; it is
// written only when a test has created it, so normal runs leave no trace.
const char* const EventsFile = "packtest-events.txt";

void NoteEvent(const char* event) {
    if (!std::filesystem::exists(EventsFile)) return;
    std::ofstream(EventsFile, std::ios::app | std::ios::binary) << event << '\n';
}

struct TLoadMarker {
    TLoadMarker() { NoteEvent("load"); }
    ~TLoadMarker() { NoteEvent("unload"); }
} LoadMarker;

std::string Hex(const unsigned char* bytes, size_t count) {
    static const char Digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        hex += Digits[bytes[i] >> 4];
        hex += Digits[bytes[i] & 15];
    }
    return hex;
}

std::string NativeName(std::string name) {
    if (std::filesystem::path::preferred_separator == '/')
        for (char& c : name)
            if (c == '\\') c = '/';
    return name;
}

void Configure(const std::string& config) {
    BlockPlan = {1 << 20};
    RefuseAt = DiskSpaceAt = 0;
    DiskPath.clear();
    CloseAsksSpace = false;
    CloseResult = 1;
    IgnoreStop = false;
    std::stringstream items(config);
    std::string item;
    while (std::getline(items, item, ';')) {
        std::string key = item.substr(0, item.find('='));
        std::string value = item.find('=') == std::string::npos ? "" : item.substr(key.size() + 1);
        if (key == "blocks") {
            BlockPlan.clear();
            std::stringstream sizes(value);
            for (std::string size; std::getline(sizes, size, ',');)
                BlockPlan.push_back(std::atoi(size.c_str()));
        } else if (key == "refuse") {
            RefuseAt = std::atoi(value.c_str());
        } else if (key == "diskspace") {
            DiskSpaceAt = std::atoi(value.c_str());
        } else if (key == "diskpath") {
            DiskPath = value;
        } else if (key == "closespace") {
            CloseAsksSpace = value == "1";
        } else if (key == "ignorestop") {
            IgnoreStop = value == "1";
        } else if (key == "close") {
            CloseResult = std::atoi(value.c_str());
        }
    }
}

int32_t AskDiskSpace() {
    int32_t answer = 12345;
    DiskSpaceCallback(DiskPath.c_str(), &answer);
    Log << "DiskSpace " << DiskPath << " -> " << answer << "\n";
    return answer;
}

/// Reports one block; the callback gets a heap copy of exactly the block's size, so an
/// overrun shows under the sanitizers.
int32_t ReportBlock(const char* source, int32_t fileSize, const std::string& data, size_t pos,
                    int32_t size, int32_t done) {
    // An empty block still points at readable bytes, which must come back untouched.
    size_t shown = size > 0 ? static_cast<size_t>(size) : 8;
    std::vector<unsigned char> block(shown, 0xA5);
    std::memcpy(block.data(), data.data() + pos, std::min(shown, data.size() - pos));
    int32_t result = WriteCallback(source, 0x5EED, fileSize, size, done, block.data());
    Log << "Write " << fileSize << " " << size << " " << done << " -> " << result << " "
        << Hex(block.data(), shown) << "\n";
    return result;
}

int32_t WriteFileBlocks(const char* source) {
    std::ifstream in(NativeName(source), std::ios::binary);
    if (!in) return 0;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int32_t fileSize = static_cast<int32_t>(data.size());
    size_t pos = 0;
    size_t plan = 0;
    bool stopped = false;
    do {
        if (plan > data.size() + BlockPlan.size()) return 0;  // a plan of empty blocks only
        int32_t want = BlockPlan[std::min(plan++, BlockPlan.size() - 1)];
        int32_t size = static_cast<int32_t>(std::min<size_t>(want, data.size() - pos));
        if (ReportBlock(source, fileSize, data, pos, size, static_cast<int32_t>(pos) + size) == 0) {
            stopped = true;
            if (!IgnoreStop) return 0;
        }
        pos += static_cast<size_t>(size);
    } while (pos < data.size());
    return stopped ? 0 : 1;
}

int32_t AddOneFile(const char* source) {
    ++AddFileCount;
    if (AddFileCount == RefuseAt) return 0;
    if (AddFileCount == DiskSpaceAt && AskDiskSpace() == -1) return 0;
    return WriteFileBlocks(source);
}

}  // namespace

extern "C" {

TESTPACK_EXPORT int32_t KEST_PACKCALL Create(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace,
                                             TOnWrite onWrite, int32_t level) {
    VolumeNameCallback = onVolumeName;
    DiskSpaceCallback = onDiskSpace;
    WriteCallback = onWrite;
    Log << "Create " << level << " " << (onVolumeName != nullptr) << (onDiskSpace != nullptr)
        << (onWrite != nullptr) << "\n";
    return 77;
}

TESTPACK_EXPORT int32_t KEST_PACKCALL AddFile(const char* sourceName, const char* storedName) {
    Log << "AddFile " << sourceName << "|" << storedName << "\n";
    int32_t result = AddOneFile(sourceName);
    Log << "AddFile end " << result << "\n";
    // Any nonzero value means success to the caller.
    return result ? 0x100 : 0;
}

// The optional export: the log shows what the packer said before each file.
TESTPACK_EXPORT int32_t KEST_PACKCALL SetPlain(int32_t plain) {
    Log << "SetPlain " << plain << "\n";
    return 1;
}

#if !defined(KEST_TESTPACK_NO_CLOSE)
TESTPACK_EXPORT int32_t KEST_PACKCALL Close() {
    if (CloseAsksSpace) AskDiskSpace();
    Log << "Close -> " << CloseResult << "\n";
    return CloseResult;
}
#endif

TESTPACK_EXPORT void TestSetup(const char* config) {
    Log.str("");
    AddFileCount = 0;
    Configure(config);
}

TESTPACK_EXPORT int32_t TestLog(char* buffer, int32_t size) {
    std::string log = Log.str();
    if (buffer && size > 0) {
        size_t count = std::min(log.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, log.data(), count);
        buffer[count] = '\0';
    }
    return static_cast<int32_t>(log.size());
}

/// The packer's answer in a buffer of exactly 261 bytes, copied to out (261 bytes).
TESTPACK_EXPORT void TestVolumeName(int32_t volume, char* out) {
    std::vector<char> buffer(261, '#');
    VolumeNameCallback(volume, buffer.data());
    std::memcpy(out, buffer.data(), buffer.size());
}

TESTPACK_EXPORT int32_t TestDiskSpace(const char* path) {
    DiskPath = path;
    return AskDiskSpace();
}
}
