// HAVAL-256 with five passes in the package profile: the published algorithm except
// that the pad byte is 0x80 and a last block of exactly 118 bytes takes no extra block.
// The password key and the password-check hash depend on both points.
#pragma once

#include <cstdint>

struct THavalContext {
    int32_t DigestSize;     // bits; always 256
    uint32_t BitCountHigh;  // message length in bits, high half
    uint32_t BitCountLow;   // message length in bits, low half
    int32_t Index;          // bytes waiting in Buffer, 0..127
    uint32_t Hash[8];       // chaining value H0..H7
    uint8_t Buffer[128];    // zero beyond Index
};

/// Starts a 256-bit digest.
void HavalInit(THavalContext& ctx);
/// Feeds count bytes; a count of zero or less changes nothing.
void HavalUpdate(THavalContext& ctx, const void* data, int32_t count);
/// Pads, finishes and writes the 32-byte digest, then burns the context.
void HavalFinal(THavalContext& ctx, uint8_t* digest);
/// Zeroes bit count, index, chaining value and buffer.
void HavalBurn(THavalContext& ctx);

/// HavalFinal with a chosen pad byte. Only the tests pass anything but 0x80: with 0x01
/// the result equals the published HAVAL wherever the 118-byte case does not arise.
void HavalFinalWithPad(THavalContext& ctx, uint8_t* digest, uint8_t padByte);
