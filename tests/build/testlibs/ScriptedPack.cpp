// A packing library for the driver's end-to-end tests. It keeps the calling contract of
// Pack.dll in the plainest way (each file stored raw, one block per 64 KiB, every call
// logged) and misbehaves on request, steered by environment variables read at Create:
//   KEST_SCRIPTPACK_LOG        file that receives one line per call
//   KEST_SCRIPTPACK_REFUSE     stored name whose AddFile fails
//   KEST_SCRIPTPACK_CLOSE      "fail": Close fails
//   KEST_SCRIPTPACK_HANG       marker file written at the first AddFile, which then waits
//   KEST_SCRIPTPACK_DISKSPACE  path given to OnDiskSpace at the first AddFile
// Built without KEST_SCRIPTPACK_NO_CLOSE it exports all three functions; with it, Close
// is missing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "PackApi.h"

#if defined(_WIN32)
#define SCRIPTPACK_EXPORT __declspec(dllexport)
#else
#define SCRIPTPACK_EXPORT __attribute__((visibility("default")))
#endif

namespace {

struct TScript {
    TOnVolumeName VolumeName = nullptr;
    TOnDiskSpace DiskSpace = nullptr;
    TOnWrite Write = nullptr;
    std::string Log, Refuse, Close, Hang, DiskSpacePath;
    std::string Package;  // volume 1's name, asked at the first write
    bool FirstAdd = true;
};

TScript Script;

// Names arrive as the system composes them, with "\\"; POSIX opens them with "/".
std::string SysName(std::string name) {
#if !defined(_WIN32)
    for (char& c : name)
        if (c == '\\') c = '/';
#endif
    return name;
}

std::string EnvOf(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

void LogLine(const std::string& line) {
    if (Script.Log.empty()) return;
    std::ofstream(Script.Log, std::ios::app | std::ios::binary) << line << "\n";
}

void AppendToPackage(const std::string& bytes) {
    if (Script.Package.empty()) {
        std::vector<char> name(261, 0);
        Script.VolumeName(1, name.data());
        Script.Package = SysName(name.data());
    }
    std::ofstream(Script.Package, std::ios::app | std::ios::binary) << bytes;
}

// Before the first file: the requested misbehaviour. False when the file must be refused.
bool FirstAddFile() {
    Script.FirstAdd = false;
    if (!Script.Hang.empty()) {
        std::ofstream(Script.Hang) << "packing\n";
        std::this_thread::sleep_for(std::chrono::seconds(60));
    }
    if (!Script.DiskSpacePath.empty()) {
        int32_t answer = 0;
        Script.DiskSpace(Script.DiskSpacePath.c_str(), &answer);
        LogLine("DiskSpace " + std::to_string(answer));
        if (answer == -1) return false;
    }
    return true;
}

}  // namespace

extern "C" {

SCRIPTPACK_EXPORT int32_t KEST_PACKCALL Create(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace,
                                               TOnWrite onWrite, int32_t level) {
    Script = TScript();
    Script.VolumeName = onVolumeName;
    Script.DiskSpace = onDiskSpace;
    Script.Write = onWrite;
    Script.Log = EnvOf("KEST_SCRIPTPACK_LOG");
    Script.Refuse = EnvOf("KEST_SCRIPTPACK_REFUSE");
    Script.Close = EnvOf("KEST_SCRIPTPACK_CLOSE");
    Script.Hang = EnvOf("KEST_SCRIPTPACK_HANG");
    Script.DiskSpacePath = EnvOf("KEST_SCRIPTPACK_DISKSPACE");
    LogLine("Create " + std::to_string(level));
    return 1;
}

SCRIPTPACK_EXPORT int32_t KEST_PACKCALL AddFile(const char* sourceName, const char* storedName) {
    LogLine(std::string("AddFile ") + storedName + " < " + sourceName);
    if (Script.FirstAdd && !FirstAddFile()) return 0;
    if (Script.Refuse == storedName) return 0;
    std::ifstream in(SysName(sourceName), std::ios::binary);
    if (!in) return 0;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    AppendToPackage(std::string(storedName) + "\n" + std::to_string(data.size()) + "\n");
    const size_t blockSize = 65536;
    size_t done = 0;
    do {
        std::string block = data.substr(done, blockSize);
        done += block.size();
        if (!Script.Write(sourceName, 0, static_cast<int32_t>(data.size()),
                          static_cast<int32_t>(block.size()), static_cast<int32_t>(done),
                          block.data()))
            return 0;
        AppendToPackage(block);
    } while (done < data.size());
    return 1;
}

#ifndef KEST_SCRIPTPACK_NO_CLOSE
SCRIPTPACK_EXPORT int32_t KEST_PACKCALL Close() {
    LogLine("Close");
    return Script.Close == "fail" ? 0 : 1;
}
#endif
}
