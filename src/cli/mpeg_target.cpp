#include "cli/mpeg_target.h"

#include "cli/command_line.h"
#include "console/console.h"
#include "console/messages.h"

namespace {

constexpr uint32_t default_target_mpeg1 = 12;

// MPEG-2 exchanges 4:3 and 16:9; any other shape is left as it is.
uint32_t default_target(const SequenceHeaderInfo* info, const AspectOriginal* original) {
    if (info->mpeg_version == 1) return default_target_mpeg1;
    uint32_t before = original->known ? original->first_byte >> 4 : info->aspect_code;
    if (before == 2) return 3;
    if (before == 3) return 2;
    return info->aspect_code;
}

struct Ratio {
    uint64_t num;
    uint64_t den;
};

bool ratio_equal(Ratio a, Ratio b) {
    return a.num * b.den == b.num * a.den;
}

// The display aspect that an MPEG-2 code names; square samples for others.
Ratio code_display(uint32_t code, Ratio coded) {
    switch (code) {
    case 2: return {4, 3};
    case 3: return {16, 9};
    case 4: return {221, 100};
    default: return coded;
    }
}

Ratio shown_shape(const SequenceHeaderInfo* info, uint32_t code) {
    Ratio coded = {static_cast<uint64_t>(info->horizontal_size), static_cast<uint64_t>(info->vertical_size)};
    Ratio aspect = code_display(code, coded);
    uint64_t dw = info->video.display_width;
    uint64_t dh = info->video.display_height;
    Ratio on_display = {aspect.num * dh * coded.num, aspect.den * dw * coded.den};
    bool exact = dw > 0 && dh > 0 && (ratio_equal(on_display, {4, 3}) || ratio_equal(on_display, {16, 9}));
    return exact ? on_display : aspect;
}

}  // namespace

bool display_hides_change(const SequenceHeaderInfo* info, uint32_t target, char* shown, size_t capacity) {
    if (info->mpeg_version != 2 || info->video.display != 1 || target == info->aspect_code) return false;
    Ratio now = shown_shape(info, info->aspect_code);
    if (now.den == 0 || !ratio_equal(now, shown_shape(info, target))) return false;
    if (ratio_equal(now, {4, 3}) || ratio_equal(now, {16, 9})) {
        text_format(shown, capacity, "%s", ratio_equal(now, {4, 3}) ? "4:3" : "16:9");
    } else {
        text_format(shown, capacity, fmt_display_ratio, static_cast<double>(now.num) / static_cast<double>(now.den));
    }
    return true;
}

int mpeg_target_choose(const CommandLine* line, const SequenceHeaderInfo* info,
                       const AspectOriginal* original, uint32_t* target) {
    if (!command_line_has_o(line)) {
        *target = line->set_target >= 0 ? static_cast<uint32_t>(line->set_target)
                                        : default_target(info, original);
        return 0;
    }
    const char* o_text = line->o_text.c_str();
    int32_t value = o_option_value(o_text);
    if (!o_option_digits(o_text) || static_cast<uint32_t>(value) > 15) {
        o_option_refused_print(msg_aspect_out_of_range, o_text);
        return 1;
    }
    *target = static_cast<uint32_t>(value);
    return 0;
}
