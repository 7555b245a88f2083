// The INI object at the size of a large project: loading, key look-ups across many
// sections, and writing plus flushing thousands of sections. Section look-ups must stay
// cheap when the section is missing, so that building a big file is not quadratic.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kvIniFile.h"

namespace {

namespace fs = std::filesystem;

constexpr int Sections = 5000;
constexpr int KeysPerSection = 20;

std::string SectionName(int s) {
    return "Section" + std::to_string(s);
}
std::string KeyName(int k) {
    return "Key" + std::to_string(k);
}

fs::path ScratchDir() {
    fs::path dir = fs::temp_directory_path() / "kest_ini_bench";
    fs::create_directories(dir);
    return dir;
}

std::string BigFile() {
    static const std::string name = [] {
        std::string path = (ScratchDir() / "big.ini").string();
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        for (int s = 0; s < Sections; ++s) {
            f << "[" << SectionName(s) << "]\r\n";
            for (int k = 0; k < KeysPerSection; ++k)
                f << KeyName(k) << " = value " << s << "/" << k << "\r\n";
            f << "\r\n";
        }
        return path;
    }();
    return name;
}

void BM_IniLoad(benchmark::State& state) {
    const std::string name = BigFile();
    for (auto _ : state) {
        TkvIniFile ini(name, true, true, true, true, true);
        benchmark::DoNotOptimize(ini.Sections.Count());
    }
    state.counters["lines"] = Sections * (KeysPerSection + 1);
}

// 10,000 look-ups spread over the sections in a scattered order, some of them misses.
void BM_IniLookup10k(benchmark::State& state) {
    TkvIniFile ini(BigFile(), true, true, true, true, true);
    std::vector<std::pair<std::string, std::string>> keys;
    uint32_t x = 12345;
    for (int i = 0; i < 10000; ++i) {
        x = x * 1664525u + 1013904223u;
        int s = static_cast<int>(x % (Sections + 100));  // beyond Sections: missing
        keys.emplace_back(SectionName(s), KeyName(static_cast<int>((x >> 16) % KeysPerSection)));
    }
    for (auto _ : state) {
        int64_t found = 0;
        for (const auto& k : keys) found += ini.ReadString(k.first, k.second, "").empty() ? 0 : 1;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}

// A writable object on a new file: N sections x 20 keys written, then flushed. The time
// per key must not grow with N.
void BM_IniWriteAndFlush(benchmark::State& state) {
    const std::string name = (ScratchDir() / "written.ini").string();
    const int sections = static_cast<int>(state.range(0));
    for (auto _ : state) {
        fs::remove(name);
        TkvIniFile ini(name, false, true, true, true, true);
        for (int s = 0; s < sections; ++s)
            for (int k = 0; k < KeysPerSection; ++k)
                ini.WriteString(SectionName(s), KeyName(k), "value");
        ini.UpdateFile();
    }
    state.SetItemsProcessed(state.iterations() * sections * KeysPerSection);
}

// The driver's pattern: one FileInfo-like key per data file, all in one section, then a
// flush. Every write looks its key up first, so a look-up that walks the section's lines
// makes this quadratic in the number of files.
void BM_IniWriteOneSection20k(benchmark::State& state) {
    constexpr int Files = 20000;
    const std::string name = (ScratchDir() / "one_section.ini").string();
    std::vector<std::string> keys;
    for (int i = 0; i < Files; ++i)
        keys.push_back("Data\\Folder" + std::to_string(i % 97) + "\\File" + std::to_string(i) +
                       ".dat");
    for (auto _ : state) {
        fs::remove(name);
        TkvIniFile ini(name, false, true, true, true, true);
        for (const auto& key : keys) ini.WriteString("FileInfo", key, "1234,5678,0");
        ini.UpdateFile();
    }
    state.SetItemsProcessed(state.iterations() * Files);
}

BENCHMARK(BM_IniLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniLookup10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniWriteAndFlush)->Arg(1250)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniWriteOneSection20k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
