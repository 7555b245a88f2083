#include "KestxFiles.h"

#include <filesystem>

#include "KestxErrors.h"
#include "KestxNative.h"

namespace fs = std::filesystem;

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

TVolumeFiles::TVolumeFiles(const std::string& firstPath) : First(firstPath) {}

std::string TVolumeFiles::NameOf(uint32_t n) const {
    return VolumeFileName(First, n);
}

std::unique_ptr<TByteSource> TVolumeFiles::Open(uint32_t n, std::string& name) {
    name = NameOf(n);
    std::error_code ec;
    if (!fs::is_regular_file(NativePath(name), ec)) return nullptr;
    return std::make_unique<TFileSource>(name);
}

uint64_t TVolumeFiles::SizeOfFurtherVolumes() const {
    uint64_t total = 0;
    for (uint32_t n = 2;; ++n) {
        std::error_code ec;
        const uint64_t size = fs::file_size(NativePath(NameOf(n)), ec);
        if (ec) return total;
        total += size;
    }
}
