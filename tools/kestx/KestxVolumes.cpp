#include "KestxVolumes.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "KestxCrc64.h"
#include "KestxErrors.h"
#include "KestxNative.h"

namespace fs = std::filesystem;

namespace {

const unsigned char HeaderSignature[8] = {'K', 'E', 'S', 'T', 'P', 'K', 'G', 0x1A};
const unsigned char TrailerSignature[8] = {'K', 'E', 'S', 'T', 'V', 'E', 'N', 'D'};
constexpr uint32_t FormatVersion = 1;
constexpr uint32_t LastVolumeFlag = 1;
constexpr size_t ReadChunk = 256 * 1024;

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

// The path without the extension of its file-name part, as the packer names volumes.
std::string WithoutExtension(const std::string& path) {
    const size_t sep = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return path;
    return path.substr(0, dot);
}

}  // namespace

TVolumeFiles::TVolumeFiles(const std::string& firstPath) : Base(WithoutExtension(firstPath)) {}

std::string TVolumeFiles::NameOf(uint32_t n) const {
    return Base + "." + std::to_string(n);
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

uint64_t FirstVolumeBegin(TByteSource& exe, uint64_t s) {
    unsigned char t[VolumeTrailerSize];
    if (s < VolumeHeaderSize + VolumeTrailerSize ||
        !exe.ReadAt(s - VolumeTrailerSize, t, sizeof t) || std::memcmp(t, TrailerSignature, 8) != 0)
        throw EKestxData("not a KestBuild executable: no package before its trailer");
    const uint64_t length = GetLe64(t + 8);
    if (length < VolumeHeaderSize + VolumeTrailerSize || length > s)
        throw EKestxData("corrupt package: the first volume's length is impossible");
    return s - length;
}

TPackageStream::TPackageStream(TByteSource& first, uint64_t begin, uint64_t end,
                               const std::string& firstName, TVolumeLocator* more)
    : More(more) {
    OpenVolume(first, begin, end, firstName);
}

void TPackageStream::CheckHeader(const unsigned char* h, const std::string& name) const {
    if (std::memcmp(h, HeaderSignature, 8) != 0)
        throw EKestxData(Volume == 1
                             ? "not a KestBuild package: no package header in " + Quoted(name)
                             : Quoted(name) + " is not a volume of a KestBuild package");
    if (GetLe16(h + 8) != FormatVersion)
        throw EKestxData(Quoted(name) + " has package format version " +
                         std::to_string(GetLe16(h + 8)) + ", this reader knows version 1");
    if (GetLe16(h + 10) != VolumeHeaderSize)
        throw EKestxData("corrupt package: bad volume header size in " + Quoted(name));
    if (GetLe32(h + 12) != Volume)
        throw EKestxData(Quoted(name) + " is volume " + std::to_string(GetLe32(h + 12)) +
                         ", expected volume " + std::to_string(Volume));
    if (GetLe64(h + 16) != Consumed || GetLe64(h + 24) != RunningCrc)
        throw EKestxData(Quoted(name) + " belongs to another package or another build");
}

void TPackageStream::CheckTrailer(const unsigned char* t, uint64_t length,
                                  const std::string& name) {
    if (std::memcmp(t, TrailerSignature, 8) != 0 || GetLe64(t + 8) != length)
        throw EKestxData(Quoted(name) + " is truncated or incomplete (its volume trailer is " +
                         "missing or does not match its length)");
    if (GetLe32(t + 16) != Volume || (GetLe32(t + 20) & ~LastVolumeFlag) != 0)
        throw EKestxData("corrupt package: bad volume trailer in " + Quoted(name));
    CurrentIsLast = (GetLe32(t + 20) & LastVolumeFlag) != 0;
}

void TPackageStream::OpenVolume(TByteSource& src, uint64_t begin, uint64_t end,
                                const std::string& name) {
    ++Volume;
    Current = &src;
    CurrentName = name;
    const uint64_t length = end - begin;
    unsigned char h[VolumeHeaderSize];
    if (length < VolumeHeaderSize + VolumeTrailerSize || !src.ReadAt(begin, h, sizeof h)) {
        if (length >= 8 && src.ReadAt(begin, h, 8)) CheckHeader(h, name);
        throw EKestxData(Quoted(name) + " is truncated");
    }
    CheckHeader(h, name);
    unsigned char t[VolumeTrailerSize];
    if (!src.ReadAt(end - VolumeTrailerSize, t, sizeof t))
        throw EKestxData(Quoted(name) + " cannot be read");
    CheckTrailer(t, length, name);
    SlicePos = begin + VolumeHeaderSize;
    SliceEnd = end - VolumeTrailerSize;
}

void TPackageStream::NextVolume() {
    if (CurrentIsLast)
        throw EKestxData("the package ends early: it is truncated or corrupt (stream ends in " +
                         Quoted(CurrentName) + ")");
    std::string name;
    std::unique_ptr<TByteSource> next = More ? More->Open(Volume + 1, name) : nullptr;
    if (!next)
        throw EKestxData("missing volume " + std::to_string(Volume + 1) +
                         (name.empty() ? std::string() : ": " + Quoted(name) + " not found"));
    Owned = std::move(next);
    OpenVolume(*Owned, 0, Owned->Size(), name);
}

// Fills the buffer from the current slice, moving to the next volume when it is used up.
bool TPackageStream::Refill() {
    while (SlicePos == SliceEnd) {
        if (CurrentIsLast) return false;
        NextVolume();
    }
    const auto n = static_cast<size_t>(std::min<uint64_t>(ReadChunk, SliceEnd - SlicePos));
    Buf.resize(n);
    if (!Current->ReadAt(SlicePos, Buf.data(), n))
        throw EKestxData("cannot read " + Quoted(CurrentName));
    SlicePos += n;
    BufPos = 0;
    return true;
}

void TPackageStream::Read(void* buf, size_t n) {
    auto out = static_cast<unsigned char*>(buf);
    while (n) {
        if (BufPos == Buf.size() && !Refill()) NextVolume();
        const size_t take = std::min(n, Buf.size() - BufPos);
        std::memcpy(out, Buf.data() + BufPos, take);
        RunningCrc = Crc64Update(RunningCrc, out, take);
        BufPos += take;
        Consumed += take;
        out += take;
        n -= take;
    }
}

bool TPackageStream::AtCleanEnd() {
    if (BufPos != Buf.size()) return false;
    while (SlicePos == SliceEnd && !CurrentIsLast) NextVolume();
    return CurrentIsLast && SlicePos == SliceEnd;
}
