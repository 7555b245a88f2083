// GOST 28147-89 in the package profile: the S-boxes of the GOST R 34.11-94 test
// parameter set, little-endian key words and blocks, and a chaining mode whose final
// part of 1 to 7 bytes does not advance the chain. Packages are encrypted block by block
// as the packing library writes them, so the decryption must see the same boundaries.
#pragma once

#include <array>
#include <cstdint>

struct TGostContext {
    uint8_t IV[8];
    uint8_t Chain[8];  // chaining value: the last whole ciphertext block
    uint32_t Key[8];   // K0..K7
};

/// Loads a key of keyBits bits (8 to 256, a multiple of 8; a shorter key is padded with
/// zero bytes) and sets IV and chaining value. Without an IV (nullptr) the IV is the
/// encryption of eight 0xFF bytes. Any other size leaves the context untouched.
void GostInit(TGostContext& ctx, const uint8_t* key, int32_t keyBits, const uint8_t* iv);
/// One 8-byte block of the 32-round encryption; in and out may be the same place.
void GostEncryptBlock(const TGostContext& ctx, const uint8_t* in, uint8_t* out);
/// The inverse of GostEncryptBlock; in and out may be the same place.
void GostDecryptBlock(const TGostContext& ctx, const uint8_t* in, uint8_t* out);
/// Encrypts count bytes in the chaining mode, continuing the context's chain. A final
/// part of 1 to 7 bytes is XORed with the encryption of the chaining value, which stays
/// where it was. Nothing for count <= 0; in and out may be the same place.
void GostEncryptCBC(TGostContext& ctx, const uint8_t* in, uint8_t* out, int32_t count);
/// The inverse of GostEncryptCBC for a call of the same count on the same chain.
void GostDecryptCBC(TGostContext& ctx, const uint8_t* in, uint8_t* out, int32_t count);
/// Overwrites key words, IV and chaining value with 0xFF bytes.
void GostBurn(TGostContext& ctx);

/// The S-boxes K1..K8 (GostSBox[0] is K1, which substitutes bits 0 to 3).
extern const std::array<std::array<uint8_t, 16>, 8> GostSBox;
/// Substitution and rotation merged: f(x) = T3[x >> 24] ^ T2[(x >> 16) & 255] ^
/// T1[(x >> 8) & 255] ^ T0[x & 255].
extern const std::array<std::array<uint32_t, 256>, 4> GostTables;
