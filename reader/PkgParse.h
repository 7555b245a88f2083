// The records of the package stream: package start, then per file a header, its data
// blocks and its end, or pieces of the group stream, then the package end. The parser
// checks their order and every length, and the package end's count and CRC. It never
// decrypts, and decodes only the group stream, whose entries it gives as files of their
// own with their bytes as blocks. It reads format versions 1 (a record per header, block
// and end), 2 (one compact record per file) and 3 (2 and the group stream).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PkgVolumes.h"

class TGroupDecoder;
class TX86Filter;

enum TKestxCodec : uint8_t { CodecStored = 0, CodecSolid = 1, CodecXz = 2, CodecSolidX86 = 3 };

struct TPackageInfo {
    uint8_t Level = 0;
    uint32_t DictSize = 0;
};

struct TFileEntry {
    uint8_t Codec = 0;
    std::string Name;  // as stored: ANSI bytes, "\" separators
    uint64_t Size = 0;
    /// An entry of the group stream: its blocks are its bytes, decoded and never encrypted
    /// (Codec is then CodecStored).
    bool Plain = false;
};

class TPackageParser {
  public:
    /// Reads the package start record.
    explicit TPackageParser(TPackageStream& stream);
    ~TPackageParser();
    TPackageParser(const TPackageParser&) = delete;
    TPackageParser& operator=(const TPackageParser&) = delete;

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
    /// An unsigned LEB128 number of at most five bytes from the stream, or from the group
    /// stream while an entry is read; corrupt (naming what) above limit.
    uint64_t ReadVarint(uint64_t limit, const std::string& what);
    void ReadBytes(void* data, size_t size);
    void ReadFileRecord(uint8_t codec, TFileEntry& file);
    /// Reads the next block's length, or the end of the file's blocks (true).
    bool EndOfBlocks(size_t& length);
    /// Reads a block of length bytes into block, in pieces.
    void ReadBlock(size_t length, std::vector<unsigned char>& block);

    /// Makes decoded group bytes ready, reading the piece's next blocks as needed; false at
    /// the piece's end.
    bool GroupFill();
    /// The next entry of the open group piece; false at the piece's end.
    bool NextEntry(TFileEntry& file);
    bool NextEntryBlock(std::vector<unsigned char>& block);

    TPackageStream& Stream;
    TPackageInfo Package;
    enum class TState { BetweenFiles, InFile, Done } State = TState::BetweenFiles;
    uint32_t BlocksInFile = 0;
    uint32_t Files = 0;
    uint64_t EndCrc = 0;
    std::string PreviousName;

    std::unique_ptr<TGroupDecoder> Group;
    bool InPiece = false;       // a group piece's blocks are being read
    bool FromGroup = false;     // ReadBytes takes decoded group bytes
    bool PieceEnded = false;    // its blocks are all read
    std::vector<unsigned char> Decoded;
    size_t DecodedAt = 0;   // the next byte of Decoded to take
    size_t DecodedEnd = 0;  // the end of what Decoded holds
    std::vector<unsigned char> PieceBlock;
    uint64_t EntryLeft = 0;
    uint32_t EntryCrc32 = 0;
    uint64_t EntryCrc64 = 0;
    std::unique_ptr<TX86Filter> Unfilter;
};
