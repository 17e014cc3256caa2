#include "codecs/shapes.h"

#include "codecs/mpeg_aspects.h"
#include "codecs/sar.h"

namespace {

// A picture of 720 samples carries 704 of active picture with the sample
// aspects of its standard, 2.3% off the display aspect's own.
constexpr double shape_tolerance = 0.03;

// ITU-R BT.601: DVD and broadcast pictures of 720 or 704 samples (352 at
// half the lines) show 4:3 or 16:9 on their 704 active samples, with the
// standard sample aspects that the parameter sets' table codes 2 to 5 name.
bool standard_definition(uint32_t w, uint32_t h, SarRatio* sar_4x3, SarRatio* sar_16x9) {
    bool full = (w == 720 || w == 704) && (h == 480 || h == 576);
    bool half = w == 352 && (h == 240 || h == 288);
    bool lines_525 = h == 480 || h == 240;
    *sar_4x3 = lines_525 ? SarRatio{10, 11} : SarRatio{12, 11};
    *sar_16x9 = lines_525 ? SarRatio{40, 33} : SarRatio{16, 11};
    return full || half;
}

}  // namespace

bool shape_ratio(uint32_t shape, uint32_t* width, uint32_t* height) {
    if (shape != shape_square) return mpeg2_code_shape(shape, width, height);
    *width = 1;
    *height = 1;
    return true;
}

uint32_t shape_of_sar(uint32_t width, uint32_t height, SarRatio sar) {
    if (sar.width == 0 || sar.height == 0 || height == 0) return 0;
    double ratio = static_cast<double>(sar.width) * width / (static_cast<double>(sar.height) * height);
    uint32_t w = 0;
    uint32_t h = 0;
    for (uint32_t shape = shape_4x3; mpeg2_code_shape(shape, &w, &h); ++shape) {
        double off = ratio / (static_cast<double>(w) / h) - 1;
        if (off < shape_tolerance && off > -shape_tolerance) return shape;
    }
    return 0;
}

SarRatio sar_of_shape_exact(uint32_t width, uint32_t height, uint32_t shape) {
    uint32_t w = 0;
    uint32_t h = 0;
    if (shape == shape_square) return {1, 1};
    if (!mpeg2_code_shape(shape, &w, &h)) return {0, 0};
    return sar_reduced(uint64_t{w} * height, uint64_t{h} * width);
}

SarRatio sar_of_shape(uint32_t width, uint32_t height, uint32_t shape) {
    SarRatio sd_4x3 = {0, 0};
    SarRatio sd_16x9 = {0, 0};
    bool standard = standard_definition(width, height, &sd_4x3, &sd_16x9);
    if (standard && shape == shape_4x3) return sd_4x3;
    if (standard && shape == shape_16x9) return sd_16x9;
    return sar_of_shape_exact(width, height, shape);
}

uint32_t shape_swapped(uint32_t shape) {
    return shape == shape_4x3 ? shape_16x9 : shape == shape_16x9 ? shape_4x3 : 0;
}
