#include "cli/name_tables.h"

AspectNameTable aspect_names_mpeg1 = {
    "forbidden(0)", "1:1",    "0.6735",    "16:9(PAL)", "2.211:1", "0.8055",
    "16:9(NTSC)",   "0.8935", "4:3(PAL)",  "0.9815",    "1.0255",  "1.0695",
    "4:3(NTSC)",    "1.1575", "1.2015",    "(15)",
};

AspectNameTable aspect_names_mpeg2 = {
    "forbidden(0)", "1:1",    "4:3",    "16:9",   "2.21:1", "0.8055", "0.8437", "0.8935",
    "0.9375",       "0.9815", "1.0255", "1.0695", "1.1250", "1.1575", "1.2015", "(15)",
};

FrameRateNameTable frame_rate_names = {
    "forbidden(0)", "23.976",       "24",           "25",           "29.97",        "30",
    "50",           "59.94",        "60",           "reserved(9)",  "reserved(10)", "reserved(11)",
    "reserved(12)", "reserved(13)", "reserved(14)", "reserved(15)",
};

// The shapes, where a codec names nothing else: the shape numbers are
// MPEG-2's codes.
AspectNameTable aspect_names_shapes = {
    "other", "other", "4:3", "16:9", "other", "other", "other", "other",
    "other", "other", "other", "other", "other", "other", "other", "other",
};

const char* aspect_code_name(AspectNaming naming, unsigned code) {
    if (naming == naming_mpeg1_codes) return aspect_names_mpeg1[code & 0x0F];
    return naming == naming_shapes ? aspect_names_shapes[code & 0x0F] : aspect_names_mpeg2[code & 0x0F];
}
