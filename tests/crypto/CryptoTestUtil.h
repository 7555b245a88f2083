// Byte helpers shared by the crypto tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline std::string ToHex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string ToHex(const Bytes& b) {
    return ToHex(b.data(), b.size());
}

inline Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

inline Bytes AsBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

/// Cuts total into pieces of 0 to maxPiece bytes (zero-sized pieces included on purpose).
inline std::vector<int32_t> RandomSplit(std::mt19937& rng, int32_t total, int32_t maxPiece) {
    std::vector<int32_t> pieces;
    std::uniform_int_distribution<int32_t> size(0, maxPiece);
    while (total > 0) {
        const int32_t n = std::min(size(rng), total);
        pieces.push_back(n);
        total -= n;
    }
    return pieces;
}
