// fuzz-sources: src/platform/Wildcards.cpp
// Search-mask matching on arbitrary masks and names. Input: mask, a NUL byte, name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size);
    size_t cut = in.find('\0');
    std::string mask = in.substr(0, cut);
    std::string name = cut == std::string::npos ? mask : in.substr(cut + 1);
    bool match = Plat::MatchesFindMask(mask, name);
    // Every text matches itself used as a mask, and "*" matches everything.
    if (!Plat::MatchesFindMask(mask, mask) || !Plat::MatchesFindMask("*", name)) std::abort();
    // ASCII letter case never changes the answer.
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (Plat::MatchesFindMask(mask, upper) != match) std::abort();
    // The order is a strict weak order on these two names.
    if (Plat::FindOrderLess(mask, name) && Plat::FindOrderLess(name, mask)) std::abort();
    return 0;
}
