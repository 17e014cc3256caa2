#include "formats/crc32.h"

namespace {

constexpr uint32_t polynomial = 0xEDB88320u;  // reflected

// One byte through the register, from nothing in it and nothing out.
uint32_t byte_through(uint32_t crc, uint8_t byte) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? (crc >> 1) ^ polynomial : crc >> 1;
    return crc;
}

// a * b modulo the polynomial, both reflected (x^0 in the top bit).
uint32_t multiply(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
        if ((a & bit) != 0) product ^= b;
        b = (b & 1) != 0 ? (b >> 1) ^ polynomial : b >> 1;
    }
    return product;
}

// x^(8 * bytes) modulo the polynomial: what `bytes` zero bytes through the
// register multiply it by.
uint32_t zeros_factor(uint64_t bytes) {
    uint32_t factor = 0x80000000u;  // 1
    uint32_t square = 0x00800000u;  // x^8
    for (; bytes != 0; bytes >>= 1) {
        if ((bytes & 1) != 0) factor = multiply(factor, square);
        square = multiply(square, square);
    }
    return factor;
}

uint32_t bits_reversed(uint32_t value, uint32_t bits) {
    uint32_t out = 0;
    for (uint32_t k = 0; k < bits; ++k) out |= ((value >> k) & 1) << (bits - 1 - k);
    return out;
}

}  // namespace

uint32_t crc32_byte_change(uint8_t difference, uint64_t bytes_after) {
    return multiply(zeros_factor(bytes_after), byte_through(0, difference));
}

uint32_t crc32_ogg_byte_change(uint8_t difference, uint64_t bytes_after) {
    uint8_t reversed = static_cast<uint8_t>(bits_reversed(difference, 8));
    return bits_reversed(crc32_byte_change(reversed, bytes_after), 32);
}
