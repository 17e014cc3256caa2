// Fields of any width up to 32 bits, read one after the other from (or put
// back into) big-endian bytes: the headers of MPEG video, MPEG-4 video and
// the parameter sets of H.264 and HEVC alike.
#pragma once
#include <cstdint>

struct BitReader {
    const uint8_t* bytes;
    uint32_t length;
    uint32_t bit;   // the next bit to read
    bool overrun;   // a read went past the end
};

// The next n bits (n up to 32), 0 past the end.
uint32_t bits_read(BitReader* r, uint32_t n);
// Exp-Golomb codes: unsigned and signed.
uint32_t bits_ue(BitReader* r);
int32_t bits_se(BitReader* r);
void bits_skip(BitReader* r, uint32_t n);
// Writes the low n bits of value at the bit, the bytes around them kept.
void bits_put(uint8_t* bytes, uint32_t bit, uint32_t n, uint32_t value);
