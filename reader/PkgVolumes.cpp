#include "PkgVolumes.h"

#include <algorithm>
#include <cstring>

#include "PkgCrc64.h"
#include "PkgFail.h"

namespace {

const unsigned char HeaderSignature[8] = {'K', 'E', 'S', 'T', 'P', 'K', 'G', 0x1A};
const unsigned char TrailerSignature[8] = {'K', 'E', 'S', 'T', 'V', 'E', 'N', 'D'};
constexpr uint16_t OldestVersion = 1;
constexpr uint16_t NewestVersion = 3;
constexpr uint32_t LastVolumeFlag = 1;
constexpr size_t ReadChunk = 256 * 1024;

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

}  // namespace

std::string VolumeFileName(const std::string& firstPath, uint32_t n) {
    const size_t sep = firstPath.find_last_of("\\/");
    size_t dot = firstPath.rfind('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) dot = firstPath.size();
    return firstPath.substr(0, dot) + "." + std::to_string(n);
}

uint64_t FirstVolumeBegin(TByteSource& exe, uint64_t s) {
    unsigned char t[VolumeTrailerSize];
    if (s < VolumeHeaderSize + VolumeTrailerSize ||
        !exe.ReadAt(s - VolumeTrailerSize, t, sizeof t) || std::memcmp(t, TrailerSignature, 8) != 0)
        FailPackage("not a KestBuild executable: no package before its trailer");
    const uint64_t length = GetLe64(t + 8);
    if (length < VolumeHeaderSize + VolumeTrailerSize || length > s)
        FailPackage("corrupt package: the first volume's length is impossible");
    return s - length;
}

TPackageStream::TPackageStream(TByteSource& first, uint64_t begin, uint64_t end,
                               const std::string& firstName, TVolumeLocator* more)
    : More(more) {
    OpenVolume(first, begin, end, firstName);
}

void TPackageStream::CheckHeader(const unsigned char* h, const std::string& name) {
    if (std::memcmp(h, HeaderSignature, 8) != 0)
        FailPackage(Volume == 1 ? "not a KestBuild package: no package header in " + Quoted(name)
                                : Quoted(name) + " is not a volume of a KestBuild package");
    const uint16_t version = GetLe16(h + 8);
    if (version < OldestVersion || version > NewestVersion)
        FailPackage(Quoted(name) + " has package format version " + std::to_string(version) +
                    ", this reader knows versions 1 to 3");
    if (Volume == 1) Version = version;
    if (version != Version)
        FailPackage(Quoted(name) + " belongs to another package or another build");
    if (GetLe16(h + 10) != VolumeHeaderSize)
        FailPackage("corrupt package: bad volume header size in " + Quoted(name));
    if (GetLe32(h + 12) != Volume)
        FailPackage(Quoted(name) + " is volume " + std::to_string(GetLe32(h + 12)) +
                    ", expected volume " + std::to_string(Volume));
    if (GetLe64(h + 16) != Consumed || GetLe64(h + 24) != RunningCrc)
        FailPackage(Quoted(name) + " belongs to another package or another build");
}

void TPackageStream::CheckTrailer(const unsigned char* t, uint64_t length,
                                  const std::string& name) {
    if (std::memcmp(t, TrailerSignature, 8) != 0 || GetLe64(t + 8) != length)
        FailPackage(Quoted(name) + " is truncated or incomplete (its volume trailer is " +
                    "missing or does not match its length)");
    if (GetLe32(t + 16) != Volume || (GetLe32(t + 20) & ~LastVolumeFlag) != 0)
        FailPackage("corrupt package: bad volume trailer in " + Quoted(name));
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
        FailPackage(Quoted(name) + " is truncated");
    }
    CheckHeader(h, name);
    unsigned char t[VolumeTrailerSize];
    if (!src.ReadAt(end - VolumeTrailerSize, t, sizeof t))
        FailPackage(Quoted(name) + " cannot be read");
    CheckTrailer(t, length, name);
    SlicePos = begin + VolumeHeaderSize;
    SliceEnd = end - VolumeTrailerSize;
}

void TPackageStream::NextVolume() {
    if (CurrentIsLast)
        FailPackage("the package ends early: it is truncated or corrupt (stream ends in " +
                    Quoted(CurrentName) + ")");
    std::string name;
    std::unique_ptr<TByteSource> next = More ? More->Open(Volume + 1, name) : nullptr;
    if (!next)
        FailPackage("missing volume " + std::to_string(Volume + 1) +
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
        FailPackage("cannot read " + Quoted(CurrentName));
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
