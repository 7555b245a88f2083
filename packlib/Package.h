// One package being written: the three calls of the library's interface on top of the
// codecs and the volume writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "GroupEncoder.h"
#include "LzmaCoder.h"
#include "PackApi.h"
#include "PackSettings.h"
#include "VolumeWriter.h"

class TPackage {
  public:
    TPackage(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace, TOnWrite onWrite, int32_t level);

    /// True when the file was added; false when it was refused (nothing written) or the
    /// package broke while writing it (then every later call fails too).
    bool AddFile(const char* sourceName, const char* storedName);
    /// Ends the package and marks it complete; false when it is broken.
    bool Close();
    /// Whether the host leaves the blocks of the files it adds from now on as they are (it
    /// encrypts none of them). Such files share the group stream, whose bytes may reach
    /// the package in a later call; until told, every file's bytes stay inside its call.
    void SetPlain(bool plain) { Plain = plain; }

  private:
    struct TFileJob;

    bool Start();
    /// Whether the two-thread encoder fits the memory budget beside the solid one.
    bool ThreadsFit() const;
    bool WriteFile(TFileJob& job);
    /// Reads the file's next step (at most ReportStep bytes) into ReadBuffer.
    bool ReadStep(TFileJob& job);
    /// Hands the step read to the file's codec (through the x86 filter where it applies).
    bool EncodeStep(TFileJob& job);
    /// Feeds an entry's next bytes to the group stream, after what is staged (its header)
    /// and, at its end, with its CRC-32.
    bool FeedStaged(TFileJob& job, const uint8_t* data, size_t size);
    bool ReportReady(TFileJob& job, bool last);
    /// Reports the group stream's output in blocks of GroupBlock bytes.
    bool ReportGroup(TFileJob& job, bool last);
    bool Report(TFileJob& job, std::vector<uint8_t>& block);
    /// A block announced by its length + 1.
    bool WriteBlock(const std::vector<uint8_t>& block);
    /// A block of the group stream, in the open group piece (one is opened if none is).
    bool WritePieceBlock(const std::vector<uint8_t>& block);
    /// Ends the open group piece: the group stream's sequence is ended first, so that every
    /// entry fed so far can be decoded from the pieces written.
    bool ClosePiece();
    bool WriteRecordHeader(uint8_t type, const std::vector<uint8_t>& fields);
    /// The start of a file record: codec, stored name (as what it shares with the previous
    /// file's and the rest) and size.
    std::vector<uint8_t> FileHeader(uint8_t codec, std::string_view name, uint64_t size) const;
    bool Break();

    TOnWrite OnWrite;
    TLevelSettings Settings;
    TVolumeWriter Writer;
    /// The solid stream of the files in records, and the group stream of plain files; never
    /// both alive, so that memory stays that of one encoder.
    TLzmaCoder Solid;
    TGroupEncoder Group;
    /// The group stream's output not yet written.
    std::vector<uint8_t> GroupOut;
    std::vector<uint8_t> ReadBuffer;
    std::vector<uint8_t> OutBuffer;
    std::vector<uint8_t> Block;
    std::vector<uint8_t> Filtered;
    std::vector<uint8_t> Staged;
    std::string PreviousName;
    uint32_t FileCount = 0;
    bool Started = false;
    bool Plain = false;
    bool PieceOpen = false;
    bool Closed = false;
    bool Broken = false;
};
