// Line reading, copying and directory listing of the support library over real files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "Platform.h"
#include "kvFileFind.h"
#include "kvFileUtils.h"

namespace {

// A scratch directory below the system's temporary directory, removed at the end.
class Scratch {
  public:
    Scratch() {
        const std::string base = Plat::TempPath();
        Dir = base + UniqueName(base) + "\\";
        CreateDirExclusive(Dir);
    }
    ~Scratch() { DeleteTree(Dir, true); }
    std::string Dir;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    Plat::Handle h =
        Plat::OpenFile(path, Plat::GenericWrite, 0, Plat::CreateAlways, Plat::AttrNormal);
    uint32_t written = 0;
    Plat::WriteFile(h, bytes.data(), static_cast<uint32_t>(bytes.size()), written);
    Plat::CloseFile(h);
}

std::string IniText(int lines, const char* lineEnd) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += (i % 20 == 0 ? "[Section" + std::to_string(i) + "]"
                             : "Data\\Dir\\File" + std::to_string(i) + ".dat=12345,1.2.3.4") +
                lineEnd;
    return text;
}

void BM_ReadTextLine(benchmark::State& state, const char* lineEnd) {
    Scratch s;
    const int lines = 10000;
    const std::string text = IniText(lines, lineEnd);
    WriteBytes(s.Dir + "k.ini", text);
    std::string line;
    for (auto _ : state) {
        Plat::Handle h = OpenFileHandle(s.Dir + "k.ini", Plat::GenericRead, Plat::ShareRead,
                                        Plat::OpenExisting, Plat::AttrNormal);
        while (!AtEndOfFile(h)) ReadTextLine(h, line);
        CloseFileHandle(h);
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_ReadTextLine, crlf, "\r\n");
BENCHMARK_CAPTURE(BM_ReadTextLine, lf, "\n");

void BM_CopyFileTo(benchmark::State& state) {
    Scratch s;
    const std::string data(static_cast<size_t>(state.range(0)), 'k');
    WriteBytes(s.Dir + "src", data);
    for (auto _ : state)
        benchmark::DoNotOptimize(CopyFileTo(s.Dir + "src", s.Dir + "dst", nullptr, false));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CopyFileTo)->Arg(64 << 10)->Arg(16 << 20);

void BM_ListDirectory(benchmark::State& state) {
    Scratch s;
    const int files = static_cast<int>(state.range(0));
    for (int i = 0; i < files; ++i) WriteBytes(s.Dir + "f" + std::to_string(i) + ".dat", "x");
    for (auto _ : state) {
        TSearchRecEx rec;
        int code = FindFirstEx(s.Dir + "*.*", 0, 24, rec);
        TSearchGuard guard(rec);
        int64_t total = 0;
        while (code == 0) {
            total += rec.Size;
            code = FindNextEx(rec);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * files);
}
BENCHMARK(BM_ListDirectory)->Arg(1000);

// The file-information pass sizes every file of a directory, one name at a time.
void BM_FileSizeOfEachFile(benchmark::State& state) {
    Scratch s;
    const int files = static_cast<int>(state.range(0));
    for (int i = 0; i < files; ++i) WriteBytes(s.Dir + "f" + std::to_string(i) + ".dat", "x");
    for (auto _ : state) {
        int64_t total = 0;
        for (int i = 0; i < files; ++i)
            total += FileSizeOf64(s.Dir + "f" + std::to_string(i) + ".dat");
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * files);
}
BENCHMARK(BM_FileSizeOfEachFile)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
