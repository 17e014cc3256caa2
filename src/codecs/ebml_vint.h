// EBML's variable-length integers, which Matroska writes its element IDs
// and sizes in: the count of leading zero bits of the first byte gives the
// length (one to eight bytes); a size keeps only the bits after the marker
// bit, an ID keeps them all. A size of all ones is unknown.
#pragma once
#include <cstdint>

inline constexpr uint32_t ebml_vint_most = 8;

// The length of the integer the byte begins, or 0 for a zero byte.
inline uint32_t ebml_vint_length(uint8_t first) {
    for (uint32_t length = 1; length <= ebml_vint_most; ++length) {
        if ((first & (0x80u >> (length - 1))) != 0) return length;
    }
    return 0;
}

// The value of a size of `length` bytes, without its marker bit.
inline uint64_t ebml_vint_value(const uint8_t* bytes, uint32_t length) {
    uint64_t value = bytes[0] & ((0x80u >> (length - 1)) - 1);
    for (uint32_t k = 1; k < length; ++k) value = value << 8 | bytes[k];
    return value;
}

// The largest size a field of `length` bytes holds (all ones is unknown).
inline uint64_t ebml_vint_room(uint32_t length) {
    return (uint64_t{1} << (7 * length)) - 2;
}

// Writes the size into a field of `length` bytes; false when it does not fit.
inline bool ebml_vint_put(uint64_t value, uint32_t length, uint8_t* out) {
    if (length == 0 || length > ebml_vint_most || value > ebml_vint_room(length)) return false;
    for (uint32_t k = length; k-- > 0; value >>= 8) out[k] = static_cast<uint8_t>(value);
    out[0] |= static_cast<uint8_t>(0x80u >> (length - 1));
    return true;
}
