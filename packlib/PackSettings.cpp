#include "PackSettings.h"

#include <cctype>
#include <cstdlib>
#include <limits>

#include "PackFormat.h"

namespace {

constexpr int DefaultLevel = 7;
constexpr int TopLevel = 9;
constexpr uint32_t ThreadedDict = 4u << 20;
constexpr uint64_t ThreadedBlock = 8ull << 20;
// Level 1 is the fast one: liblzma's preset 0 (hash chains of 3 bytes, shallow search) packs
// a fifth to a third faster than preset 1; its dictionary stays at preset 1's 1 MiB, since
// 256 KiB makes executables a third larger for no gain in time.
constexpr uint32_t FastestPreset = 0;
constexpr uint32_t FastestDict = 1u << 20;
// Hash chains of 5 bytes pack the fast level's group stream 1-3.5 % smaller than 4 in the
// same time.
constexpr uint32_t FastestHashBytes = 5;
// The default level searches matches up to 96 bytes (the preset stops at 64) with a shallower
// tree walk (32 steps, the preset's 48): documentation sets pack 3 % smaller at about the
// preset's speed.
constexpr uint32_t DefaultNiceLength = 96;
constexpr uint32_t DefaultDepth = 32;
// The default level's group stream hashes 5 bytes into its binary trees (bt5): each tree
// holds fewer positions, so the tree walk, the bound of the two-thread encoder, takes
// 9-17 % less time; sizes change by less than 0.1 %. liblzma has no bt5, so the records
// keep bt4.
constexpr uint32_t DefaultHashBytes = 5;
// Hash chains have no match finder thread; instead the group stream is cut into segments
// of eight dictionaries, two encoded at a time. Each segment starts from an empty
// dictionary, which costs 0.4-4 % of level 1's size (measured on the benchmark corpora).
constexpr uint64_t SegmentDictionaries = 8;
// The top level searches matches up to LZMA's longest (preset 9 stops at 64 bytes): on a
// tree with long repeats, such as documentation sets, it packs 5 % smaller for half again
// the time.
constexpr uint32_t TopNiceLength = 273;

}  // namespace

TLevelSettings LevelSettings(int32_t level) {
    TLevelSettings s;
    s.Level = level < 0 ? DefaultLevel : (level > TopLevel ? TopLevel : level);
    s.Stored = s.Level == 0;
    if (s.Stored) return s;
    lzma_lzma_preset(&s.Lzma, s.Level == 1 ? FastestPreset : uint32_t(s.Level));
    if (s.Level == 1) {
        s.Lzma.dict_size = FastestDict;
        s.GroupHashBytes = FastestHashBytes;
    }
    if (s.Level == DefaultLevel) {
        s.Lzma.nice_len = DefaultNiceLength;
        s.Lzma.depth = DefaultDepth;
        s.GroupHashBytes = DefaultHashBytes;
    }
    if (s.Level == TopLevel) s.Lzma.nice_len = TopNiceLength;
    if (s.Lzma.mf == LZMA_MF_HC3 || s.Lzma.mf == LZMA_MF_HC4)
        s.GroupSegment = SegmentDictionaries * s.Lzma.dict_size;
    s.Threaded = s.Lzma;
    if (s.Threaded.dict_size > ThreadedDict) s.Threaded.dict_size = ThreadedDict;
    s.ThreadedBlock = ThreadedBlock;
    return s;
}

std::optional<uint64_t> ParseByteSize(const std::string& text) {
    size_t i = 0;
    uint64_t value = 0;
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        const uint64_t digit = uint64_t(text[i] - '0');
        if (value > (max - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        ++i;
    }
    if (i == 0) return std::nullopt;
    unsigned shift = 0;
    if (i < text.size()) {
        switch (std::toupper(static_cast<unsigned char>(text[i]))) {
            case 'K':
                shift = 10;
                break;
            case 'M':
                shift = 20;
                break;
            case 'G':
                shift = 30;
                break;
            default:
                return std::nullopt;
        }
        ++i;
    }
    if (i != text.size()) return std::nullopt;
    if (shift != 0 && value > (max >> shift)) return std::nullopt;
    return value << shift;
}

uint64_t VolumeLimit(std::optional<uint64_t> configured, uint32_t volume) {
    uint64_t limit = std::numeric_limits<uint64_t>::max();
    if (configured)
        limit = *configured < PackFormat::MinVolumeSize ? PackFormat::MinVolumeSize : *configured;
    if (volume == 1 && limit > PackFormat::Volume1Cap) limit = PackFormat::Volume1Cap;
    return limit;
}

std::optional<uint64_t> ConfiguredVolumeSize() {
    const char* text = std::getenv("KEST_VOLUME_SIZE");
    if (text == nullptr) return std::nullopt;
    return ParseByteSize(text);
}

std::string NativeFileName(const char* name) {
    std::string s = name;
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}
