#include "Haval.h"

#include <cstring>
#include <utility>

#include "CryptoBase.h"

namespace {

constexpr int BlockSize = 128;
constexpr int TrailerOffset = 118;  // version/passes byte, then size and bit count
constexpr uint8_t ProfilePad = 0x80;
constexpr uint8_t VersionPassesByte = 0x29;  // version 1, 5 passes, 256 mod 4 = 0
constexpr uint8_t DigestSizeByte = 256 / 4;

// The first eight 32-bit words of the fractional part of pi.
constexpr uint32_t InitialHash[8] = {0x243F6A88, 0x85A308D3, 0x13198A2E, 0x03707344,
                                     0xA4093822, 0x299F31D0, 0x082EFA98, 0xEC4E6C89};

// Message word order of each pass.
constexpr uint8_t WordOrder[5][32] = {
    {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
     16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31},
    {5,  14, 26, 18, 11, 28, 7,  16, 0,  23, 20, 22, 1, 10, 4,  8,
     30, 3,  21, 9,  17, 24, 29, 6,  19, 12, 15, 13, 2, 25, 31, 27},
    {19, 9,  4, 20, 28, 17, 8,  22, 29, 14, 25, 12, 24, 30, 16, 26,
     31, 15, 7, 3,  1,  0,  18, 27, 13, 6,  21, 10, 23, 11, 5,  2},
    {24, 4,  0,  14, 2, 7,  28, 23, 26, 6,  30, 20, 18, 25, 19, 3,
     22, 11, 31, 21, 8, 27, 12, 9,  1,  29, 5,  15, 17, 10, 16, 13},
    {27, 3, 21, 26, 17, 11, 20, 29, 19, 0,  12, 7,  13, 8, 31, 10,
     5,  9, 14, 30, 18, 6,  28, 24, 2,  23, 16, 22, 4,  1, 25, 15}};

// Round constants: pass 1 adds none; passes 2 to 5 take the fractional words of pi that
// follow the initial chaining value, in order.
constexpr uint32_t RoundConstant[5][32] = {
    {},
    {0x452821E6, 0x38D01377, 0xBE5466CF, 0x34E90C6C, 0xC0AC29B7, 0xC97C50DD, 0x3F84D5B5,
     0xB5470917, 0x9216D5D9, 0x8979FB1B, 0xD1310BA6, 0x98DFB5AC, 0x2FFD72DB, 0xD01ADFB7,
     0xB8E1AFED, 0x6A267E96, 0xBA7C9045, 0xF12C7F99, 0x24A19947, 0xB3916CF7, 0x0801F2E2,
     0x858EFC16, 0x636920D8, 0x71574E69, 0xA458FEA3, 0xF4933D7E, 0x0D95748F, 0x728EB658,
     0x718BCD58, 0x82154AEE, 0x7B54A41D, 0xC25A59B5},
    {0x9C30D539, 0x2AF26013, 0xC5D1B023, 0x286085F0, 0xCA417918, 0xB8DB38EF, 0x8E79DCB0,
     0x603A180E, 0x6C9E0E8B, 0xB01E8A3E, 0xD71577C1, 0xBD314B27, 0x78AF2FDA, 0x55605C60,
     0xE65525F3, 0xAA55AB94, 0x57489862, 0x63E81440, 0x55CA396A, 0x2AAB10B6, 0xB4CC5C34,
     0x1141E8CE, 0xA15486AF, 0x7C72E993, 0xB3EE1411, 0x636FBC2A, 0x2BA9C55D, 0x741831F6,
     0xCE5C3E16, 0x9B87931E, 0xAFD6BA33, 0x6C24CF5C},
    {0x7A325381, 0x28958677, 0x3B8F4898, 0x6B4BB9AF, 0xC4BFE81B, 0x66282193, 0x61D809CC,
     0xFB21A991, 0x487CAC60, 0x5DEC8032, 0xEF845D5D, 0xE98575B1, 0xDC262302, 0xEB651B88,
     0x23893E81, 0xD396ACC5, 0x0F6D6FF3, 0x83F44239, 0x2E0B4482, 0xA4842004, 0x69C8F04A,
     0x9E1F9B5E, 0x21C66842, 0xF6E96C9A, 0x670C9C61, 0xABD388F0, 0x6A51A0D2, 0xD8542F68,
     0x960FA728, 0xAB5133A3, 0x6EEF0B6C, 0x137A3BE4},
    {0xBA3BF050, 0x7EFB2A98, 0xA1F1651D, 0x39AF0176, 0x66CA593E, 0x82430E88, 0x8CEE8619,
     0x456F9FB4, 0x7D84A5C3, 0x3B8B5EBE, 0xE06F75D8, 0x85C12073, 0x401A449F, 0x56C16AA6,
     0x4ED3AA62, 0x363F7706, 0x1BFEDF72, 0x429B023D, 0x37D0D724, 0xD00A1248, 0xDB0FEAD3,
     0x49F1C09B, 0x075372C9, 0x80991B7B, 0x25D479D8, 0xF6E8DEF7, 0xE3FE501A, 0xB6794C3B,
     0x976CE0BD, 0x04C006BA, 0xC1A94FB6, 0x409F60C4}};

// The five boolean functions, arguments in the published order x6 .. x0.
inline uint32_t F1(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x1 & x4) ^ (x2 & x5) ^ (x3 & x6) ^ (x0 & x1) ^ x0;
}

