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

bool wide_less(Wide a, Wide b) {
    return a.high < b.high || (a.high == b.high && a.low < b.low);
}

// a - b, where b is not more than a.
Wide wide_difference(Wide a, Wide b) {
    return {a.high - b.high - (a.low < b.low ? 1 : 0), a.low - b.low};
}

constexpr uint64_t term_most = 0xFFFFFFFFu;

// The simplest ratio from a/b to c/d, both ends in (a/b not above c/d, b
// and d not 0): the whole parts that both ends share, as a continued
// fraction, then the smallest whole number between what remains of them.
// {0, 0} where its terms outgrow 32 bits.
SarRatio simplest_between(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
    // The convergents so far: the ratio is (p1 x + p0) / (q1 x + q0) for
    // the x that remains.
    uint64_t p0 = 0;
    uint64_t p1 = 1;
    uint64_t q0 = 1;
    uint64_t q1 = 0;
    while (b != 0 && d != 0) {
        uint64_t whole = a / b;
        if (whole > term_most || p1 > term_most || q1 > term_most) return {0, 0};
        bool exact = a % b == 0;
        // whole * d is not above c, so this cannot overflow.
        if (exact || (whole + 1) * d <= c) {
            uint64_t last = exact ? whole : whole + 1;
            if (last > term_most) return {0, 0};
            return sar_reduced(last * p1 + p0, last * q1 + q0);
        }
        uint64_t p = whole * p1 + p0;
        uint64_t q = whole * q1 + q0;
        p0 = p1;
        p1 = p;
        q0 = q1;
        q1 = q;
        // x lies from d / (c - whole d) to b / (a - whole b).
        uint64_t next_a = d;
        uint64_t next_b = c - whole * d;
        uint64_t next_c = b;
        uint64_t next_d = a - whole * b;
        a = next_a;
        b = next_b;
        c = next_c;
        d = next_d;
    }
    return {0, 0};
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

namespace {

bool near_shape(SarRatio aspect, double shape) {
    constexpr double tolerance = 0.03;
    double off = static_cast<double>(aspect.width) / aspect.height / shape - 1;
    return off < tolerance && off > -tolerance;
}

}  // namespace

SarRatio sar_frame_aspect(uint64_t width, uint64_t height, SarRatio sar) {
    SarRatio aspect = sar_reduced(width * sar.width, height * sar.height);
    if (aspect.width == 0) return aspect;
    if (near_shape(aspect, 4.0 / 3)) return {4, 3};
    if (near_shape(aspect, 16.0 / 9)) return {16, 9};
    return aspect;
}

// A ratio with a zero term records no aspect, so it is the same as none:
// a field of 0 is never taken for the target already there.
bool sar_same(SarRatio a, SarRatio b) {
    if (a.width == 0 || a.height == 0 || b.width == 0 || b.height == 0) return false;
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

bool scaled_within_one(uint64_t value, uint64_t a, uint64_t b, uint64_t c) {
    Wide held = wide_product(value, c);
    Wide exact = wide_product(a, b);
    Wide off = wide_less(held, exact) ? wide_difference(exact, held) : wide_difference(held, exact);
    return off.high == 0 && off.low < c;
}

bool shape_near(uint64_t w, uint64_t h, uint64_t shape_w, uint64_t shape_h) {
    // A tolerance, not a value: a double's rounding is far below it.
    double shown = static_cast<double>(w) * static_cast<double>(shape_h);
    double shape = static_cast<double>(h) * static_cast<double>(shape_w);
    double off = shown > shape ? shown - shape : shape - shown;
    return off * 100 <= shape;
}

SarRatio sar_of_width(uint64_t width, uint64_t height, uint32_t picture_w, uint32_t picture_h) {
    // Bounds that keep every product below 64 bits.
    constexpr uint64_t picture_most = 0xFFFFFF;
    if (width == 0 || height == 0 || width > term_most || height > term_most) return {0, 0};
    if (picture_w == 0 || picture_h == 0 || picture_w > picture_most || picture_h > picture_most) return {0, 0};
    // The width rounds to this one from half a unit below it up to just
    // before half a unit above.
    uint64_t across = 2 * height * picture_w;
    SarRatio simplest = simplest_between((2 * width - 1) * picture_h, across, (2 * width + 1) * picture_h, across);
    bool writes_back = simplest.width != 0 &&
                       scaled_round(height * picture_w, simplest.width, uint64_t{picture_h} * simplest.height) == width &&
                       shape_near(width, height, uint64_t{picture_w} * simplest.width, uint64_t{picture_h} * simplest.height);
    return writes_back ? simplest : sar_reduced(width * picture_h, height * picture_w);
}
