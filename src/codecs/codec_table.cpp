#include "codecs/codec_table.h"

#include "codecs/display_elements.h"
#include "codecs/display_fields.h"
#include "codecs/dv_scan.h"
#include "codecs/clip_aspect.h"
#include "codecs/dvd_attributes.h"
#include "codecs/asf_aspect.h"
#include "codecs/frame_aspect.h"
#include "codecs/mxf_aspect.h"
#include "codecs/frame_headers.h"
#include "codecs/h263_scan.h"
#include "codecs/header_par.h"
#include "codecs/header_scan.h"
#include "codecs/mpeg_aspects.h"
#include "codecs/nal_scan.h"
#include "codecs/pixel_aspect.h"
#include "codecs/vol_scan.h"
#include "codecs/shapes.h"
#include "codecs/vc1_sequence.h"

namespace {

// MPEG-2's codes name the picture's shape; those that name none leave its
// samples square, as the coded size shows.
SarRatio mpeg2_sar(uint32_t code, uint32_t width, uint32_t height) {
    SarRatio sar = sar_of_shape_exact(width, height, code);
    return sar.width != 0 ? sar : SarRatio{1, 1};
}

// MPEG-1's name the sample's own shape, whatever the picture.
SarRatio mpeg1_sar(uint32_t code, uint32_t, uint32_t) {
    return mpeg1_code_sar(code);
}

// DV's display bits name the whole picture's shape (its code here is the
// shape), or one the tool takes no target from (letterbox and the like).
SarRatio dv_sar(uint32_t shape, uint32_t width, uint32_t height) {
    return shape == shape_4x3 || shape == shape_16x9 ? sar_of_shape_exact(width, height, shape) : SarRatio{0, 0};
}

bool mpeg2_shape_aspect(uint32_t shape, uint32_t width, uint32_t height, SiteAspect* aspect) {
    *aspect = {shape, mpeg2_sar(shape, width, height)};
    return shape >= shape_square && shape <= shape_221x100;
}

bool no_shape_aspect(uint32_t, uint32_t, uint32_t, SiteAspect*) {
    return false;
}

bool dv_shape_aspect(uint32_t shape, uint32_t width, uint32_t height, SiteAspect* aspect) {
    *aspect = {shape, dv_sar(shape, width, height)};
    return aspect->sar.width != 0;
}

bool sample_shape_aspect(uint32_t shape, uint32_t width, uint32_t height, SiteAspect* aspect) {
    *aspect = {0, sar_of_shape(width, height, shape)};
    return aspect->sar.width != 0;
}

uint8_t first_byte_itself(const SiteReading*, const uint8_t* bytes) {
    return bytes[0];
}

uint8_t first_code(const SiteReading* reading, const uint8_t*) {
    return static_cast<uint8_t>(reading->aspect.code);
}

// A DV pack's shape, in the high four bits, as earlier builds wrote it.
uint8_t first_shape(const SiteReading* reading, const uint8_t*) {
    return static_cast<uint8_t>(reading->aspect.code << 4);
}

uint8_t first_nothing(const SiteReading*, const uint8_t*) {
    return 0;
}

constexpr CodecRow rows[] = {
    // codec version name own-kind header naming summary options find
    // checked whole keeps fixed code_sar shape_aspect marker_first
    {codec_mpeg, 1, "MPEG-1", site_sequence_header, header_word_sequence, naming_mpeg1_codes, summary_mpeg,
     options_codes, first_by_probe, false, false, true, mpeg1_code_video_cd, mpeg1_sar, no_shape_aspect,
     first_byte_itself},
    {codec_mpeg, 2, "MPEG-2", site_sequence_header, header_word_sequence, naming_mpeg2_codes, summary_mpeg,
     options_codes, first_by_probe, false, false, true, 0, mpeg2_sar, mpeg2_shape_aspect, first_byte_itself},
    {codec_avc, 0, "H.264", site_parameter_set, header_word_set, naming_samples, summary_samples, options_shapes,
     first_by_scan, false, true, false, 0, nullptr, sample_shape_aspect, first_code},
    {codec_hevc, 0, "HEVC", site_parameter_set, header_word_set, naming_samples, summary_samples, options_shapes,
     first_by_scan, false, true, false, 0, nullptr, sample_shape_aspect, first_code},
    {codec_mpeg4, 0, "MPEG-4", site_video_object_layer, header_word_vol, naming_samples, summary_samples,
     options_shapes, first_by_scan, true, true, false, 0, nullptr, sample_shape_aspect, first_code},
    {codec_h263, 0, "H.263", site_h263_picture, header_word_picture, naming_samples, summary_samples,
     options_shapes, first_by_scan, true, true, false, 0, nullptr, sample_shape_aspect, first_code},
    {codec_vc1, 0, "VC-1", site_vc1_sequence, header_word_vc1, naming_samples, summary_samples, options_shapes,
     first_by_scan, true, true, false, 0, nullptr, sample_shape_aspect, first_code},
    {codec_dv, 0, "DV", site_dv_control, header_word_pack, naming_shapes, summary_shapes, options_two_shapes,
     first_by_scan, false, true, false, 0, dv_sar, dv_shape_aspect, first_shape},
    {codec_container, 0, nullptr, site_frame_header, header_word_frame, naming_samples, summary_container,
     options_shapes, first_none, false, true, false, 0, nullptr, sample_shape_aspect, first_nothing},
    {codec_dvd_attributes, 0, nullptr, site_dvd_attributes, header_word_attributes, naming_mpeg2_codes,
     summary_mpeg, options_two_shapes, first_in_head, false, false, false, 0, mpeg2_sar, mpeg2_shape_aspect,
     first_byte_itself},
    {codec_clip_info, 0, nullptr, site_clip_aspect, header_word_attributes, naming_mpeg2_codes, summary_mpeg,
     options_two_shapes, first_in_head, false, false, false, 0, mpeg2_sar, mpeg2_shape_aspect, first_byte_itself},
};

// Each kind of site's own: the codecs' headers and packs, and the
// containers' fields, by SiteKind.
const PlaceOps* const kind_places[] = {
    &sequence_header_places, &parameter_set_places, &dvd_attributes_places,      &display_size_places,
    &pixel_aspect_places,    &display_elements_places, &frame_header_places,     &video_object_layer_places,
    &dv_control_places,      &frame_aspect_places,    &clip_aspect_places,    &asf_aspect_places,
    &mxf_aspect_places,      &h263_picture_places,    &header_par_places,     &vc1_sequence_places,
};
static_assert(sizeof kind_places / sizeof *kind_places == site_vc1_sequence + 1, "every kind of site");

}  // namespace

