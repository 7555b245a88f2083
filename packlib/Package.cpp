#include "Package.h"

#include <lzma.h>

#include "PackFormat.h"

namespace {

/// Input between two progress reports; also the read size.
constexpr size_t ReportStep = 1 << 20;
constexpr uint32_t EncoderThreads = 2;
constexpr size_t MaxStoredName = 0xFFFF;

/// The size of an open, readable file, or -1 when it cannot be read or does not fit the
/// interface's 32-bit sizes (a long of 32 bits cannot even tell, which reads as too big).
int64_t SizeOf(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(f);
    if (size < 0 || uint64_t(size) > PackFormat::MaxFileSize) return -1;
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    // A directory opens on POSIX but fails its first read: refuse it before writing.
    if (std::fgetc(f) == EOF && std::ferror(f)) return -1;
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return size;
}

struct TFileCloser {
    std::FILE* f;
    ~TFileCloser() {
        if (f != nullptr) std::fclose(f);
    }
};

}  // namespace

struct TPackage::TFileJob {
    const char* Source = nullptr;
    std::FILE* File = nullptr;
    int32_t Size = 0;
    int32_t Done = 0;
    uint8_t Codec = PackFormat::CodecSolid;
    uint64_t Crc = 0;
    TLzmaCoder Threaded;
    TLzmaCoder* Coder = nullptr;
};

TPackage::TPackage(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace, TOnWrite onWrite,
                   int32_t level)
    : OnWrite(onWrite),
      Settings(LevelSettings(level)),
      Writer(onVolumeName, onDiskSpace, ConfiguredVolumeSize()) {}

bool TPackage::ThreadsFit() const {
    return TLzmaCoder::RawMemory(Settings.Lzma) +
               TLzmaCoder::ThreadedMemory(Settings.Threaded, EncoderThreads,
                                          Settings.ThreadedBlock) <=
           MemoryBudget;
}

bool TPackage::Break() {
    Broken = true;
    Solid.End();
    return false;
}

bool TPackage::Start() {
    if (Started) return true;
    Started = true;
    std::vector<uint8_t> fields;
    fields.push_back(uint8_t(Settings.Level));
    PackFormat::Put32(fields, Settings.Stored ? 0 : Settings.Lzma.dict_size);
    if (!Settings.Stored && !Solid.InitRaw(Settings.Lzma)) return false;
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
    if (nameLength > MaxStoredName) return false;
    TFileCloser file{std::fopen(NativeFileName(sourceName).c_str(), "rb")};
    if (file.f == nullptr) return false;
    const int64_t size = SizeOf(file.f);
    if (size < 0) return false;

    TFileJob job;
    job.Source = sourceName;
    job.File = file.f;
    job.Size = int32_t(size);
    if (Settings.Stored)
        job.Codec = PackFormat::CodecStored;
    else if (uint64_t(size) >= PackFormat::ThreadedFileSize && ThreadsFit() &&
             job.Threaded.InitThreaded(Settings.Threaded, EncoderThreads, Settings.ThreadedBlock))
        job.Codec = PackFormat::CodecXz;

    // From here on bytes reach the package: any failure leaves it broken.
    std::vector<uint8_t> fields{job.Codec, PackFormat::FilterNone};
    PackFormat::Put16(fields, uint16_t(nameLength));
    PackFormat::Put64(fields, uint64_t(size));
    fields.insert(fields.end(), storedName, storedName + nameLength);
    if (!Start() || !WriteRecordHeader(PackFormat::RecFileHeader, fields)) return Break();
    if (!WriteFile(job)) return Break();
    fields.clear();
    PackFormat::Put64(fields, job.Crc);
    if (!WriteRecordHeader(PackFormat::RecFileEnd, fields) || !Writer.Flush()) return Break();
    ++FileCount;
    return true;
}

bool TPackage::WriteFile(TFileJob& job) {
    if (job.Codec == PackFormat::CodecSolid) job.Coder = &Solid;
    if (job.Codec == PackFormat::CodecXz) job.Coder = &job.Threaded;
    ReadBuffer.resize(ReportStep);
    OutBuffer.clear();
    while (job.Done < job.Size) {
        if (!PumpInput(job)) return false;
        if (job.Done < job.Size && !ReportReady(job, false)) return false;
    }
    if (std::fgetc(job.File) != EOF || std::ferror(job.File)) return false;  // grew meanwhile
    if (job.Codec == PackFormat::CodecSolid && !Solid.Flush(OutBuffer)) return false;
    if (job.Codec == PackFormat::CodecXz && !job.Threaded.Finish(OutBuffer)) return false;
    return ReportReady(job, true);
}

bool TPackage::ReportReady(TFileJob& job, bool last) {
    if (job.Codec == PackFormat::CodecXz) {
        // The threads hand out output when they are done with it, so its amount at any
        // moment depends on timing. Cutting it into fixed-size blocks (and always keeping
        // some back for the last report) keeps the package the same on every run.
        while (OutBuffer.size() > ReportStep) {
            Block.assign(OutBuffer.begin(), OutBuffer.begin() + ptrdiff_t(ReportStep));
            OutBuffer.erase(OutBuffer.begin(), OutBuffer.begin() + ptrdiff_t(ReportStep));
            if (!Report(job, Block)) return false;
        }
        return last ? Report(job, OutBuffer) : true;
    }
    // Mid-file reports only carry output; the last one always comes.
    if (last || !OutBuffer.empty()) return Report(job, OutBuffer);
    return true;
}

bool TPackage::PumpInput(TFileJob& job) {
    const size_t want = std::min(ReportStep, size_t(job.Size - job.Done));
    const size_t got = std::fread(ReadBuffer.data(), 1, want, job.File);
    if (got != want) return false;  // a read error, or the file shrank
    job.Crc = lzma_crc64(ReadBuffer.data(), got, job.Crc);
    job.Done += int32_t(got);
    if (job.Coder == nullptr) {
        OutBuffer.assign(ReadBuffer.begin(), ReadBuffer.begin() + ptrdiff_t(got));
        return true;
    }
    return job.Coder->Feed(ReadBuffer.data(), got, OutBuffer);
}

bool TPackage::Report(TFileJob& job, std::vector<uint8_t>& block) {
    // An empty block still gets a valid address.
    uint8_t* data = block.empty() ? ReadBuffer.data() : block.data();
    const int32_t answer = OnWrite(job.Source, 0, job.Size, int32_t(block.size()), job.Done, data);
    if (answer == 0) return false;
    std::vector<uint8_t> fields;
    PackFormat::Put32(fields, uint32_t(block.size()));
    const bool written = WriteRecordHeader(PackFormat::RecDataBlock, fields) && Writer.Write(block);
    block.clear();
    return written;
}

bool TPackage::Close() {
    if (Broken || Closed) return false;
    Closed = true;
    if (!Start()) return Break();
    std::vector<uint8_t> fields;
    PackFormat::Put32(fields, FileCount);
    PackFormat::Put64(fields, Writer.StreamCrc());
    if (!WriteRecordHeader(PackFormat::RecPackageEnd, fields) || !Writer.Finish()) return Break();
    Solid.End();
    return true;
}
