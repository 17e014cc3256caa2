#include "cli/mpeg_target.h"

#include "cli/command_line.h"
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

}  // namespace

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
