// A timing shim for bench/driver.sh: loaded by KestBuild as Pack.dll, it loads the real
// packing library (path in KEST_REAL_PACK), forwards every call and measures the time
// spent inside the library's exports, less the time that the driver's callbacks take
// within them, as wall time and as the process's CPU time. Close writes
// "library_wall_ns callback_wall_ns library_cpu_ns callback_cpu_ns files" to
// KEST_PACK_TIMING.
#include <dlfcn.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "PackApi.h"

namespace {

using Clock = std::chrono::steady_clock;

// Wall and CPU time together.
struct TStamp {
    Clock::time_point Wall = Clock::now();
    int64_t Cpu = CpuNow();
    static int64_t CpuNow() {
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1000000000LL + ts.tv_nsec;
    }
};

struct TSpan {
    int64_t Wall = 0;
    int64_t Cpu = 0;
    void Add(const TStamp& start) {
        Wall +=
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start.Wall).count();
        Cpu += TStamp::CpuNow() - start.Cpu;
    }
};

struct TShim {
    TPackCreate Create = nullptr;
    TPackAddFile AddFile = nullptr;
    TPackClose Close = nullptr;
    TOnVolumeName VolumeName = nullptr;
    TOnDiskSpace DiskSpace = nullptr;
    TOnWrite Write = nullptr;
    TSpan InsideExports;
    TSpan InsideCallbacks;
    int64_t Files = 0;
};

TShim Shim;

void OnVolumeName(int32_t volume, char* buffer) {
    TStamp start;
    Shim.VolumeName(volume, buffer);
    Shim.InsideCallbacks.Add(start);
}

void OnDiskSpace(const char* path, int32_t* answer) {
    TStamp start;
    Shim.DiskSpace(path, answer);
    Shim.InsideCallbacks.Add(start);
}

int32_t OnWrite(const char* fileName, int32_t reserved, int32_t fileSize, int32_t blockSize,
                int32_t done, void* block) {
    TStamp start;
    int32_t result = Shim.Write(fileName, reserved, fileSize, blockSize, done, block);
    Shim.InsideCallbacks.Add(start);
    return result;
}

bool LoadReal() {
    const char* path = std::getenv("KEST_REAL_PACK");
    void* lib = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!lib) return false;
    Shim.Create = reinterpret_cast<TPackCreate>(dlsym(lib, "Create"));
    Shim.AddFile = reinterpret_cast<TPackAddFile>(dlsym(lib, "AddFile"));
    Shim.Close = reinterpret_cast<TPackClose>(dlsym(lib, "Close"));
    return Shim.Create && Shim.AddFile && Shim.Close;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t Create(TOnVolumeName onVolumeName,
                                                      TOnDiskSpace onDiskSpace, TOnWrite onWrite,
                                                      int32_t level) {
    if (!LoadReal()) std::abort();
    Shim.VolumeName = onVolumeName;
    Shim.DiskSpace = onDiskSpace;
    Shim.Write = onWrite;
    TStamp start;
    int32_t result = Shim.Create(OnVolumeName, OnDiskSpace, OnWrite, level);
    Shim.InsideExports.Add(start);
    return result;
}

__attribute__((visibility("default"))) int32_t AddFile(const char* sourceName,
                                                       const char* storedName) {
    TStamp start;
    int32_t result = Shim.AddFile(sourceName, storedName);
    Shim.InsideExports.Add(start);
    ++Shim.Files;
    return result;
}

__attribute__((visibility("default"))) int32_t Close() {
    TStamp start;
    int32_t result = Shim.Close();
    Shim.InsideExports.Add(start);
    if (const char* report = std::getenv("KEST_PACK_TIMING"))
        std::ofstream(report) << Shim.InsideExports.Wall - Shim.InsideCallbacks.Wall << " "
                              << Shim.InsideCallbacks.Wall << " "
                              << Shim.InsideExports.Cpu - Shim.InsideCallbacks.Cpu << " "
                              << Shim.InsideCallbacks.Cpu << " " << Shim.Files << "\n";
    return result;
}
}
