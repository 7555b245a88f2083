// The platform layer's costs that grow with input: listing a directory (read, stat, sort),
// a lookup through the case fallback, search-mask matching and the PE version reader.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Platform.h"

namespace fs = std::filesystem;

namespace {

// A scratch directory of n empty files named F00000.txt, F00001.txt, ...
class Tree {
  public:
    explicit Tree(int64_t n) {
        Dir = fs::temp_directory_path() / ("plat_bench_" + std::to_string(n));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        for (int64_t i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "F%05lld.txt", static_cast<long long>(i));
            std::ofstream(Dir / name);
        }
    }
    ~Tree() { fs::remove_all(Dir); }
    std::string Path() const { return Dir.string() + "/"; }

  private:
    fs::path Dir;
};

void BM_ListDirectory(benchmark::State& state) {
    Tree tree(state.range(0));
    for (auto _ : state) {
        Plat::FindData fd;
        int64_t count = 0;
        Plat::Handle h = Plat::FindFirst(tree.Path() + "*.*", fd);
        do ++count;
        while (Plat::FindNext(h, fd));
        Plat::FindClose(h);
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListDirectory)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A search for one name, as the per-file size query makes it.
void BM_FindOneName(benchmark::State& state) {
    Tree tree(state.range(0));
    const std::string name = tree.Path() + "F00042.txt";
    for (auto _ : state) {
        Plat::FindData fd;
        Plat::Handle h = Plat::FindFirst(name, fd);
        Plat::FindClose(h);
        benchmark::DoNotOptimize(fd.size);
    }
}
BENCHMARK(BM_FindOneName)->Arg(100)->Arg(10000);

// Exact spelling (one stat) against a wrong-case spelling (a scan of the directory).
void BM_LookupExact(benchmark::State& state) {
    Tree tree(state.range(0));
    const std::string name = tree.Path() + "F00042.txt";
    for (auto _ : state) benchmark::DoNotOptimize(Plat::GetAttributes(name));
}
BENCHMARK(BM_LookupExact)->Arg(100)->Arg(10000);

void BM_LookupOtherCase(benchmark::State& state) {
    Tree tree(state.range(0));
    const std::string name = tree.Path() + "f00042.TXT";
    for (auto _ : state) benchmark::DoNotOptimize(Plat::GetAttributes(name));
}
BENCHMARK(BM_LookupOtherCase)->Arg(100)->Arg(10000);

void BM_MatchMask(benchmark::State& state) {
    const char* masks[] = {"*.*", "*.txt", "F0??42.*", "*a*b*c*.t?t"};
    const std::string name = "F00042_a_long_file_name_b_c.txt";
    for (auto _ : state)
        for (const char* m : masks) benchmark::DoNotOptimize(Plat::MatchesFindMask(m, name));
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_MatchMask);

void BM_PeFileVersion(benchmark::State& state) {
    std::ifstream f("/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        state.SkipWithError("Wine's kernel32.dll is not installed");
        return;
    }
    for (auto _ : state) {
        uint32_t ms = 0, ls = 0;
        benchmark::DoNotOptimize(Plat::PeFileVersion(
            reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), ms, ls));
    }
}
BENCHMARK(BM_PeFileVersion);

}  // namespace

BENCHMARK_MAIN();
