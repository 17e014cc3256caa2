#include "run/target.h"

#include "codecs/mpeg_aspects.h"
#include "notices/file_notices.h"

namespace {

// A picture of 720 samples carries 704 of active picture with the sample
// aspects of its standard, 2.3% off the display aspect's own.
constexpr double display_tolerance = 0.03;

bool dv_video(const SequenceHeaderInfo* info) {
    return info->mpeg_version == mpeg_version_dv;
}

// MPEG-2 exchanges 4:3 and 16:9; a stream of any other shape keeps its
// code, and a container that shows another has no default. DV of another
// shape has none: its packs take no code but those two.
TargetChoice default_target(const SequenceHeaderInfo* info, const AspectOriginal* original, uint32_t* target) {
    *target = info->aspect_code;
    if (info->mpeg_version == 1) *target = mpeg1_code_video_cd;
    uint32_t before = info->mpeg_version == 1 ? 0 : mpeg_code_before(info, original);
    if (before == mpeg2_code_4x3) *target = mpeg2_code_16x9;
    if (before == mpeg2_code_16x9) *target = mpeg2_code_4x3;
    bool swapped = before == mpeg2_code_4x3 || before == mpeg2_code_16x9;
    bool kept = !dv_video(info) && mpeg_container_shown(info, original).width == 0;
    return swapped || kept ? target_chosen : target_none;
}

// Says that -o names no code the video takes.
void code_refused(NoticeSink notices, CodeRange range, const TargetOption* option) {
    notify(notices, CodeRefusedNotice{range, option->digits, option->code, option->text.c_str()});
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
    uint32_t width = 0;
    uint32_t height = 0;
    if (code == mpeg2_code_square) return {1, 1};
    if ((code == mpeg2_code_4x3 || code == mpeg2_code_16x9) && standard_definition(sps, &sd_4x3, &sd_16x9)) {
        return code == mpeg2_code_4x3 ? sd_4x3 : sd_16x9;
    }
    mpeg2_code_shape(code, &width, &height);
    return sar_for_display(sps, width, height);
}

}  // namespace

SarRatio video_shown_sar(const SequenceHeaderInfo* info) {
    bool coded = codec_has_codes(info->layout.codec) && info->shown.width == 0;
    return coded ? mpeg_code_sar(info, info->aspect_code) : info->shown;
}

SarRatio mpeg_code_sar(const SequenceHeaderInfo* info, uint32_t code) {
    if (info->mpeg_version == 1) return mpeg1_code_sar(code);
    if (dv_video(info) && code != mpeg2_code_4x3 && code != mpeg2_code_16x9) return {0, 0};
    Ratio coded = {static_cast<uint64_t>(info->horizontal_size), static_cast<uint64_t>(info->vertical_size)};
    Ratio display = code_display(code, coded);
    return sar_reduced(display.num * coded.den, display.den * coded.num);
}

SarRatio mpeg_container_shown(const SequenceHeaderInfo* info, const AspectOriginal* original) {
    if (info->mpeg_version == 1) return {0, 0};
    if (original->shown.width != 0) return original->shown;
    return original->known ? SarRatio{0, 0} : info->shown;
}

SpsInfo picture_of(const SequenceHeaderInfo* info) {
    if (info->layout.codec != codec_mpeg) return info->sps;
    SpsInfo picture = {};
    picture.width = static_cast<uint32_t>(info->horizontal_size);
    picture.height = static_cast<uint32_t>(info->vertical_size);
    return picture;
}

uint32_t mpeg_code_shown(const SequenceHeaderInfo* info) {
    SpsInfo picture = picture_of(info);
    bool field = info->mpeg_version != 1 && info->shown.width != 0;
    uint32_t code = field ? display_code_of(&picture, info->shown) : 0;
    return code != 0 ? code : info->aspect_code;
}

uint32_t mpeg_code_before(const SequenceHeaderInfo* info, const AspectOriginal* original) {
    SarRatio shown = mpeg_container_shown(info, original);
    SpsInfo picture = picture_of(info);
    if (shown.width != 0) return display_code_of(&picture, shown);
    return original->known ? original->first_byte >> 4 : info->aspect_code;
}

TargetChoice mpeg_target_choose(const RunRequest* request, const SequenceHeaderInfo* info,
                                const AspectOriginal* original, NoticeSink notices, uint32_t* target) {
    const TargetOption* option = &request->target;
    if (!option->given && request->set_target >= 0) {
        *target = static_cast<uint32_t>(request->set_target);
        return target_chosen;
    }
    if (!option->given) return default_target(info, original, target);
    uint32_t code = static_cast<uint32_t>(option->code);
    bool taken = dv_video(info) ? code == mpeg2_code_4x3 || code == mpeg2_code_16x9 : code <= 15;
    if (!option->digits || !taken) {
        code_refused(notices, dv_video(info) ? code_range_dv : code_range_mpeg, option);
        return target_refused;
    }
    *target = static_cast<uint32_t>(option->code);
    return target_chosen;
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

bool display_of_code(uint32_t code, uint32_t* width, uint32_t* height) {
    if (code != mpeg2_code_square) return mpeg2_code_shape(code, width, height);
    *width = 1;  // square samples
    *height = 1;
    return true;
}

uint32_t display_code_of(const SpsInfo* sps, SarRatio sar) {
    if (sar.width == 0 || sar.height == 0 || sps->height == 0) return 0;
    double ratio = static_cast<double>(sar.width) * sps->width / (static_cast<double>(sar.height) * sps->height);
    uint32_t width = 0;
    uint32_t height = 0;
    for (uint32_t code = 0; code < mpeg_aspect_codes; ++code) {
        if (!mpeg2_code_shape(code, &width, &height)) continue;
        double wanted = static_cast<double>(width) / height;
        double off = ratio / wanted - 1;
        if (off < display_tolerance && off > -display_tolerance) return code;
    }
    return 0;
}

SarRatio sar_before(const AspectOriginal* original, SarRatio current) {
    if (original->shown.width != 0) return original->shown;
    return original->known ? original->sar : current;
}

TargetChoice sps_target_choose(const RunRequest* request, const SpsInfo* sps, SarRatio current,
                               const AspectOriginal* original, NoticeSink notices, SarRatio* target) {
    const TargetOption* option = &request->target;
    uint32_t code = 0;
    if (!option->given) {
        uint32_t shown = display_code_of(sps, sar_before(original, current));
        code = shown == mpeg2_code_4x3 ? mpeg2_code_16x9 : shown == mpeg2_code_16x9 ? mpeg2_code_4x3 : 0;
    } else {
        uint32_t width = 0;
        uint32_t height = 0;
        if (!option->digits || !display_of_code(static_cast<uint32_t>(option->code), &width, &height)) {
            code_refused(notices, code_range_display, option);
            return target_refused;
        }
        code = static_cast<uint32_t>(option->code);
    }
    *target = code == 0 ? current : sar_of_code(sps, code);
    return code == 0 ? target_none : target_chosen;
}
