#include "KestxCrc64.h"

#include <array>

namespace {

constexpr uint64_t Poly = 0xC96C5795D7870F42ull;

// Eight tables: slicing by 8 keeps the check far below the decoder's cost.
using TTables = std::array<std::array<uint64_t, 256>, 8>;

TTables MakeTables() {
    TTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint64_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? Poly : 0);
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

const TTables& Tables() {
    static const TTables tables = MakeTables();
    return tables;
}

}  // namespace

uint64_t Crc64Update(uint64_t crc, const void* data, size_t size) {
    const TTables& t = Tables();
    auto p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, p += 8) {
        uint64_t v = crc;
        for (int k = 0; k < 8; ++k) v ^= uint64_t(p[k]) << (8 * k);
        crc = t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^
              t[4][(v >> 24) & 0xFF] ^ t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^
              t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
    }
    for (; size; --size, ++p) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