inline uint32_t F2(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x1 & x2 & x3) ^ (x2 & x4 & x5) ^ (x1 & x2) ^ (x1 & x4) ^ (x2 & x6) ^ (x3 & x5) ^
           (x4 & x5) ^ (x0 & x2) ^ x0;
}

inline uint32_t F3(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x1 & x2 & x3) ^ (x1 & x4) ^ (x2 & x5) ^ (x3 & x6) ^ (x0 & x3) ^ x0;
}

inline uint32_t F4(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x1 & x2 & x3) ^ (x2 & x4 & x5) ^ (x3 & x4 & x6) ^ (x1 & x4) ^ (x2 & x6) ^ (x3 & x4) ^
           (x3 & x5) ^ (x3 & x6) ^ (x4 & x5) ^ (x4 & x6) ^ (x0 & x4) ^ x0;
}

inline uint32_t F5(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x1 & x4) ^ (x2 & x5) ^ (x3 & x6) ^ (x0 & x1 & x2 & x3) ^ (x0 & x5) ^ x0;
}

// The boolean function of a pass applied to its permutation of x6 .. x0 (five-pass
// variant of the published permutations phi).
template <int Pass>
inline uint32_t Phi(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                    uint32_t x0) {
    if constexpr (Pass == 0) return F1(x3, x4, x1, x0, x5, x2, x6);
    if constexpr (Pass == 1) return F2(x6, x2, x1, x0, x3, x4, x5);
    if constexpr (Pass == 2) return F3(x2, x6, x0, x4, x3, x1, x5);
    if constexpr (Pass == 3) return F4(x1, x5, x3, x2, x0, x4, x6);
    if constexpr (Pass == 4) return F5(x2, x5, x0, x6, x4, x3, x1);
}

// Step I of a pass replaces one register, which plays x7, with the others following it
// downwards. Every index is a constant, so the eight registers stay in registers.
template <int Pass, int I>
inline void Step(uint32_t (&t)[8], const uint32_t* w) {
    constexpr auto reg = [](int k) { return (k - I % 8 + 8) % 8; };
    const uint32_t f =
        Phi<Pass>(t[reg(6)], t[reg(5)], t[reg(4)], t[reg(3)], t[reg(2)], t[reg(1)], t[reg(0)]);
    t[reg(7)] = RotateRight(f, 7) + RotateRight(t[reg(7)], 11) + w[WordOrder[Pass][I]] +
                RoundConstant[Pass][I];
}

