#include "VolumeWriter.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>

#include "PackFormat.h"
#include "PackSettings.h"

namespace {

constexpr size_t WriteChunk = 1 << 20;
constexpr uint64_t SpaceMargin = 64 << 10;
// Where space is short, bytes go out in pieces no larger than this: below the 100 KiB that
// the build's prompt waits for, so that its "go on" always lets the next piece through.
constexpr size_t SpacePiece = 64 << 10;
constexpr size_t NameBufferSize = 261;

/// The absolute directory holding a volume, for the free-space check and the host's
/// prompt (which wants an existing directory).
std::string DirectoryOf(const std::string& name) {
    std::string dir;
    const size_t cut = name.find_last_of('/');
    if (cut != std::string::npos) dir = name.substr(0, cut == 0 ? 1 : cut);
    try {
        const std::filesystem::path p =
            dir.empty() ? std::filesystem::current_path() : std::filesystem::absolute(dir);
        return p.string();
    } catch (const std::exception&) {
        return dir.empty() ? std::string(".") : dir;
    }
}

uint64_t FreeBytes(const std::string& dir) {
#ifdef KEST_PACK_TEST_HOOKS
    // Only in the tests' own build of the library (tests/packlib): the shipped one always
    // asks the system.
    if (const char* fake = std::getenv("KEST_TEST_FREE_BYTES")) {
        if (auto v = ParseByteSize(fake)) return *v;
    }
#endif
    try {
        std::error_code ec;
        const auto info = std::filesystem::space(dir, ec);
        // Unknown space does not block: the write itself then tells.
        if (!ec) return info.available;
    } catch (const std::exception&) {
    }
    return std::numeric_limits<uint64_t>::max();
}

std::vector<uint8_t> HeaderBytes(uint32_t volume, uint64_t streamOffset, uint64_t link) {
    std::vector<uint8_t> h(std::begin(PackFormat::VolumeSignature),
                           std::end(PackFormat::VolumeSignature));
    PackFormat::Put16(h, PackFormat::FormatVersion);
    PackFormat::Put16(h, uint16_t(PackFormat::VolumeHeaderSize));
    PackFormat::Put32(h, volume);
    PackFormat::Put64(h, streamOffset);
    PackFormat::Put64(h, link);
    return h;
}

std::vector<uint8_t> TrailerBytes(uint64_t volumeLength, uint32_t volume, uint32_t flags) {
    std::vector<uint8_t> t(std::begin(PackFormat::TrailerSignature),
                           std::end(PackFormat::TrailerSignature));
    PackFormat::Put64(t, volumeLength);
    PackFormat::Put32(t, volume);
    PackFormat::Put32(t, flags);
    return t;
}

}  // namespace

TVolumeWriter::TVolumeWriter(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace,
                             std::optional<uint64_t> volumeSize)
    : OnVolumeName(onVolumeName), OnDiskSpace(onDiskSpace), VolumeSize(volumeSize) {}

TVolumeWriter::~TVolumeWriter() = default;

bool TVolumeWriter::Fail() {
    Broken = true;
    return false;
}

bool TVolumeWriter::Write(const uint8_t* data, size_t size) {
    if (Broken) return false;
    while (size > 0) {
        if (!File.IsOpen() || SliceRoom == 0) {
            if (File.IsOpen() && !CloseCurrent(0)) return false;
            if (!OpenNext()) return false;
        }
        const size_t part = size < SliceRoom ? size : size_t(SliceRoom);
        if (!Buffer(data, part)) return false;
        // Counted per part: a volume header links to the bytes before it only.
        Crc = lzma_crc64(data, part, Crc);
        SliceRoom -= part;
        StreamBytes += part;
        data += part;
        size -= part;
    }
    return true;
}

bool TVolumeWriter::Finish() {
    if (Broken || !File.IsOpen()) return Fail();
    return CloseCurrent(PackFormat::TrailerLastVolume);
}

bool TVolumeWriter::OpenNext() {
    if (OnVolumeName == nullptr) return Fail();
    char name[NameBufferSize] = {};
    ++Volume;
    OnVolumeName(int32_t(Volume), name);
    name[NameBufferSize - 1] = 0;
    if (name[0] == 0) return Fail();  // the host has no name it can stand behind
    Name = name;
    Dir = DirectoryOf(NativeFileName(name));
    if (!File.Create(Name)) {
        TellRefusal("cannot create volume", Name, LastSystemReason());
        return Fail();
    }
    const uint64_t limit = VolumeLimit(VolumeSize, Volume);
    const uint64_t frame = PackFormat::VolumeHeaderSize + PackFormat::VolumeTrailerSize;
    SliceRoom = limit == std::numeric_limits<uint64_t>::max() ? limit : limit - frame;
    VolumeBytes = 0;
    const std::vector<uint8_t> header = HeaderBytes(Volume, StreamBytes, Crc);
    return Buffer(header.data(), header.size());
}

bool TVolumeWriter::CloseCurrent(uint32_t flags) {
    const std::vector<uint8_t> trailer =
        TrailerBytes(VolumeBytes + PackFormat::VolumeTrailerSize, Volume, flags);
    if (!Buffer(trailer.data(), trailer.size()) || !FlushBuffer()) return false;
    if (File.Close()) return true;
    TellRefusal("cannot write volume", Name, LastSystemReason());
    return Fail();
}

bool TVolumeWriter::Buffer(const uint8_t* data, size_t size) {
    // Our own buffer bounds memory and gives one space check per chunk.
    while (size > 0) {
        const size_t part = std::min(size, WriteChunk - Pending.size());
        Pending.insert(Pending.end(), data, data + part);
        VolumeBytes += part;
        data += part;
        size -= part;
        if (Pending.size() == WriteChunk && !FlushBuffer()) return false;
    }
    return true;
}

bool TVolumeWriter::FlushBuffer() {
    if (Pending.empty()) return true;
    const bool roomy = FreeBytes(Dir) >= Pending.size() + SpaceMargin;
    for (size_t done = 0; done < Pending.size();) {
        const size_t piece = roomy ? Pending.size() : std::min(SpacePiece, Pending.size() - done);
        if (!roomy && !EnsureSpace(piece)) return Fail();
        if (!File.Write(Pending.data() + done, piece)) {
            TellRefusal("cannot write volume", Name, LastSystemReason());
            return Fail();
        }
        done += piece;
    }
    Pending.clear();
    return true;
}

bool TVolumeWriter::EnsureSpace(uint64_t bytes) {
    uint64_t free = FreeBytes(Dir);
    while (free < bytes) {
        if (GoOnAt == free) return true;  // already answered "go on" at this very amount
        if (OnDiskSpace == nullptr) return false;
        int32_t answer = -1;
        OnDiskSpace(Dir.c_str(), &answer);
        if (answer != 0) return false;
        const uint64_t now = FreeBytes(Dir);
        // "Go on" with nothing changed: asking again would repeat forever. The write
        // itself then tells whether the space suffices.
        if (now == free) {
            GoOnAt = free;
            return true;
        }
        free = now;
    }
    return true;
}
