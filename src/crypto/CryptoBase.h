// Small word and byte operations shared by the digest and the cipher.
#pragma once

#include <bit>
#include <cstdint>

/// x rotated right by n bits (n taken modulo 32). Inline: it sits in the digest's
/// innermost loop.
inline uint32_t RotateRight(uint32_t x, int n) {
    return std::rotr(x, n & 31);
}

/// out[i] := a[i] XOR b[i] for i < count; nothing for count <= 0. out may be a or b.
void XorBytes(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t count);

/// Fills count bytes with value in a way the optimiser may not drop, so key material
/// in buffers that are about to die is really overwritten; nothing for count <= 0.
void BurnBytes(void* dest, uint8_t value, int32_t count);

/// The little-endian 32-bit word at p.
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

/// Stores x little-endian at p.
inline void StoreLE32(uint8_t* p, uint32_t x) {
    p[0] = uint8_t(x);
    p[1] = uint8_t(x >> 8);
    p[2] = uint8_t(x >> 16);
    p[3] = uint8_t(x >> 24);
}
