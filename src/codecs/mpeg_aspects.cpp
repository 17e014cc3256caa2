#include "codecs/mpeg_aspects.h"

#include "codecs/sar.h"

namespace {

// MPEG-2's codes 2 to 4, width and height.
constexpr uint32_t mpeg2_shapes[][2] = {{4, 3}, {16, 9}, {221, 100}};
constexpr uint32_t mpeg2_shape_first = mpeg2_code_4x3;

// MPEG-1's codes 1 to 14: the pel aspect, height over width, in ten
// thousandths.
constexpr uint32_t mpeg1_pel_aspects[] = {0,    10000, 6735,  7031,  7615,  8055,  8437, 8935,
                                          9157, 9815,  10255, 10695, 10950, 11575, 12015};

}  // namespace

bool mpeg2_code_shape(uint32_t code, uint32_t* width, uint32_t* height) {
    uint32_t k = code - mpeg2_shape_first;
    if (code < mpeg2_shape_first || k >= sizeof mpeg2_shapes / sizeof mpeg2_shapes[0]) return false;
    *width = mpeg2_shapes[k][0];
    *height = mpeg2_shapes[k][1];
    return true;
}

SarRatio mpeg1_code_sar(uint32_t code) {
    bool known = code > 0 && code < sizeof mpeg1_pel_aspects / sizeof mpeg1_pel_aspects[0];
    return known ? sar_reduced(10000, mpeg1_pel_aspects[code]) : SarRatio{0, 0};
}
