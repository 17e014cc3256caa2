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

// DV's display bits, read as the MPEG-2 codes of their shapes (0 for any other).
AspectNameTable aspect_names_dv = {
    "other", "other", "4:3", "16:9", "other", "other", "other", "other",
    "other", "other", "other", "other", "other", "other", "other", "other",
};

const char* aspect_name(int mpeg_version, unsigned code) {
    if (mpeg_version == mpeg_version_dv) return aspect_names_dv[code & 0x0F];
    return mpeg_version == 1 ? aspect_names_mpeg1[code & 0x0F] : aspect_names_mpeg2[code & 0x0F];
}

const char* foreign_video_name(const ForeignVideo& video) {
    static const char* const names[] = {"", "VP8", "VP9", "AV1", "Motion JPEG", "ProRes"};
    static_assert(sizeof names / sizeof names[0] == foreign_other, "a name for every codec known by name");
    return video.codec == foreign_other ? video.id : names[video.codec];
}
