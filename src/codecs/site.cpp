#include "codecs/site.h"

#include <cstring>

#include "codecs/display_elements.h"
#include "codecs/display_fields.h"
#include "codecs/dv_dif.h"
#include "codecs/dvd_attributes.h"
#include "codecs/frame_aspect.h"
#include "codecs/frame_headers.h"
#include "codecs/mpeg4_vol.h"
#include "codecs/shapes.h"
#include "codecs/sps.h"

namespace {

DisplayFrame frame_of(const AspectSite* site, const uint8_t* bytes) {
    return {bytes, site->length, site->size_fields, site->size_lengths, site->picture_width, site->picture_height,
            site->display_unit, site->growth_checksummed};
}

FrameAspectPlace place_of(const AspectSite* site, const uint8_t* bytes) {
    return {bytes, site->length, site->picture_width, site->picture_height, site->refresh_rate,
            site->codec != codec_container};
}

// The fields every kind has; the rest are zero, and no byte is new only
// from a second copy on.
AspectSite site_base(SiteKind kind, SiteHolder holder, VideoCodec codec, const uint8_t* bytes, const int64_t* pos,
                     uint32_t length, const PayloadRange* range) {
    AspectSite site = {};
    site.kind = kind;
    site.holder = holder;
    site.codec = codec;
    site.bytes = bytes;
    site.pos = pos;
    site.length = length;
    site.range = range;
    site.again_from = set_copy_once(false).again_from;
    return site;
}

}  // namespace

AspectSite site_sequence_header_make(const uint8_t* byte7, const int64_t* pos, const PayloadRange* range,
                                     const uint8_t* list_record) {
    AspectSite site = site_base(site_sequence_header, holder_stream, codec_mpeg, byte7, pos, 1, range);
    std::memcpy(site.list_record, list_record, sizeof site.list_record);
    return site;
}

AspectSite site_parameter_set_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                   uint32_t length, const PayloadRange* range, SetCopy copy) {
    AspectSite site = site_base(site_parameter_set, holder, codec, bytes, pos, length, range);
    site.split = length > 0 && pos[length - 1] - pos[0] != length - 1;
    site.cut = copy.cut;
    site.across_repeat = copy.across_repeat;
    site.again_from = copy.again_from;
    return site;
}

AspectSite site_dvd_attributes_make(const uint8_t* byte, const int64_t* pos, const PayloadRange* range) {
    return site_base(site_dvd_attributes, holder_stream, codec_dvd_attributes, byte, pos, 1, range);
}

AspectSite site_display_size_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height) {
    AspectSite site = site_base(site_display_size, holder, codec, bytes, pos, display_size_bytes, range);
    site.picture_width = picture_width;
    site.picture_height = picture_height;
    return site;
}

AspectSite site_pixel_aspect_make(VideoCodec codec, const uint8_t* bytes, const int64_t* pos,
                                  const PayloadRange* range) {
    return site_base(site_pixel_aspect, holder_pixel_aspect, codec, bytes, pos, pixel_aspect_bytes, range);
}

AspectSite site_display_elements_make(VideoCodec codec, const DisplayFrame* frame, const int64_t* pos,
                                      const PayloadRange* range) {
    AspectSite site = site_base(site_display_elements, holder_video_element, codec, frame->bytes, pos,
                                frame->length, range);
    constexpr uint32_t fields_most = sizeof site.size_lengths;
    uint32_t fields = frame->size_fields < fields_most ? frame->size_fields : fields_most;
    site.size_fields = static_cast<uint8_t>(fields);
    for (uint32_t k = 0; k < fields; ++k) site.size_lengths[k] = frame->size_lengths[k];
    site.growth_checksummed = frame->growth_checksummed;
    site.display_unit = frame->unit;
    site.picture_width = frame->picture_width;
    site.picture_height = frame->picture_height;
    return site;
}

AspectSite site_frame_header_make(ForeignCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range) {
    AspectSite site = site_base(site_frame_header, holder_frame, codec_container, bytes, pos, length, range);
    site.frame_codec = codec;
    return site;
}

