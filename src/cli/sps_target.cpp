#include "cli/sps_target.h"

#include "cli/command_line.h"
#include "cli/summary.h"
#include "console/console.h"
#include "console/messages.h"

namespace {

struct DisplayAspect {
    uint32_t width;
    uint32_t height;
    const char* name;
};

// Indexed by the -o code.
constexpr DisplayAspect display_aspects[] = {
    {0, 0, ""}, {1, 1, "1:1"}, {4, 3, "4:3"}, {16, 9, "16:9"}, {221, 100, "2.21:1"},
};
constexpr uint32_t display_code_most = 4;

// A picture of 720 samples carries 704 of active picture with the sample
// aspects of its standard, 2.3% off the display aspect's own.
constexpr double display_tolerance = 0.03;

// ITU-R BT.601: DVD and broadcast pictures of 720 or 704 samples (352 at
// half the lines) show 4:3 or 16:9 on their 704 active samples, with the
// standard sample aspects that the table codes 2 to 5 name.
bool standard_definition(const SpsInfo* sps, SarRatio* sar_4x3, SarRatio* sar_16x9) {
    uint32_t w = sps->width;
    uint32_t h = sps->height;
    bool full = (w == 720 || w == 704) && (h == 480 || h == 576);
    bool half = w == 352 && (h == 240 || h == 288);
    bool lines_525 = h == 480 || h == 240;
    *sar_4x3 = lines_525 ? SarRatio{10, 11} : SarRatio{12, 11};
    *sar_16x9 = lines_525 ? SarRatio{40, 33} : SarRatio{16, 11};
    return full || half;
}

// The sample aspect that shows the picture at the display aspect of the
// code.
SarRatio sar_of_code(const SpsInfo* sps, uint32_t code) {
    SarRatio sd_4x3 = {0, 0};
    SarRatio sd_16x9 = {0, 0};
    if (code == 1) return {1, 1};
    if ((code == 2 || code == 3) && standard_definition(sps, &sd_4x3, &sd_16x9)) {
        return code == 2 ? sd_4x3 : sd_16x9;
    }
    return sar_for_display(sps, display_aspects[code].width, display_aspects[code].height);
}

double display_ratio(const SpsInfo* sps, SarRatio sar) {
    return static_cast<double>(sar.width) * sps->width / (static_cast<double>(sar.height) * sps->height);
}

}  // namespace

bool display_of_code(uint32_t code, uint32_t* width, uint32_t* height) {
    if (code == 0 || code > display_code_most) return false;
    *width = display_aspects[code].width;
    *height = display_aspects[code].height;
    return true;
}

uint32_t display_code_of(const SpsInfo* sps, SarRatio sar) {
    if (sar.width == 0 || sar.height == 0 || sps->height == 0) return 0;
    double ratio = display_ratio(sps, sar);
    for (uint32_t code = 2; code <= display_code_most; ++code) {
        double wanted = static_cast<double>(display_aspects[code].width) / display_aspects[code].height;
        double off = ratio / wanted - 1;
        if (off < display_tolerance && off > -display_tolerance) return code;
    }
    return 0;
}

int sps_target_choose(const CommandLine* line, const SpsInfo* sps, const AspectOriginal* original,
                      SarRatio* target) {
    SarRatio current = sps_sar(sps);
    uint32_t code = 0;
    if (!command_line_has_o(line)) {
        uint32_t shown = display_code_of(sps, original->known ? original->sar : current);
        code = shown == 2 ? 3 : shown == 3 ? 2 : 0;
    } else {
        const char* o_text = line->o_text.c_str();
        int32_t value = o_option_value(o_text);
        uint32_t width = 0;
        uint32_t height = 0;
        if (!o_option_digits(o_text) || !display_of_code(static_cast<uint32_t>(value), &width, &height)) {
            o_option_refused_print(msg_sps_aspect_out_of_range, o_text);
            return 1;
        }
        code = static_cast<uint32_t>(value);
    }
    *target = code == 0 ? current : sar_of_code(sps, code);
    return 0;
}

void sar_name(const SpsInfo* sps, SarRatio sar, char* name) {
    if (sar.width == 0 || sar.height == 0) {
        text_format(name, sar_name_capacity, "%s", msg_sar_unspecified);
        return;
    }
    uint32_t code = display_code_of(sps, sar);
    char shown[16] = {};
    if (code != 0) {
        text_format(shown, sizeof shown, "%s", display_aspects[code].name);
    } else {
        text_format(shown, sizeof shown, fmt_display_ratio, display_ratio(sps, sar));
    }
    text_format(name, sar_name_capacity, fmt_sar_name, sar.width, sar.height, shown);
}

void format_sps_summary_line(const SequenceHeaderInfo* info, SarRatio target, int64_t file_size,
                             char* line) {
    char duration[duration_text_capacity] = {};
    char size[size_text_capacity] = {};
    format_duration_text(info->duration_sec, duration);
    format_size_text(file_size, size);
    SarRatio current = sps_sar(&info->sps);
    const char* codec = info->layout.codec == codec_hevc ? "HEVC" : "H.264";
    text_format(line, 512, fmt_summary_sps, codec, info->sps.width, info->sps.height, current.width,
                current.height, target.width, target.height, duration, size);
}
