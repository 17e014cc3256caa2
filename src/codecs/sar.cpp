#include "codecs/sar.h"

namespace {

uint64_t gcd(uint64_t a, uint64_t b) {
    while (b != 0) {
        uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// A 128-bit number as two halves.
struct Wide {
    uint64_t high;
    uint64_t low;
};

Wide wide_product(uint64_t a, uint64_t b) {
    uint64_t a_lo = a & 0xFFFFFFFFu;
    uint64_t a_hi = a >> 32;
    uint64_t b_lo = b & 0xFFFFFFFFu;
    uint64_t b_hi = b >> 32;
    uint64_t lo_lo = a_lo * b_lo;
    uint64_t mid1 = a_hi * b_lo;
    uint64_t mid2 = a_lo * b_hi;
    uint64_t mid = (lo_lo >> 32) + (mid1 & 0xFFFFFFFFu) + (mid2 & 0xFFFFFFFFu);
    uint64_t high = a_hi * b_hi + (mid1 >> 32) + (mid2 >> 32) + (mid >> 32);
    return {high, (mid << 32) | (lo_lo & 0xFFFFFFFFu)};
}

Wide wide_add(Wide a, uint64_t b) {
    uint64_t low = a.low + b;
    return {a.high + (low < a.low ? 1 : 0), low};
}

}  // namespace

SarRatio sar_reduced(uint64_t width, uint64_t height) {
    uint64_t d = gcd(width, height);
    if (d == 0 || width == 0 || height == 0) return {0, 0};
    width /= d;
    height /= d;
    if (width > 0xFFFFFFFFu || height > 0xFFFFFFFFu) return {0, 0};
    return {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
}

bool sar_same(SarRatio a, SarRatio b) {
    return static_cast<uint64_t>(a.width) * b.height == static_cast<uint64_t>(b.width) * a.height;
}

uint64_t scaled_round(uint64_t a, uint64_t b, uint64_t c) {
    if (c == 0) return UINT64_MAX;
    Wide n = wide_add(wide_product(a, b), c / 2);
    if (n.high >= c) return UINT64_MAX;
    // Long division, one bit at a time: the remainder stays below c.
    uint64_t remainder = n.high;
    uint64_t quotient = 0;
    for (int bit = 63; bit >= 0; --bit) {
        bool carry = (remainder >> 63) != 0;
        remainder = (remainder << 1) | ((n.low >> bit) & 1);
        quotient <<= 1;
        if (carry || remainder >= c) {
            remainder -= c;
            quotient |= 1;
        }
    }
    return quotient;
}
