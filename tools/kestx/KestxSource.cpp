#include "KestxSource.h"

#include <cstring>
#include <filesystem>

#include "KestxErrors.h"
#include "KestxNative.h"

bool TMemorySource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset > Length || n > Length - offset) return false;
    if (n) std::memcpy(buf, Data + offset, n);
    return true;
}

TFileSource::TFileSource(const std::string& path) : Name(path) {
    std::error_code ec;
    const std::filesystem::path p = NativePath(path);
    if (!std::filesystem::is_regular_file(p, ec))
        throw EKestxData("cannot open '" + path + "': no such file");
    Length = std::filesystem::file_size(p, ec);
    if (ec) throw EKestxData("cannot read the size of '" + path + "'");
    In.open(p, std::ios::binary);
    if (!In) throw EKestxData("cannot open '" + path + "'");
}

bool TFileSource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset > Length || n > Length - offset) return false;
    In.clear();
    In.seekg(static_cast<std::streamoff>(offset));
    In.read(static_cast<char*>(buf), static_cast<std::streamsize>(n));
    return static_cast<size_t>(In.gcount()) == n;
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
