// What the caller's choices mean: the compression level's codec settings and the maximum
// volume size taken from the environment.
#pragma once

#include <lzma.h>

#include <cstdint>
#include <optional>
#include <string>

struct TLevelSettings {
    /// The level in effect, 0 (stored) to 9.
    int Level = 7;
    bool Stored = false;
    lzma_options_lzma Lzma{};
    /// Bytes the group stream's match finder hashes, where the level chooses (else 0).
    uint32_t GroupHashBytes = 0;
    /// The group stream's segments, encoded two at a time (0: one sequence per piece).
    uint64_t GroupSegment = 0;
    /// The settings of the two-thread stream for big files: a smaller dictionary and
    /// blocks, so that both encoders together stay within MemoryBudget.
    lzma_options_lzma Threaded{};
    uint64_t ThreadedBlock = 0;
};

/// Memory the encoders of one package may take together; beyond it big files stay in the
/// solid stream on one thread.
constexpr uint64_t MemoryBudget = 400ull << 20;

/// Levels above 9 mean 9, levels below 0 the default 7.
TLevelSettings LevelSettings(int32_t level);

/// "123", "64K", "650M", "2G" (case-insensitive suffix, powers of 1024); nothing for text
/// that is not such a number.
std::optional<uint64_t> ParseByteSize(const std::string& text);

/// The maximum size of volume n: KEST_VOLUME_SIZE when set (at least 4096 bytes), volume 1
/// never beyond its cap.
uint64_t VolumeLimit(std::optional<uint64_t> configured, uint32_t volume);

/// A host's file name for the C library: the host writes "\" as separator everywhere,
/// which Windows takes as it is and POSIX needs as "/" (Windows takes "/" as well).
std::string NativeFileName(const char* name);

/// KEST_VOLUME_SIZE, parsed; nothing when unset or not a size.
std::optional<uint64_t> ConfiguredVolumeSize();
