#include "Package.h"

#include <lzma.h>

#include <algorithm>

#include "PackFile.h"
#include "PackFormat.h"
#include "PkgX86Filter.h"

namespace {

/// Input between two progress reports; also the read size.
constexpr size_t ReportStep = 1 << 20;
constexpr uint32_t EncoderThreads = 2;
constexpr size_t MaxStoredName = 0xFFFF;
/// The group stream's encoder hands out its output when it is done with it, so its amount
/// at any moment depends on timing. Blocks of a fixed size keep the package the same on
/// every run, whichever calls report them.
constexpr size_t GroupBlock = 64u << 10;

/// Hands emit the whole blocks of blockSize bytes at the front of buffer, one at a time in
/// block, as long as at least keep bytes stay behind, and drops them from buffer.
template <typename TEmit>
bool EmitBlocks(std::vector<uint8_t>& buffer, size_t blockSize, size_t keep,
                std::vector<uint8_t>& block, TEmit emit) {
    size_t taken = 0;
    for (; buffer.size() - taken >= blockSize + keep; taken += blockSize) {
        block.assign(buffer.begin() + ptrdiff_t(taken),
                     buffer.begin() + ptrdiff_t(taken + blockSize));
        if (!emit(block)) return false;
    }
    buffer.erase(buffer.begin(), buffer.begin() + ptrdiff_t(taken));
    return true;
}

std::string SizeText(uint64_t bytes) {
    return std::to_string(bytes) + " bytes";
}

/// Opens a source and finds its size, or tells why it cannot be packed.
bool OpenSource(const char* name, TPackFile& file, int64_t& size) {
    const uint32_t attributes = Plat::GetAttributes(name);
    if (attributes != Plat::InvalidAttributes && (attributes & Plat::AttrDirectory)) {
        TellRefusal("cannot pack", name, "it is a folder, not a file");
        return false;
    }
    if (!file.OpenToRead(name)) {
        TellRefusal("cannot open", name, LastSystemReason());
        return false;
    }
    size = file.Size();
    if (size < 0) {
        TellRefusal("cannot read", name, LastSystemReason());
        return false;
    }
    // Sizes cross the calling interface as 32-bit signed values.
    if (uint64_t(size) > PackFormat::MaxFileSize) {
        TellRefusal("cannot pack", name,
                    SizeText(uint64_t(size)) + ", more than the " +
                        SizeText(PackFormat::MaxFileSize) + " a package holds per file");
        return false;
    }
    return true;
}

}  // namespace

struct TPackage::TFileJob {
    const char* Source = nullptr;
    TPackFile* File = nullptr;
    int32_t Size = 0;
    int32_t Done = 0;
    uint8_t Codec = PackFormat::CodecSolid;
    /// An entry of the group stream instead of a record of its own.
    bool Grouped = false;
    uint64_t Crc = 0;  // CRC-64 for a record, CRC-32 for an entry
    uint32_t Got = 0;    // bytes of the step in ReadBuffer
    bool Ahead = false;  // the first step was read before the codec was chosen
    TLzmaCoder Threaded;
    TLzmaCoder* Coder = nullptr;
    TX86Filter Filter{TX86Filter::Encode};
};

TPackage::TPackage(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace, TOnWrite onWrite,
                   int32_t level)
    : OnWrite(onWrite),
      Settings(LevelSettings(level)),
      Writer(onVolumeName, onDiskSpace, ConfiguredVolumeSize()) {
    Group.Configure(Settings.Lzma, Settings.GroupHashBytes, Settings.GroupSegment);
}

bool TPackage::ThreadsFit() const {
    return TLzmaCoder::RawMemory(Settings.Lzma) +
               TLzmaCoder::ThreadedMemory(Settings.Threaded, EncoderThreads,
                                          Settings.ThreadedBlock) <=
           MemoryBudget;
}

bool TPackage::Break() {
    Broken = true;
    Solid.End();
    Group.End();
    return false;
}

bool TPackage::Start() {
    if (Started) return true;
    Started = true;
    std::vector<uint8_t> fields;
    fields.push_back(uint8_t(Settings.Level));
    PackFormat::Put32(fields, Settings.Stored ? 0 : Settings.Lzma.dict_size);
    return WriteRecordHeader(PackFormat::RecPackageStart, fields);
}

bool TPackage::WriteRecordHeader(uint8_t type, const std::vector<uint8_t>& fields) {
    const uint8_t t = type;
    return Writer.Write(&t, 1) && Writer.Write(fields);
}

