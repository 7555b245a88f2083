// Byte layout of the package (docs/package-format.md): signatures, record types, sizes and
// the little-endian encoders that every writer of it shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace PackFormat {

constexpr uint8_t VolumeSignature[8] = {'K', 'E', 'S', 'T', 'P', 'K', 'G', 0x1A};
constexpr uint8_t TrailerSignature[8] = {'K', 'E', 'S', 'T', 'V', 'E', 'N', 'D'};
constexpr uint16_t FormatVersion = 3;
constexpr size_t VolumeHeaderSize = 32;
constexpr size_t VolumeTrailerSize = 24;
constexpr uint32_t TrailerLastVolume = 1;

constexpr uint8_t RecPackageStart = 0x50;
constexpr uint8_t RecPackageEnd = 0x5A;
/// A piece of the group stream, which holds plain files' entries.
constexpr uint8_t RecGroupPiece = 0x47;

/// A file record starts with its codec; the package end record's type is none of them.
constexpr uint8_t CodecStored = 0;
constexpr uint8_t CodecSolid = 1;
constexpr uint8_t CodecXz = 2;
/// The solid stream, the file's bytes passed through the x86 branch filter first.
constexpr uint8_t CodecSolidX86 = 3;
/// The varint that ends a file's blocks; a block of L bytes is announced as L + 1.
constexpr uint64_t BlocksEnd = 0;

/// The executable keeps 32-bit offsets: stub + volume 1 must stay below 2 GiB.
constexpr uint64_t Volume1Cap = (2ull << 30) - (64ull << 20);
constexpr uint64_t MinVolumeSize = 4096;
/// Files from this size on go through the two-thread encoder as a stream of their own.
constexpr uint64_t ThreadedFileSize = 16ull << 20;
/// Sizes cross the calling interface as 32-bit signed values.
constexpr uint64_t MaxFileSize = (1ull << 31) - 1;

inline void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, uint16_t(v));
    Put16(out, uint16_t(v >> 16));
}
inline void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, uint32_t(v));
    Put32(out, uint32_t(v >> 32));
}
/// Seven bits per byte, lowest first, the top bit set on every byte but the last.
inline void PutVarint(std::vector<uint8_t>& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(uint8_t(v | 0x80));
        v >>= 7;
    }
    out.push_back(uint8_t(v));
}

}  // namespace PackFormat
