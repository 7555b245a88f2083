#include "CryptoBase.h"

void XorBytes(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t count) {
    for (int32_t i = 0; i < count; ++i) out[i] = a[i] ^ b[i];
}

void BurnBytes(void* dest, uint8_t value, int32_t count) {
    volatile uint8_t* p = static_cast<volatile uint8_t*>(dest);
    for (int32_t i = 0; i < count; ++i) p[i] = value;
}
