#include "PkgCrc64.h"

#include <lzma.h>

uint64_t Crc64Update(uint64_t crc, const void* data, size_t size) {
    // liblzma's CRC-64 is the very check of the .xz format; the reader links it anyway.
    const auto* p = static_cast<const uint8_t*>(data);
    while (size) {
        const size_t n = size > (1u << 30) ? (1u << 30) : size;
        crc = lzma_crc64(p, n, crc);
        p += n;
        size -= n;
    }
    return crc;
}