AspectSite site_frame_aspect_make(VideoCodec codec, const uint8_t* bytes, const int64_t* pos, uint32_t length,
                                  const PayloadRange* range, uint32_t picture_width, uint32_t picture_height,
                                  uint32_t refresh_rate) {
    AspectSite site = site_base(site_frame_aspect, holder_avi_vprp, codec, bytes, pos, length, range);
    site.picture_width = picture_width;
    site.picture_height = picture_height;
    site.refresh_rate = refresh_rate;
    return site;
}

AspectSite site_video_object_layer_make(SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                        uint32_t length, const PayloadRange* range, bool across_repeat) {
    AspectSite site = site_base(site_video_object_layer, holder, codec_mpeg4, bytes, pos, length, range);
    site.split = length > 0 && pos[length - 1] - pos[0] != length - 1;
    site.across_repeat = across_repeat;
    return site;
}

AspectSite site_dv_control_make(SiteHolder holder, const uint8_t* bytes4, const int64_t* pos,
                                const PayloadRange* range) {
    return site_base(site_dv_control, holder, codec_dv, bytes4, pos, dv_control_bytes, range);
}

bool site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    switch (site->kind) {
    case site_sequence_header:
        reading->aspect_present = true;
        reading->aspect.code = bytes[0] >> 4;
        return true;
    case site_dvd_attributes:
        reading->aspect.code = dvd_video_of(bytes[0]).aspect;
        reading->aspect_present = reading->aspect.code != 0;
        return true;
    case site_parameter_set: {
        SpsInfo info;
        if (!sps_read(site->codec, bytes, site->length, &info)) return false;
        reading->aspect_present = info.aspect_present;
        reading->aspect = {info.idc, sps_sar(&info)};
        reading->keyed = true;
        reading->id = info.sps_id;
        reading->width = info.width;
        reading->height = info.height;
        return true;
    }
    case site_display_size: {
        bool read = display_size_read(bytes, site->picture_width, site->picture_height, &reading->aspect.sar);
        reading->aspect_present = reading->aspect.sar.width != 0;  // 0x0 records none
        return read;
    }
    case site_pixel_aspect:
        reading->aspect_present = true;
        return pixel_aspect_read(bytes, &reading->aspect.sar);
    case site_display_elements: {
        DisplayFrame frame = frame_of(site, bytes);
        reading->aspect_present = true;
        return display_elements_read(&frame, &reading->aspect.sar);
    }
    case site_frame_header:
        reading->aspect.sar = frame_header_sar(site->frame_codec, bytes, site->length);
        reading->aspect_present = reading->aspect.sar.width != 0;
        return true;
    case site_frame_aspect: {
        FrameAspectPlace place = place_of(site, bytes);
        bool read = frame_aspect_read(&place, &reading->aspect.sar);
        reading->aspect_present = reading->aspect.sar.width != 0;
        return read;
    }
    case site_video_object_layer: {
        VolInfo info;
        if (!vol_read(bytes, site->length, &info)) return false;
        reading->aspect = {info.aspect_info, vol_sar(&info)};
        reading->aspect_present = reading->aspect.sar.width != 0;
        reading->keyed = true;
        reading->width = info.width;
        reading->height = info.height;
        return true;
    }
    case site_dv_control: {
        DvFrameKind frame = dv_frame_kind(site->frame_size);
        reading->aspect_present = true;
        reading->aspect.code = dv_display_code(bytes[1]);
        reading->aspect.sar = sar_of_shape_exact(frame.width, frame.height, reading->aspect.code);
        reading->keyed = frame.width != 0;
        reading->width = frame.width;
        reading->height = frame.height;
        reading->form = site->frame_size;
        return true;
    }
    }
    return false;
}

bool site_other_video(const SiteReading* reference, const SiteReading* reading) {
    if (!reading->keyed || !reference->keyed) return false;
    return reading->id != reference->id || reading->width != reference->width ||
           reading->height != reference->height || reading->form != reference->form;
}

