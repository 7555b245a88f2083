// Bench driver: packs a directory tree through Pack.dll the way the build driver does
// (files of a directory before its subdirectories, names sorted upper-cased, stored as
// Data\...), for bench/peers.sh while timing the whole process. A library without the
// SetPlain export (an older build compared through BASES) packs as it always did.
// Usage: pack_tree PACK_DLL TREE OUTPUT_BASE LEVEL
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "PackApi.h"

namespace fs = std::filesystem;

namespace {

std::string OutputBase;
long Blocks = 0;

void KEST_PACKCALL OnVolumeName(int32_t volume, char* buffer) {
    std::snprintf(buffer, 261, "%s.%d", OutputBase.c_str(), int(volume));
}
void KEST_PACKCALL OnDiskSpace(const char*, int32_t* answer) { *answer = -1; }
int32_t KEST_PACKCALL OnWrite(const char*, int32_t, int32_t, int32_t, int32_t, void*) {
    ++Blocks;
    return -1;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

bool AddTree(TPackAddFile addFile, const fs::path& dir, const std::string& stored, long& files) {
    std::vector<fs::directory_entry> entries(fs::directory_iterator(dir), {});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return Upper(a.path().filename().string()) < Upper(b.path().filename().string());
    });
    for (const auto& e : entries) {
        if (!e.is_regular_file()) continue;
        const std::string name = stored + "\\" + e.path().filename().string();
        if (addFile(e.path().c_str(), name.c_str()) == 0) {
            std::fprintf(stderr, "AddFile failed: %s\n", e.path().c_str());
            return false;
        }
        ++files;
    }
    for (const auto& e : entries)
        if (e.is_directory() &&
            !AddTree(addFile, e.path(), stored + "\\" + e.path().filename().string(), files))
            return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: pack_tree PACK_DLL TREE OUTPUT_BASE LEVEL\n");
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW);
    if (lib == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto create = reinterpret_cast<TPackCreate>(dlsym(lib, "Create"));
    auto addFile = reinterpret_cast<TPackAddFile>(dlsym(lib, "AddFile"));
    auto close = reinterpret_cast<TPackClose>(dlsym(lib, "Close"));
    OutputBase = argv[3];
    create(OnVolumeName, OnDiskSpace, OnWrite, std::atoi(argv[4]));
    // As the packer does without a password: nothing is encrypted. KEST_BENCH_PROTECTED=1
    // measures the library as it packs files a host may encrypt.
    auto setPlain = reinterpret_cast<TPackSetPlain>(dlsym(lib, "SetPlain"));
    const char* protectedRun = std::getenv("KEST_BENCH_PROTECTED");
    if (setPlain && !(protectedRun && std::string(protectedRun) == "1")) setPlain(1);
    long files = 0;
    const bool added = AddTree(addFile, argv[2], "Data", files);
    const bool closed = close() != 0;
    std::fprintf(stderr, "%ld files, %ld blocks\n", files, Blocks);
    return added && closed ? 0 : 1;
}
