#include "PkgParse.h"

#include <algorithm>

#include "PkgFail.h"

namespace {

constexpr uint8_t RecPackageStart = 'P';
constexpr uint8_t RecFileHeader = 'F';
constexpr uint8_t RecDataBlock = 'D';
constexpr uint8_t RecFileEnd = 'E';
constexpr uint8_t RecPackageEnd = 'Z';
constexpr uint64_t MaxFileSize = 0x7FFFFFFFu;
constexpr uint64_t MaxNameLength = 0xFFFF;
// Version 2 announces a block of L bytes as L + 1; L is a 32-bit length as in version 1.
constexpr uint64_t MaxBlockCode = 0x100000000u;
constexpr uint8_t MaxLevel = 9;
// A block is read in pieces of this size, so a damaged length cannot make us allocate more
// memory than the package really holds.
constexpr size_t BlockPiece = 1u << 20;

[[noreturn]] void Corrupt(const std::string& what) {
    FailPackage("corrupt package: " + what);
}

}  // namespace

TPackageParser::TPackageParser(TPackageStream& stream) : Stream(stream) {
    unsigned char r[6];
    Stream.Read(r, sizeof r);
    if (r[0] != RecPackageStart) Corrupt("the package start record is missing");
    Package.Level = r[1];
    Package.DictSize = GetLe32(r + 2);
    if (Package.Level > MaxLevel) Corrupt("unknown compression level");
}

uint8_t TPackageParser::ReadType() {
    uint8_t type = 0;
    Stream.Read(&type, 1);
    return type;
}

// The package CRC covers every stream byte before the end record's type byte.
void TPackageParser::ReadEnd(uint64_t crcBefore) {
    unsigned char r[12];
    Stream.Read(r, sizeof r);
    if (GetLe32(r) != Files)
        Corrupt("the package end counts " + std::to_string(GetLe32(r)) + " files, found " +
                std::to_string(Files));
    if (GetLe64(r + 4) != crcBefore) Corrupt("the package's CRC-64 does not match");
    if (!Stream.AtCleanEnd()) Corrupt("data after the package end");
    State = TState::Done;
}

uint64_t TPackageParser::ReadVarint(uint64_t limit, const std::string& what) {
    uint64_t value = 0;
    // Five bytes hold 35 bits, more than any limit: a longer number is corrupt.
    for (unsigned shift = 0; shift < 35; shift += 7) {
        const uint8_t byte = ReadType();
        value |= uint64_t(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            if (value > limit) Corrupt(what);
            return value;
        }
    }
    Corrupt(what);
}

bool TPackageParser::NextFile(TFileEntry& file) {
    if (State == TState::Done) return false;
    if (State == TState::InFile) Corrupt("a file's data was not read to its end");
    const uint64_t crcBefore = Stream.Crc();
    const uint8_t type = ReadType();
    if (type == RecPackageEnd) {
        ReadEnd(crcBefore);
        return false;
    }
    if (Stream.FormatVersion() >= 2) {
        ReadFileRecord(type, file);
        return true;
    }
    if (type != RecFileHeader) Corrupt("unexpected record type " + std::to_string(type));
    unsigned char h[12];
    Stream.Read(h, sizeof h);
    file.Codec = h[0];
    if (file.Codec > CodecXz) Corrupt("unknown codec " + std::to_string(file.Codec));
    if (h[1] != 0) Corrupt("unknown filter " + std::to_string(h[1]));
    file.Size = GetLe64(h + 4);
    if (file.Size > MaxFileSize) Corrupt("a file size of 2 GiB or more");
    file.Name.assign(GetLe16(h + 2), '\0');
    Stream.Read(file.Name.data(), file.Name.size());
    State = TState::InFile;
    BlocksInFile = 0;
    ++Files;
    return true;
}

// Version 2: codec, the stored name as the length it shares with the previous file's and
// the rest, then the size; no filter byte.
void TPackageParser::ReadFileRecord(uint8_t codec, TFileEntry& file) {
    if (codec > CodecSolidX86) Corrupt("unknown codec or record type " + std::to_string(codec));
    file.Codec = codec;
    const auto shared =
        size_t(ReadVarint(PreviousName.size(), "a name longer than the one before"));
    const auto rest = size_t(ReadVarint(MaxNameLength - shared, "a name longer than 65535 bytes"));
    PreviousName.resize(shared + rest);
    Stream.Read(PreviousName.data() + shared, rest);
    file.Name = PreviousName;
    file.Size = ReadVarint(MaxFileSize, "a file size of 2 GiB or more");
    State = TState::InFile;
    BlocksInFile = 0;
    ++Files;
}

bool TPackageParser::EndOfBlocks(size_t& length) {
    if (Stream.FormatVersion() >= 2) {
        const uint64_t code = ReadVarint(MaxBlockCode, "a block longer than 4 GiB");
        length = size_t(code - 1);
        return code == 0;
    }
    const uint8_t type = ReadType();
    if (type == RecFileEnd) return true;
    if (type != RecDataBlock) Corrupt("unexpected record type " + std::to_string(type));
    unsigned char l[4];
    Stream.Read(l, sizeof l);
    length = GetLe32(l);
    return false;
}

bool TPackageParser::NextBlock(std::vector<unsigned char>& block) {
    if (State != TState::InFile) Corrupt("no file to read blocks of");
    size_t length = 0;
    if (EndOfBlocks(length)) {
        if (BlocksInFile == 0) Corrupt("a file without data blocks");
        unsigned char r[8];
        Stream.Read(r, sizeof r);
        EndCrc = GetLe64(r);
        State = TState::BetweenFiles;
        return false;
    }
    block.clear();
    while (block.size() < length) {
        const size_t old = block.size();
        block.resize(old + std::min(BlockPiece, length - old));
        Stream.Read(block.data() + old, block.size() - old);
    }
    ++BlocksInFile;
    return true;
}