AspectEdit site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                     uint32_t* count) {
    *count = 0;
    switch (site->kind) {
    case site_sequence_header: {
        uint8_t code = static_cast<uint8_t>(target.code & 0x0F);
        if ((bytes[0] >> 4) == code) return aspect_edit_same;
        changes[(*count)++] = {0, static_cast<uint8_t>((bytes[0] & 0x0F) | (code << 4))};
        return aspect_edit_changed;
    }
    case site_dvd_attributes: {
        uint8_t value = 0;
        AspectEdit edit = dvd_attributes_edit(bytes[0], target.code, &value);
        if (edit == aspect_edit_changed) changes[(*count)++] = {0, value};
        return edit;
    }
    case site_parameter_set:
        // Bytes past those kept could change their escaping unseen.
        if (site->cut) return aspect_edit_escaping;
        return sps_aspect_edit(site->codec, bytes, site->length, target.sar, changes, count);
    case site_display_size:
        return display_size_edit(bytes, site->picture_width, site->picture_height, target.sar, changes, count);
    case site_pixel_aspect:
        return pixel_aspect_edit(bytes, target.sar, changes, count);
    case site_display_elements: {
        DisplayFrame frame = frame_of(site, bytes);
        return display_elements_edit(&frame, target.sar, changes, count);
    }
    case site_frame_header: {
        // Only read: it holds the target already, or it stands in the way.
        SarRatio sar = frame_header_sar(site->frame_codec, bytes, site->length);
        if (sar.width == 0) return aspect_edit_no_place;
        return sar_same(sar, target.sar) ? aspect_edit_same : aspect_edit_fixed;
    }
    case site_frame_aspect: {
        FrameAspectPlace place = place_of(site, bytes);
        return frame_aspect_edit(&place, target.sar, changes, count);
    }
    case site_video_object_layer:
        return vol_aspect_edit(bytes, site->length, target.sar, changes, count);
    case site_dv_control:
        return dv_control_edit(bytes, target.code, changes, count);
    }
    return aspect_edit_unread;
}

uint32_t site_field(const AspectSite* site, uint32_t* indices) {
    uint32_t count = 1;
    switch (site->kind) {
    case site_parameter_set:
        if (site->cut || site->across_repeat) return 0;
        return sps_field_bytes(site->codec, site->bytes, site->length, indices);
    case site_display_size: count = display_width_bytes; break;
    case site_pixel_aspect: count = pixel_aspect_bytes; break;
    case site_display_elements:
    case site_frame_aspect: count = site->length; break;
    case site_frame_header: return 0;
    case site_video_object_layer:
        if (site->across_repeat) return 0;
        return vol_field_bytes(site->bytes, site->length, indices);
    case site_dv_control: indices[0] = 1; return 1;
    default: break;
    }
    for (uint32_t k = 0; k < count; ++k) indices[k] = k;
    return count;
}

bool site_display_values(const AspectSite* site, uint64_t* width, uint64_t* height) {
    DisplayFrame frame = frame_of(site, site->bytes);
    return display_elements_values(&frame, width, height);
}

bool site_frame_aspect_values(const AspectSite* site, uint32_t* x, uint32_t* y) {
    FrameAspectPlace place = place_of(site, site->bytes);
    return frame_aspect_values(&place, x, y);
}

const char* site_holder_name(SiteHolder holder, VideoCodec codec) {
    switch (holder) {
    case holder_stream: return nullptr;
    case holder_track_header: return "tkhd";
    case holder_pixel_aspect: return "pasp";
    case holder_clean_aperture: return "clef";
    case holder_production_aperture: return "prof";
    case holder_decoder_config: return codec == codec_avc ? "avcC" : codec == codec_hevc ? "hvcC" : "esds";
    case holder_video_element: return "Video";
    case holder_codec_private: return "CodecPrivate";
    case holder_frame: return "frame";
    case holder_avi_vprp: return "vprp";
    case holder_dvinfo: return "DVINFO";
    case holder_avi_strf: return "strf";
    case holder_mov_glbl: return "glbl";
    }
    return nullptr;
}
