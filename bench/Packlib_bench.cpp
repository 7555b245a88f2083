// Pack.dll throughput per level on many small files (the solid path) and on one big file
// (the two-thread path at levels that fit it), through the library's exports as the
// packer calls them. Counters: input bytes per second and payload ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../packlib/PackApi.h"
#include "Platform.h"

namespace fs = std::filesystem;

namespace {

fs::path WorkDir() {
    return fs::temp_directory_path() / "kest-packlib-bench";
}

uint64_t Payload = 0;

void KEST_PACKCALL OnVolumeName(int32_t volume, char* buffer) {
    std::snprintf(buffer, 261, "%s.%d", (WorkDir() / "out").string().c_str(), int(volume));
}
void KEST_PACKCALL OnDiskSpace(const char*, int32_t* answer) {
    *answer = -1;
}
int32_t KEST_PACKCALL OnWrite(const char*, int32_t, int32_t, int32_t blockSize, int32_t, void*) {
    Payload += uint64_t(blockSize);
    return -1;
}

struct TLib {
    TPackCreate Create = nullptr;
    TPackAddFile AddFile = nullptr;
    TPackClose Close = nullptr;
};

const TLib& Lib() {
    static TLib lib = [] {
        TLib l;
        const char* bin = std::getenv("KEST_BIN_DIR");
        const fs::path dir = bin != nullptr
                                 ? fs::path(bin)
                                 : fs::path(Plat::ProgramFile()).parent_path() / ".." / "bin";
        void* h = Plat::LoadLibrary((dir / "Pack.dll").string());
        if (h == nullptr) return l;
        l.Create = reinterpret_cast<TPackCreate>(Plat::GetProcAddress(h, "Create"));
        l.AddFile = reinterpret_cast<TPackAddFile>(Plat::GetProcAddress(h, "AddFile"));
        l.Close = reinterpret_cast<TPackClose>(Plat::GetProcAddress(h, "Close"));
        return l;
    }();
    return lib;
}

/// Text-like bytes with some noise: words from a small vocabulary and random runs.
std::string MixedBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* words[] = {"install ", "package ", "volume ", "\r\n", "data ", "setup "};
    std::string s;
    while (s.size() < size) {
        if (rng() % 4 == 0)
            for (int i = 0; i < 16; ++i) s.push_back(char(rng()));
        else
            s += words[rng() % 6];
    }
    s.resize(size);
    return s;
}

std::vector<std::string> MakeFiles(size_t count, size_t size) {
    fs::create_directories(WorkDir());
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        const fs::path p = WorkDir() / ("in" + std::to_string(count) + "_" + std::to_string(i));
        if (!fs::exists(p) || fs::file_size(p) != size) {
            std::FILE* f = std::fopen(p.string().c_str(), "wb");
            const std::string bytes = MixedBytes(size, uint32_t(i));
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        names.push_back(p.string());
    }
    return names;
}

void PackFiles(benchmark::State& state, size_t count, size_t size) {
    if (Lib().Create == nullptr) {
        state.SkipWithError("Pack.dll not found (set KEST_BIN_DIR)");
        return;
    }
    const std::vector<std::string> files = MakeFiles(count, size);
    uint64_t payload = 0;
    for (auto _ : state) {
        Payload = 0;
        Lib().Create(OnVolumeName, OnDiskSpace, OnWrite, int32_t(state.range(0)));
        for (const std::string& f : files)
            if (Lib().AddFile(f.c_str(), "Data\\f") == 0) state.SkipWithError("AddFile failed");
        if (Lib().Close() == 0) state.SkipWithError("Close failed");
        payload = Payload;
    }
    state.SetBytesProcessed(int64_t(state.iterations() * count * size));
    state.counters["ratio"] = double(payload) / double(count * size);
}

void BM_SmallFiles(benchmark::State& state) {
    PackFiles(state, 256, 32 << 10);
}
void BM_BigFile(benchmark::State& state) {
    PackFiles(state, 1, 24 << 20);
}

}  // namespace

BENCHMARK(BM_SmallFiles)->Arg(0)->Arg(1)->Arg(5)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BigFile)->Arg(1)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
