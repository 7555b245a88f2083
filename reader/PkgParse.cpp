#include "PkgParse.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>

#include "PkgCrc64.h"
#include "PkgDecode.h"
#include "PkgFail.h"
#include "PkgX86Filter.h"

namespace {

constexpr uint8_t RecPackageStart = 'P';
constexpr uint8_t RecFileHeader = 'F';
constexpr uint8_t RecDataBlock = 'D';
constexpr uint8_t RecFileEnd = 'E';
constexpr uint8_t RecPackageEnd = 'Z';
constexpr uint8_t RecGroupPiece = 'G';
constexpr uint64_t MaxFileSize = 0x7FFFFFFFu;
constexpr uint64_t MaxNameLength = 0xFFFF;
// Version 2 announces a block of L bytes as L + 1; L is a 32-bit length as in version 1.
constexpr uint64_t MaxBlockCode = 0x100000000u;
constexpr uint8_t MaxLevel = 9;
// A block is read in pieces of this size, so a damaged length cannot make us allocate more
// memory than the package really holds.
constexpr size_t BlockPiece = 1u << 20;
// Group bytes are decoded this much at a time; an entry's blocks are at most this long.
constexpr size_t DecodedChunk = 256u * 1024;

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

TPackageParser::~TPackageParser() = default;

uint8_t TPackageParser::ReadType() {
    uint8_t type = 0;
    ReadBytes(&type, 1);
    return type;
}

void TPackageParser::ReadBytes(void* data, size_t size) {
    if (!FromGroup) return Stream.Read(data, size);
    auto* out = static_cast<unsigned char*>(data);
    while (size) {
        if (!GroupFill()) Corrupt("a group piece ends inside a file's entry");
        const size_t n = std::min(size, DecodedEnd - DecodedAt);
        std::memcpy(out, Decoded.data() + DecodedAt, n);
        DecodedAt += n;
        out += n;
        size -= n;
    }
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
    if (InPiece && NextEntry(file)) return true;
    uint64_t crcBefore = Stream.Crc();
    uint8_t type = ReadType();
    // The library writes no piece without an entry; a damaged one tells at the end. A loop,
    // not a call of itself: a crafted package may hold any number of empty pieces.
    while (Stream.FormatVersion() >= 3 && type == RecGroupPiece) {
        if (!Group) Group = std::make_unique<TGroupDecoder>(Package.DictSize);
        InPiece = true;
        PieceEnded = false;
        if (NextEntry(file)) return true;
        crcBefore = Stream.Crc();
        type = ReadType();
    }
    if (type == RecPackageEnd) {
        ReadEnd(crcBefore);
        return false;
    }
    file.Plain = false;
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
    ReadBytes(PreviousName.data() + shared, rest);
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
    if (InPiece) return NextEntryBlock(block);
    size_t length = 0;
    if (EndOfBlocks(length)) {
        if (BlocksInFile == 0) Corrupt("a file without data blocks");
        unsigned char r[8];
        Stream.Read(r, sizeof r);
        EndCrc = GetLe64(r);
        State = TState::BetweenFiles;
        return false;
    }
    ReadBlock(length, block);
    ++BlocksInFile;
    return true;
}

void TPackageParser::ReadBlock(size_t length, std::vector<unsigned char>& block) {
    block.clear();
    while (block.size() < length) {
        const size_t old = block.size();
        block.resize(old + std::min(BlockPiece, length - old));
        Stream.Read(block.data() + old, block.size() - old);
    }
}

bool TPackageParser::GroupFill() {
    while (DecodedAt == DecodedEnd) {
        // Sized once: resizing per refill would clear the buffer every time.
        Decoded.resize(DecodedChunk);
        DecodedAt = 0;
        DecodedEnd = Group->Read(Decoded.data(), Decoded.size());
        if (DecodedEnd > 0) return true;
        if (PieceEnded) return false;
        // The piece's next block comes from the package stream itself.
        const bool fromGroup = FromGroup;
        FromGroup = false;
        size_t length = 0;
        if (EndOfBlocks(length)) {
            PieceEnded = true;
        } else {
            if (length == 0) Corrupt("an empty block in a group piece");
            ReadBlock(length, PieceBlock);
            Group->Feed(PieceBlock);
        }
        FromGroup = fromGroup;
    }
    return true;
}

// An entry starts like a version 2 file record, read from the group stream; its bytes and
// their CRC-32 follow.
bool TPackageParser::NextEntry(TFileEntry& file) {
    if (!GroupFill()) {
        InPiece = false;
        return false;
    }
    FromGroup = true;
    const uint8_t codec = ReadType();
    if (codec != CodecSolid && codec != CodecSolidX86)
        Corrupt("unknown codec " + std::to_string(codec) + " in the group stream");
    ReadFileRecord(codec, file);
    FromGroup = false;
    file.Codec = CodecStored;
    file.Plain = true;
    EntryLeft = file.Size;
    EntryCrc32 = 0;
    EntryCrc64 = 0;
    if (codec == CodecSolidX86) Unfilter = std::make_unique<TX86Filter>(TX86Filter::Decode);
    return true;
}

bool TPackageParser::NextEntryBlock(std::vector<unsigned char>& block) {
    FromGroup = true;
    block.clear();
    if (EntryLeft > 0) {
        if (!GroupFill()) Corrupt("a group piece ends inside a file's entry");
        const size_t n = size_t(std::min<uint64_t>(EntryLeft, DecodedEnd - DecodedAt));
        const unsigned char* data = Decoded.data() + DecodedAt;
        DecodedAt += n;
        EntryLeft -= n;
        if (Unfilter) {
            Unfilter->Convert(data, n, block);
            if (EntryLeft == 0) Unfilter->Finish(block);
        } else {
            block.assign(data, data + n);
        }
        EntryCrc32 = lzma_crc32(block.data(), block.size(), EntryCrc32);
        EntryCrc64 = Crc64Update(EntryCrc64, block.data(), block.size());
        FromGroup = false;
        return true;
    }
    unsigned char r[4];
    ReadBytes(r, sizeof r);
    FromGroup = false;
    if (GetLe32(r) != EntryCrc32)
        Corrupt("the CRC-32 of '" + PreviousName + "' does not match its bytes");
    // Its bytes were checked here; the caller's check of the CRC-64 of what it decoded
    // then catches a fault of its own.
    EndCrc = EntryCrc64;
    Unfilter.reset();
    State = TState::BetweenFiles;
    return false;
}
