// fuzz-sources: src/platform/PeImage.cpp
// fuzz-seeds: /usr/lib/i386-linux-gnu/wine/i386-windows/version.dll
// The PE version reader on arbitrary bytes: the sanitizers watch every read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that a read one byte too far is caught.
    std::vector<unsigned char> copy(data, data + size);
    uint32_t ms = 0, ls = 0;
    Plat::PeFileVersion(copy.data(), copy.size(), ms, ls);
    return 0;
}
