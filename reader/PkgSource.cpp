#include "PkgSource.h"

#include <cstring>

bool TMemorySource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset > Length || n > Length - offset) return false;
    if (n) std::memcpy(buf, Data + offset, n);
    return true;
}

uint16_t GetLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t GetLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t GetLe64(const unsigned char* p) {
    return static_cast<uint64_t>(GetLe32(p)) | (static_cast<uint64_t>(GetLe32(p + 4)) << 32);
}
