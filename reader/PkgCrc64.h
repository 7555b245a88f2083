// CRC-64 as the package uses it (ECMA-182, reflected, all-ones start and final XOR: the
// check of the .xz format).
#pragma once

#include <cstddef>
#include <cstdint>

/// Continues a CRC over more bytes; start with crc = 0.
uint64_t Crc64Update(uint64_t crc, const void* data, size_t size);
