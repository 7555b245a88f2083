// The package stream: the slices of volumes 1, 2, 3, ... read as one byte sequence. Every
// volume's header and trailer are checked when it is reached, so a missing, foreign,
// reordered or truncated volume is reported before any of its bytes are used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PkgSource.h"

/// Finds the volumes after the first one.
class TVolumeLocator {
  public:
    virtual ~TVolumeLocator() = default;
    /// Volume n (n >= 2), or null when it does not exist. name is set either way.
    virtual std::unique_ptr<TByteSource> Open(uint32_t n, std::string& name) = 0;
};

/// The name of volume n (n >= 2) of the package whose first volume is firstPath: the path
/// without its extension, a dot and n ("Setup.exe" gives "Setup.2"), as the packer names them.
std::string VolumeFileName(const std::string& firstPath, uint32_t n);

constexpr uint32_t VolumeHeaderSize = 32;
constexpr uint32_t VolumeTrailerSize = 24;

/// The first byte of volume 1 in an executable whose package trailer is at offset s: the
/// volume's own trailer ends at s and gives its length. Raises EKestxData.
uint64_t FirstVolumeBegin(TByteSource& exe, uint64_t s);

class TPackageStream {
  public:
    /// Volume 1 occupies [begin, end) of first; more finds the others (may be null).
    TPackageStream(TByteSource& first, uint64_t begin, uint64_t end, const std::string& firstName,
                   TVolumeLocator* more);
    TPackageStream(const TPackageStream&) = delete;
    TPackageStream& operator=(const TPackageStream&) = delete;

    /// Exactly n bytes of the stream; raises EKestxData when the package ends before.
    void Read(void* buf, size_t n);
    /// CRC-64 of every stream byte read so far.
    uint64_t Crc() const { return RunningCrc; }
    /// Stream bytes read so far.
    uint64_t Position() const { return Consumed; }
    /// True when the last volume is reached and all of its slice has been read.
    bool AtCleanEnd();
    uint32_t VolumeCount() const { return Volume; }
    /// The package format version of volume 1 (every volume has the same).
    uint16_t FormatVersion() const { return Version; }

  private:
    void OpenVolume(TByteSource& src, uint64_t begin, uint64_t end, const std::string& name);
    void CheckHeader(const unsigned char* h, const std::string& name);
    void CheckTrailer(const unsigned char* t, uint64_t length, const std::string& name);
    void NextVolume();
    bool Refill();

    TVolumeLocator* More;
    std::unique_ptr<TByteSource> Owned;
    TByteSource* Current = nullptr;
    std::string CurrentName;
    uint32_t Volume = 0;
    uint16_t Version = 0;
    bool CurrentIsLast = false;
    uint64_t SlicePos = 0;
    uint64_t SliceEnd = 0;
    uint64_t Consumed = 0;
    uint64_t RunningCrc = 0;
    std::vector<unsigned char> Buf;
    size_t BufPos = 0;
};