bool site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    return kind_places[site->kind]->read(site, bytes, reading);
}

AspectEdit site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                     uint32_t* count) {
    *count = 0;
    return kind_places[site->kind]->edit(site, bytes, target, changes, count);
}

uint32_t site_field(const AspectSite* site, uint32_t* indices) {
    return kind_places[site->kind]->field(site, indices);
}

const CodecRow* codec_row(VideoCodec codec, int32_t version) {
    for (const CodecRow& row : rows) {
        if (row.codec == codec && (row.version == 0 || row.version == (version == 1 ? 1 : 2))) return &row;
    }
    return nullptr;
}

SarRatio facts_sar(const VideoFacts* facts, SiteAspect aspect) {
    const CodecRow* row = facts->row;
    return row->code_sar != nullptr ? row->code_sar(aspect.code, facts->width, facts->height) : aspect.sar;
}

SiteAspect facts_shown(const VideoFacts* facts) {
    const SiteReading& first = facts->first;
    SiteAspect shown = {first.aspect.code, {0, 0}};
    bool field = facts->field.width != 0;
    shown.sar = field ? facts->field : first.aspect_present ? facts_sar(facts, first.aspect) : SarRatio{0, 0};
    if (shown.sar.width == 0 && facts->contained && facts->row->code_sar == nullptr) shown.sar = {1, 1};
    // MPEG-2 names the shape a container's field shows by its code.
    uint32_t shape = field ? shape_of_sar(facts->width, facts->height, facts->field) : 0;
    if (facts->row->naming == naming_mpeg2_codes && shape != 0) shown.code = shape;
    return shown;
}

const char* facts_codec_name(const VideoFacts* facts) {
    return facts->row->name != nullptr ? facts->row->name : foreign_video_name(facts->foreign);
}

const char* foreign_video_name(const ForeignVideo& video) {
    static const char* const names[] = {"", "VP8", "VP9", "AV1", "Motion JPEG", "ProRes", "Sorenson Spark", "VP6",
                                        "Screen Video", "Theora", "VC-1"};
    static_assert(sizeof names / sizeof names[0] == foreign_other, "a name for every codec known by name");
    return video.codec == foreign_other ? video.id : names[video.codec];
}
