#include "analysis/bit_reader.h"

static uint8_t mask_of(int n) {
    uint8_t mask = 0;
    top_bits_mask(n, &mask);
    return mask;
}

void top_bits_mask(int n, uint8_t* byte) {
    for (int i = 0; i < n; ++i) {
        *byte = static_cast<uint8_t>((*byte >> 1) | 0x80);
    }
}

int shift_bits_left(uint8_t* buffer, uint32_t length, uint32_t n) {
    if (length < 2) return 2;
    if (n == 0) return 1;
    uint32_t whole = n / 8;
    if (whole > 0) {
        for (uint32_t i = 0; i < length; ++i) {
            buffer[i] = (i + whole < length) ? buffer[i + whole] : 0;
        }
    }
    uint32_t r = n % 8;
    if (r == 0) return 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t next = (i + 1 < length) ? buffer[i + 1] : 0;
        buffer[i] = static_cast<uint8_t>((buffer[i] << r) + (next >> (8 - r)));
    }
    return 0;
}

uint8_t peek_bits8(const uint8_t* buffer, int n) {
    return static_cast<uint8_t>((buffer[0] & mask_of(n)) >> (8 - n));
}

int peek_bits16(const uint8_t* buffer, int n) {
    int r = n % 8;
    return ((buffer[0] << 8) + (buffer[1] & mask_of(r))) >> (8 - r);
}

uint32_t peek_bits32(const uint8_t* buffer, int n) {
    int q = n / 8;
    int r = n % 8;
    uint32_t v = 0;
    for (int i = 0; i < q; ++i) v = (v << 8) + buffer[i];
    v = (v << 8) + (buffer[q] & mask_of(r));
    return v >> (8 - r);
}