bool TPackage::AddFile(const char* sourceName, const char* storedName) {
    if (Broken || Closed || OnWrite == nullptr || sourceName == nullptr || storedName == nullptr)
        return false;
    const size_t nameLength = std::char_traits<char>::length(storedName);
    if (nameLength > MaxStoredName) {
        TellRefusal("cannot pack", sourceName,
                    "its stored name is longer than " + std::to_string(MaxStoredName) + " bytes");
        return false;
    }
    TPackFile file;
    int64_t size = 0;
    if (!OpenSource(sourceName, file, size)) return false;

    TFileJob job;
    job.Source = sourceName;
    job.File = &file;
    job.Size = int32_t(size);
    ReadBuffer.resize(ReportStep);
    const bool big =
        !Settings.Stored && uint64_t(size) >= PackFormat::ThreadedFileSize && ThreadsFit();
    job.Grouped = Plain && !Settings.Stored && !big;
    if (Settings.Stored) {
        job.Codec = PackFormat::CodecStored;
    } else if (size > 0) {
        // The filter is chosen by what the file holds, so its first step is read first.
        if (!ReadStep(job)) return false;
        job.Ahead = true;
        if (IsX86Image(ReadBuffer.data(), job.Got)) job.Codec = PackFormat::CodecSolidX86;
    }
    // A big file's .xz stream carries the filter in its own block headers.
    if (big && job.Threaded.InitThreaded(Settings.Threaded, EncoderThreads, Settings.ThreadedBlock,
                                  job.Codec == PackFormat::CodecSolidX86))
        job.Codec = PackFormat::CodecXz;

    // From here on bytes reach the package: any failure leaves it broken.
    const std::string_view name(storedName, nameLength);
    if (!Start()) return Break();
    const std::vector<uint8_t> header = FileHeader(job.Codec, name, uint64_t(size));
    OutBuffer.clear();
    if (job.Grouped) {
        // An entry starts like a record; it goes into the group stream with the data.
        if (Solid.Active()) Solid.End();
        Staged = header;
        if (!WriteFile(job) || !Writer.Flush()) return Break();
    } else {
        if (!ClosePiece()) return Break();
        const bool solid =
            job.Codec == PackFormat::CodecSolid || job.Codec == PackFormat::CodecSolidX86;
        if (solid && !Solid.Active()) {
            Group.End();
            if (!Solid.InitRaw(Settings.Lzma)) return Break();
        }
        if (!Writer.Write(header) || !WriteFile(job)) return Break();
        std::vector<uint8_t> fields;
        PackFormat::PutVarint(fields, PackFormat::BlocksEnd);
        PackFormat::Put64(fields, job.Crc);
        if (!Writer.Write(fields) || !Writer.Flush()) return Break();
    }
    PreviousName = name;
    ++FileCount;
    return true;
}

std::vector<uint8_t> TPackage::FileHeader(uint8_t codec, std::string_view name,
                                          uint64_t size) const {
    // Names arrive tree by tree, so a name mostly repeats the start of the one before: only
    // the rest is stored.
    const size_t shared = size_t(
        std::mismatch(name.begin(), name.end(), PreviousName.begin(), PreviousName.end()).first -
        name.begin());
    std::vector<uint8_t> fields{codec};
    PackFormat::PutVarint(fields, shared);
    PackFormat::PutVarint(fields, name.size() - shared);
    fields.insert(fields.end(), name.begin() + ptrdiff_t(shared), name.end());
    PackFormat::PutVarint(fields, size);
    return fields;
}

bool TPackage::WriteFile(TFileJob& job) {
    const bool solid =
        job.Codec == PackFormat::CodecSolid || job.Codec == PackFormat::CodecSolidX86;
    if (solid && !job.Grouped) job.Coder = &Solid;
    if (job.Codec == PackFormat::CodecXz) job.Coder = &job.Threaded;
    while (job.Ahead || job.Done < job.Size) {
        if (!job.Ahead && !ReadStep(job)) return false;
        job.Ahead = false;
        if (!EncodeStep(job)) return false;
        if (job.Done < job.Size && !ReportReady(job, false)) return false;
    }
    uint8_t extra = 0;
    uint32_t got = 0;
    if (!job.File->Read(&extra, 1, got) || got != 0) {
        TellRefusal("cannot pack", job.Source, "it grew while it was packed");
        return false;
    }
    if (job.Grouped) {
        // The stream is not flushed: a small file costs only what it adds to the stream.
        if (job.Size == 0 && !FeedStaged(job, nullptr, 0)) return false;
    } else if (solid && !Solid.Flush(OutBuffer)) {
        return false;
    }
    if (job.Codec == PackFormat::CodecXz && !job.Threaded.Finish(OutBuffer)) return false;
    return ReportReady(job, true);
}

bool TPackage::ReportReady(TFileJob& job, bool last) {
    if (job.Grouped) return ReportGroup(job, last);
    if (job.Codec == PackFormat::CodecXz) {
        // The threads hand out output when they are done with it, so its amount at any
        // moment depends on timing. Cutting it into fixed-size blocks (and always keeping
        // some back for the last report) keeps the package the same on every run.
        const auto report = [&](std::vector<uint8_t>& block) { return Report(job, block); };
        if (!EmitBlocks(OutBuffer, ReportStep, 1, Block, report)) return false;
        return last ? Report(job, OutBuffer) : true;
    }
    // Mid-file reports only carry output; the last one always comes.
    if (last || !OutBuffer.empty()) return Report(job, OutBuffer);
    return true;
}

