// The x86 branch filter, both ways, against liblzma's own x86 encoder, and the choice of the
// files it applies to.
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "PkgX86Filter.h"

namespace {

// Bytes dense in what the filter looks at: E8/E9 opcodes, 00 and FF operand bytes, and
// candidates close enough together to exercise the mask of recent ones.
std::vector<uint8_t> BranchyBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint8_t pick[] = {0xE8, 0xE9, 0x00, 0xFF, 0x0F, 0x80};
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) b = rng() % 3 ? pick[rng() % 6] : uint8_t(rng());
    return out;
}

// liblzma's x86 encoder, its output taken from the LZMA2 stream that must follow it.
std::vector<uint8_t> LiblzmaX86(const std::vector<uint8_t>& in) {
    if (in.empty()) return {};
    lzma_options_lzma lzma{};
    lzma_lzma_preset(&lzma, 0);
    lzma_filter chain[3] = {
        {LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA2, &lzma}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> packed(in.size() + in.size() / 2 + 4096);
    size_t packedSize = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(chain, nullptr, in.data(), in.size(), packed.data(),
                                     &packedSize, packed.size()),
              LZMA_OK);
    lzma_filter plain[2] = {{LZMA_FILTER_LZMA2, &lzma}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> out(in.size());
    size_t inPos = 0, outPos = 0;
    EXPECT_EQ(lzma_raw_buffer_decode(plain, nullptr, packed.data(), &inPos, packedSize, out.data(),
                                     &outPos, out.size()),
              LZMA_OK);
    EXPECT_EQ(outPos, in.size());
    return out;
}

std::vector<uint8_t> Filtered(TX86Filter::TDirection direction, const std::vector<uint8_t>& in,
                              size_t step) {
    TX86Filter filter(direction);
    std::vector<uint8_t> out;
    for (size_t at = 0; at < in.size(); at += step)
        filter.Convert(in.data() + at, std::min(step, in.size() - at), out);
    filter.Finish(out);
    return out;
}

// Encoding gives liblzma's bytes and decoding gives the input back, however the bytes are
// cut into steps (the library reads in steps, the readers decode in chunks of any size).
TEST(X86Filter, MatchesLiblzmaBothWaysWhateverTheSteps) {
    for (size_t size : {0, 3, 5, 6, 100, 70000}) {
        const std::vector<uint8_t> in = BranchyBytes(size, uint32_t(size) + 1);
        const std::vector<uint8_t> want = LiblzmaX86(in);
        if (size >= 100) {
            EXPECT_FALSE(want == in) << "the bytes hold no branch to convert";
        }
        for (size_t step : {1, 4, 5, 7, 4096, 1 << 20}) {
            SCOPED_TRACE("size " + std::to_string(size) + ", step " + std::to_string(step));
            EXPECT_TRUE(Filtered(TX86Filter::Encode, in, step) == want);
            EXPECT_TRUE(Filtered(TX86Filter::Decode, want, step) == in);
        }
    }
}

std::vector<uint8_t> Image(uint16_t machine, uint32_t peOffset = 0x80, size_t size = 0x200) {
    std::vector<uint8_t> s(size);
    s[0] = 'M';
    s[1] = 'Z';
    for (int i = 0; i < 4; ++i) s[0x3C + i] = uint8_t(peOffset >> (8 * i));
    if (peOffset + 6 <= size) {
        s[peOffset] = 'P';
        s[peOffset + 1] = 'E';
        s[peOffset + 4] = uint8_t(machine);
        s[peOffset + 5] = uint8_t(machine >> 8);
    }
    return s;
}

std::vector<uint8_t> Elf(uint8_t byteOrder, uint16_t machine) {
    std::vector<uint8_t> s(64);
    s[0] = 0x7F;
    s[1] = 'E';
    s[2] = 'L';
    s[3] = 'F';
    s[4] = 2;
    s[5] = byteOrder;
    s[18] = uint8_t(machine);
    s[19] = uint8_t(machine >> 8);
    return s;
}

TEST(X86Filter, AppliesToX86ProgramsOnly) {
    const struct {
        const char* What;
        std::vector<uint8_t> Bytes;
        bool X86;
    } cases[] = {
        {"i386", Image(0x014C), true},
        {"x86-64", Image(0x8664), true},
        {"ARM64", Image(0xAA64), false},
        {"PE header beyond the end", Image(0x014C, 0x1FC), false},
        {"PE offset far out", Image(0x014C, 0xFFFFFFF0u), false},
        {"MZ only", std::vector<uint8_t>{'M', 'Z'}, false},
        {"ELF x86-64", Elf(1, 62), true},
        {"ELF i386", Elf(1, 3), true},
        {"ELF AArch64", Elf(1, 183), false},
        {"ELF big-endian", Elf(2, 62), false},
        {"ELF cut before its machine", std::vector<uint8_t>{0x7F, 'E', 'L', 'F', 2, 1}, false},
        {"text", std::vector<uint8_t>(0x200, 'a'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsX86Image(c.Bytes.data(), c.Bytes.size()), c.X86) << c.What;
}

}  // namespace
