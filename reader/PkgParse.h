// The records of the package stream: package start, then per file a header, its data
// blocks and its end, then the package end. The parser checks their order and every
// length, and the package end's count and CRC; it never decodes or decrypts. It reads
// format versions 1 (a record per header, block and end) and 2 (one compact record per file).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PkgVolumes.h"

enum TKestxCodec : uint8_t { CodecStored = 0, CodecSolid = 1, CodecXz = 2, CodecSolidX86 = 3 };

struct TPackageInfo {
    uint8_t Level = 0;
    uint32_t DictSize = 0;
};

struct TFileEntry {
    uint8_t Codec = 0;
    std::string Name;  // as stored: ANSI bytes, "\" separators
    uint64_t Size = 0;
};

class TPackageParser {
  public:
    /// Reads the package start record.
    explicit TPackageParser(TPackageStream& stream);

    const TPackageInfo& Info() const { return Package; }
    /// The next file's header; false once the package end record has been read and
    /// checked. The previous file's blocks must have been read to its end.
    bool NextFile(TFileEntry& file);
    /// The next data block of the current file; false at the file's end record, whose CRC
    /// FileCrc() then gives. The block may be empty.
    bool NextBlock(std::vector<unsigned char>& block);
    uint64_t FileCrc() const { return EndCrc; }
    uint32_t FilesRead() const { return Files; }

  private:
    uint8_t ReadType();
    void ReadEnd(uint64_t crcBefore);
    /// An unsigned LEB128 number of at most five bytes; corrupt (naming what) above limit.
    uint64_t ReadVarint(uint64_t limit, const std::string& what);
    void ReadFileRecord(uint8_t codec, TFileEntry& file);
    /// Reads the next block's length, or the end of the file's blocks (true).
    bool EndOfBlocks(size_t& length);

    TPackageStream& Stream;
    TPackageInfo Package;
    enum class TState { BetweenFiles, InFile, Done } State = TState::BetweenFiles;
    uint32_t BlocksInFile = 0;
    uint32_t Files = 0;
    uint64_t EndCrc = 0;
    std::string PreviousName;
};
