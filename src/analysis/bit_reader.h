// Reading MPEG header fields of odd widths from a small big-endian byte copy:
// peek at the leading bits, then shift the copy left past them.
#pragma once
#include <cstdint>

// Shifts the byte right n times, setting its top bit each time; on a zero
// byte this leaves the n most significant bits set.
void top_bits_mask(int n, uint8_t* byte);
// 2 when the length is below 2 (untouched), 1 when n is 0 (untouched),
// otherwise 0 after shifting the buffer left by n bits (n < 8 * length).
int shift_bits_left(uint8_t* buffer, uint32_t length, uint32_t n);
// The top n bits, right-aligned: n 1-8 of byte 0, 9-15 of bytes 0-1, 1-31
// of bytes 0 to n/8.
uint8_t peek_bits8(const uint8_t* buffer, int n);
int peek_bits16(const uint8_t* buffer, int n);
uint32_t peek_bits32(const uint8_t* buffer, int n);
