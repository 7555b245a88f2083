// A test-only reader of the package format, written from docs/package-format.md, so that
// the library's output is checked against the document and not against its own code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace PackReader {

struct TFile {
    std::string Name;
    uint8_t Codec = 0;
    uint64_t Size = 0;
    uint64_t Crc = 0;
    std::vector<std::string> Blocks;  // data block records, as stored (none for an entry)
    bool Grouped = false;             // an entry of the group stream; Crc is its CRC-32
    std::string Data;                 // decoded original bytes
};

struct TPackage {
    uint8_t Level = 0;
    uint32_t DictSize = 0;
    uint32_t VolumeCount = 0;
    std::vector<TFile> Files;
    uint32_t Pieces = 0;                  // group pieces
    std::vector<std::string> PieceBlocks;  // their blocks, in order
};

/// Undoes whatever the host did to one stored block (index counts the file's blocks).
using TBlockFilter =
    std::function<std::string(const TFile& file, size_t index, const std::string& block)>;

/// Reads volumes 1, 2, ... named by volumeName until the one marked last; checks every
/// header, trailer, link, record, size and checksum. Throws std::runtime_error naming
/// the first fault.
TPackage Read(const std::function<std::string(uint32_t)>& volumeName,
              const TBlockFilter& filter = nullptr);

}  // namespace PackReader