bool TPackage::ReportGroup(TFileJob& job, bool last) {
    const bool blockReady = GroupOut.size() >= GroupBlock;
    const auto report = [&](std::vector<uint8_t>& block) { return Report(job, block); };
    if (!EmitBlocks(GroupOut, GroupBlock, 0, Block, report)) return false;
    // The last report of a file always comes, if need be without bytes.
    if (last && !blockReady) {
        Block.clear();
        return Report(job, Block);
    }
    return true;
}

bool TPackage::ReadStep(TFileJob& job) {
    const size_t want = std::min(ReportStep, size_t(job.Size - job.Done));
    uint32_t got = 0;
    if (!job.File->Read(ReadBuffer.data(), uint32_t(want), got)) {
        TellRefusal("cannot read", job.Source, LastSystemReason());
        return false;
    }
    if (got != want) {
        TellRefusal("cannot pack", job.Source, "it shrank while it was packed");
        return false;
    }
    job.Crc = job.Grouped ? lzma_crc32(ReadBuffer.data(), got, uint32_t(job.Crc))
                          : lzma_crc64(ReadBuffer.data(), got, job.Crc);
    job.Done += int32_t(got);
    job.Got = got;
    return true;
}

bool TPackage::EncodeStep(TFileJob& job) {
    const uint8_t* data = ReadBuffer.data();
    size_t size = job.Got;
    if (job.Codec == PackFormat::CodecSolidX86) {
        Filtered.clear();
        job.Filter.Convert(data, size, Filtered);
        if (job.Done == job.Size) job.Filter.Finish(Filtered);
        data = Filtered.data();
        size = Filtered.size();
    }
    if (job.Grouped) return FeedStaged(job, data, size);
    if (job.Coder == nullptr) {
        OutBuffer.assign(data, data + size);
        return true;
    }
    return job.Coder->Feed(data, size, OutBuffer);
}

bool TPackage::FeedStaged(TFileJob& job, const uint8_t* data, size_t size) {
    // The entry's header goes with its first bytes and its CRC-32 with its last ones, one
    // call of the encoder per step: with small files the encoder's cost per call counts.
    Staged.insert(Staged.end(), data, data + size);
    if (job.Done == job.Size) PackFormat::Put32(Staged, uint32_t(job.Crc));
    const bool fed = Group.Feed(Staged.data(), Staged.size(), GroupOut);
    Staged.clear();
    return fed;
}

bool TPackage::Report(TFileJob& job, std::vector<uint8_t>& block) {
    // An empty block still gets a valid address.
    uint8_t* data = block.empty() ? ReadBuffer.data() : block.data();
    const int32_t answer = OnWrite(job.Source, 0, job.Size, int32_t(block.size()), job.Done, data);
    if (answer == 0) return false;
    const bool written = job.Grouped ? WritePieceBlock(block) : WriteBlock(block);
    block.clear();
    return written;
}

bool TPackage::WriteBlock(const std::vector<uint8_t>& block) {
    std::vector<uint8_t> fields;
    PackFormat::PutVarint(fields, uint64_t(block.size()) + 1);
    return Writer.Write(fields) && Writer.Write(block);
}

bool TPackage::WritePieceBlock(const std::vector<uint8_t>& block) {
    if (block.empty()) return true;
    if (!PieceOpen) {
        if (!WriteRecordHeader(PackFormat::RecGroupPiece, {})) return false;
        PieceOpen = true;
    }
    return WriteBlock(block);
}

bool TPackage::ClosePiece() {
    if (Group.Active() && !Group.Finish(GroupOut)) return false;
    // Written without a report: these bytes belong to plain files already added, and the
    // host must not take them for the file being added now.
    const auto write = [&](const std::vector<uint8_t>& block) { return WritePieceBlock(block); };
    if (!EmitBlocks(GroupOut, GroupBlock, 0, Block, write) || !WritePieceBlock(GroupOut))
        return false;
    GroupOut.clear();
    Block.clear();
    if (!PieceOpen) return true;
    PieceOpen = false;
    std::vector<uint8_t> end;
    PackFormat::PutVarint(end, PackFormat::BlocksEnd);
    return Writer.Write(end);
}

bool TPackage::Close() {
    if (Broken || Closed) return false;
    Closed = true;
    if (!Start() || !ClosePiece()) return Break();
    std::vector<uint8_t> fields;
    PackFormat::Put32(fields, FileCount);
    PackFormat::Put64(fields, Writer.StreamCrc());
    if (!WriteRecordHeader(PackFormat::RecPackageEnd, fields) || !Writer.Finish()) return Break();
    Solid.End();
    Group.End();
    return true;
}
