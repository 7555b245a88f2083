// Writes the package stream into volume files: each volume is a header, a slice of the
// stream (cut at any byte) and a trailer. Names come from the host's OnVolumeName, free
// space is checked before every write and shortness is put to the host's OnDiskSpace.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PackApi.h"
#include "PackFile.h"

class TVolumeWriter {
  public:
    TVolumeWriter(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace,
                  std::optional<uint64_t> volumeSize);
    ~TVolumeWriter();
    TVolumeWriter(const TVolumeWriter&) = delete;
    TVolumeWriter& operator=(const TVolumeWriter&) = delete;

    /// Appends stream bytes; false (and failed for good) on any error or a "stop" answer.
    bool Write(const uint8_t* data, size_t size);
    bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }
    /// Hands what is buffered to the system, so that a file's bytes are out (or failed)
    /// when its AddFile returns.
    bool Flush() { return !Broken && (!File.IsOpen() || FlushBuffer()); }
    /// Writes out what is buffered and ends the last volume as the package's last.
    bool Finish();

    bool Failed() const { return Broken; }
    /// CRC-64 of every stream byte written so far.
    uint64_t StreamCrc() const { return Crc; }
    uint32_t VolumeCount() const { return Volume; }

  private:
    bool OpenNext();
    bool CloseCurrent(uint32_t flags);
    bool Buffer(const uint8_t* data, size_t size);
    bool FlushBuffer();
    bool EnsureSpace(uint64_t bytes);
    bool Fail();

    TOnVolumeName OnVolumeName;
    TOnDiskSpace OnDiskSpace;
    std::optional<uint64_t> VolumeSize;
    TPackFile File;
    std::string Name;  // the open volume's name as the host gave it
    std::string Dir;
    uint32_t Volume = 0;
    uint64_t SliceRoom = 0;    // stream bytes the open volume can still take
    uint64_t VolumeBytes = 0;  // bytes of the open volume, header included
    uint64_t StreamBytes = 0;
    uint64_t Crc = 0;
    std::vector<uint8_t> Pending;
    // The free space at which the host last said "go on" without making room: it is not
    // asked again until the amount changes.
    std::optional<uint64_t> GoOnAt;
    bool Broken = false;
};
