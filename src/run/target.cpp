#include "run/target.h"

#include "codecs/mpeg_aspects.h"
#include "codecs/sar.h"
#include "codecs/shapes.h"
#include "notices/file_notices.h"

namespace {

// What a code names for the row: one of its own table, or a shape.
bool code_target(const VideoFacts* f, uint32_t code, SiteAspect* target) {
    const CodecRow* row = f->row;
    if (row->options != options_codes) return row->shape_aspect(code, f->width, f->height, target);
    *target = {code, row->code_sar(code, f->width, f->height)};
    return code < mpeg_aspect_codes;
}

TargetChoice option_target(const TargetOption* option, const VideoFacts* f, CodeRefusedNotice* refused,
                           SiteAspect* target) {
    OptionRange range = f->row->options;
    uint32_t code = static_cast<uint32_t>(option->code);
    bool two = range != options_two_shapes || code == shape_4x3 || code == shape_16x9;
    if (!option->digits || !two || !code_target(f, code, target)) {
        *refused = CodeRefusedNotice{range, option->digits, option->code, option->text.c_str()};
        return target_refused;
    }
    return target_chosen;
}

// The container's field the video showed before the tool first changed
// it: the one its marker file records, none where that file records none,
// else the one it shows now. MPEG-1's codes name no shape a field could.
SarRatio field_before(const VideoFacts* f, const AspectOriginal* original) {
    if (f->row->naming == naming_mpeg1_codes) return {0, 0};
    if (original->shown.width != 0) return original->shown;
    return original->known ? SarRatio{0, 0} : f->field;
}

TargetChoice default_target(const VideoFacts* f, const AspectOriginal* original, SiteAspect* target) {
    const CodecRow* row = f->row;
    if (row->fixed_default != 0) return code_target(f, row->fixed_default, target) ? target_chosen : target_none;
    SiteAspect before = shown_before(f, original);
    uint32_t other = shape_swapped(shape_of_sar(f->width, f->height, before.sar));
    if (other != 0 && row->shape_aspect(other, f->width, f->height, target)) return target_chosen;
    bool keeps = row->keeps_other && field_before(f, original).width == 0;
    *target = keeps ? f->first.aspect : facts_shown(f);
    return keeps ? target_chosen : target_none;
}

struct Ratio {
    uint64_t num;
    uint64_t den;
};

bool ratio_equal(Ratio a, Ratio b) {
    return a.num * b.den == b.num * a.den;
}

// The display aspect that an MPEG-2 code gives the coded picture; square
// samples for the codes that name no shape.
Ratio code_display(uint32_t code, Ratio coded) {
    uint32_t width = 0;
    uint32_t height = 0;
    return mpeg2_code_shape(code, &width, &height) ? Ratio{width, height} : coded;
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

SiteAspect shown_before(const VideoFacts* f, const AspectOriginal* original) {
    VideoFacts then = *f;
    then.field = field_before(f, original);
    if (original->known) then.first.aspect = original->first;
    return facts_shown(&then);
}

bool aspect_holds(const VideoFacts* f, SiteAspect aspect, SiteAspect target) {
    if (f->row->code_sar != nullptr) return aspect.code == target.code;
    return aspect.sar.width != 0 && sar_same(aspect.sar, target.sar);
}

SiteAspect changed_from(const VideoFacts* f, const AspectOriginal* original, SiteAspect target) {
    SiteAspect current = facts_shown(f);
    return original->known && aspect_holds(f, current, target) ? shown_before(f, original) : current;
}

TargetChoice target_choose(const RunRequest* request, const VideoFacts* f, const AspectOriginal* original,
                           CodeRefusedNotice* refused, SiteAspect* target) {
    const TargetOption* option = &request->target;
    if (option->given) return option_target(option, f, refused, target);
    if (request->set_target >= 0 && code_target(f, static_cast<uint32_t>(request->set_target), target)) {
        return target_chosen;
    }
    return default_target(f, original, target);
}

bool display_hides_change(const SequenceHeaderInfo* info, uint32_t target, uint64_t* shown_num,
                          uint64_t* shown_den) {
    if (info->mpeg_version != 2 || info->video.display != 1 || target == info->aspect_code) return false;
    Ratio now = shown_shape(info, info->aspect_code);
    if (now.den == 0 || !ratio_equal(now, shown_shape(info, target))) return false;
    *shown_num = now.num;
    *shown_den = now.den;
    return true;
}
