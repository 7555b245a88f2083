// Kest.sfx: the self-extractor stub that a build puts in front of the package. It does not
// install anything yet; it tells what it is and where its package lies, which lets a user
// (and the tests) check a built executable without a reader.
//
// A built executable is: this stub, the package's volume 1, then two 32-bit little-endian
// values: the presetup files' total size and S, the offset of those two values. Volume 1
// ends in its own 24-byte trailer ("KESTVEND", then its length as 64 bits), so the package
// begins at S minus that length.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadAt(HANDLE file, uint32_t offset, void* buffer, DWORD size) {
    if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER)
        return false;
    DWORD read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

// The stub's own size: where the last section of its PE image ends. Everything after that
// is the attached package and the trailer.
bool ImageEnd(HANDLE file, uint32_t& end) {
    unsigned char dos[64];
    if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    uint32_t pe = Le32(dos + 60);
    unsigned char header[24];
    if (!ReadAt(file, pe, header, sizeof header) || Le32(header) != 0x00004550) return false;
    unsigned sections = header[6] | (header[7] << 8);
    unsigned optionalSize = header[20] | (header[21] << 8);
    uint32_t table = pe + 24 + optionalSize;
    end = 0;
    for (unsigned i = 0; i < sections; ++i) {
        unsigned char section[40];
        if (!ReadAt(file, table + i * 40, section, sizeof section)) return false;
        uint32_t last = Le32(section + 20) + Le32(section + 16);
        if (last > end) end = last;
    }
    return true;
}

// Where volume 1 begins, from its own trailer just before S; the stub's image end when
// that trailer cannot be read.
uint32_t PackageStart(HANDLE file, uint32_t s, uint32_t stubSize) {
    unsigned char volumeEnd[24];
    if (s < 24 || !ReadAt(file, s - 24, volumeEnd, sizeof volumeEnd) ||
        memcmp(volumeEnd, "KESTVEND", 8) != 0 || Le32(volumeEnd + 12) != 0 ||
        Le32(volumeEnd + 8) > s)
        return stubSize;
    return s - Le32(volumeEnd + 8);
}

int Report(HANDLE file) {
    uint32_t stubSize = 0;
    if (!ImageEnd(file, stubSize)) {
        std::printf("The executable's image cannot be read.\n");
        return 2;
    }
    DWORD high = 0;
    DWORD fileSize = GetFileSize(file, &high);
    unsigned char trailer[8];
    if (high != 0 || fileSize < stubSize + 8 || !ReadAt(file, fileSize - 8, trailer, 8) ||
        Le32(trailer + 4) != fileSize - 8 || Le32(trailer + 4) < stubSize) {
        std::printf("No package is attached to this stub.\n");
        return 1;
    }
    uint32_t s = Le32(trailer + 4);
    uint32_t start = PackageStart(file, s, stubSize);
    std::printf("Package begins at offset %lu and holds %lu bytes.\n",
                static_cast<unsigned long>(start), static_cast<unsigned long>(s - start));
    std::printf("Presetup files: %lu bytes. Trailer at offset %lu.\n",
                static_cast<unsigned long>(Le32(trailer)), static_cast<unsigned long>(s));
    return 0;
}

}  // namespace

int main() {
    std::printf("KestBuild self-extractor (Kest.sfx).\n");
    char self[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        std::printf("The executable's own name cannot be found.\n");
        return 2;
    }
    self[length] = 0;
    HANDLE file = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("The executable cannot be opened.\n");
        return 2;
    }
    int result = Report(file);
    CloseHandle(file);
    return result;
}