template <int Pass, size_t... I>
inline void RunSteps(uint32_t (&t)[8], const uint32_t* w, std::index_sequence<I...>) {
    (Step<Pass, int(I)>(t, w), ...);
}

template <int Pass>
inline void RunPass(uint32_t (&t)[8], const uint32_t* w) {
    RunSteps<Pass>(t, w, std::make_index_sequence<32>{});
}

void HavalCompress(THavalContext& ctx, const uint8_t* block) {
    uint32_t w[32];
    for (int i = 0; i < 32; ++i) w[i] = LoadLE32(block + 4 * i);
    uint32_t t[8];
    std::memcpy(t, ctx.Hash, sizeof t);
    RunPass<0>(t, w);
    RunPass<1>(t, w);
    RunPass<2>(t, w);
    RunPass<3>(t, w);
    RunPass<4>(t, w);
    for (int i = 0; i < 8; ++i) ctx.Hash[i] += t[i];
    BurnBytes(w, 0, sizeof w);
    BurnBytes(t, 0, sizeof t);
}

void CompressBuffer(THavalContext& ctx) {
    HavalCompress(ctx, ctx.Buffer);
    std::memset(ctx.Buffer, 0, BlockSize);
    ctx.Index = 0;
}

void AddBitCount(THavalContext& ctx, int32_t count) {
    uint64_t bits = uint64_t(ctx.BitCountHigh) << 32 | ctx.BitCountLow;
    bits += uint64_t(count) * 8;
    ctx.BitCountHigh = uint32_t(bits >> 32);
    ctx.BitCountLow = uint32_t(bits);
}

}  // namespace

void HavalBurn(THavalContext& ctx) {
    ctx.BitCountHigh = 0;
    ctx.BitCountLow = 0;
    ctx.Index = 0;
    BurnBytes(ctx.Hash, 0, sizeof ctx.Hash);
    BurnBytes(ctx.Buffer, 0, sizeof ctx.Buffer);
}

void HavalInit(THavalContext& ctx) {
    HavalBurn(ctx);
    ctx.DigestSize = 256;
    std::memcpy(ctx.Hash, InitialHash, sizeof ctx.Hash);
}

void HavalUpdate(THavalContext& ctx, const void* data, int32_t count) {
    if (count <= 0) return;
    AddBitCount(ctx, count);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (count > 0) {
        if (ctx.Index == 0 && count >= BlockSize) {
            // Whole blocks straight from the input; the buffer stays zero as it would
            // after compressing a copy.
            HavalCompress(ctx, p);
            p += BlockSize;
            count -= BlockSize;
            continue;
        }
        const int32_t take = count < BlockSize - ctx.Index ? count : BlockSize - ctx.Index;
        std::memcpy(ctx.Buffer + ctx.Index, p, size_t(take));
        ctx.Index += take;
        p += take;
        count -= take;
        if (ctx.Index == BlockSize) CompressBuffer(ctx);
    }
}

void HavalFinalWithPad(THavalContext& ctx, uint8_t* digest, uint8_t padByte) {
    ctx.Buffer[ctx.Index] = padByte;
    // At exactly 118 the pad byte is overwritten by the trailer below: the profile takes
    // no extra block there.
    if (ctx.Index > TrailerOffset) CompressBuffer(ctx);
    ctx.Buffer[TrailerOffset] = VersionPassesByte;
    ctx.Buffer[TrailerOffset + 1] = DigestSizeByte;
    StoreLE32(ctx.Buffer + 120, ctx.BitCountLow);
    StoreLE32(ctx.Buffer + 124, ctx.BitCountHigh);
    HavalCompress(ctx, ctx.Buffer);
    for (int i = 0; i < 8; ++i) StoreLE32(digest + 4 * i, ctx.Hash[i]);
    HavalBurn(ctx);
}

void HavalFinal(THavalContext& ctx, uint8_t* digest) {
    HavalFinalWithPad(ctx, digest, ProfilePad);
}
