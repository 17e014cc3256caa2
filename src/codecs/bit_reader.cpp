#include "codecs/bit_reader.h"

uint32_t bits_read(BitReader* r, uint32_t n) {
    uint32_t value = 0;
    for (uint32_t k = 0; k < n; ++k, ++r->bit) {
        if (r->bit >= 8 * r->length) {
            r->overrun = true;
            return 0;
        }
        value = value << 1 | ((r->bytes[r->bit >> 3] >> (7 - (r->bit & 7))) & 1);
    }
    return value;
}

uint32_t bits_ue(BitReader* r) {
    uint32_t zeros = 0;
    while (bits_read(r, 1) == 0) {
        // No field of a parameter set needs more: the bits are not one.
        if (r->overrun || ++zeros > 31) {
            r->overrun = true;
            return 0;
        }
    }
    return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + bits_read(r, zeros));
}

int32_t bits_se(BitReader* r) {
    uint32_t k = bits_ue(r);
    int64_t magnitude = (static_cast<int64_t>(k) + 1) / 2;
    return static_cast<int32_t>((k & 1) != 0 ? magnitude : -magnitude);
}

void bits_skip(BitReader* r, uint32_t n) {
    r->bit += n;
    if (r->bit > 8 * r->length) r->overrun = true;
}

void bits_put(uint8_t* bytes, uint32_t bit, uint32_t n, uint32_t value) {
    for (uint32_t k = 0; k < n; ++k, ++bit) {
        uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
        if (((value >> (n - 1 - k)) & 1) != 0) {
            bytes[bit >> 3] |= mask;
        } else {
            bytes[bit >> 3] &= static_cast<uint8_t>(~mask);
        }
    }
}
