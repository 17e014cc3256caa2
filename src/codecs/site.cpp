#include "codecs/site.h"

#include "codecs/display_elements.h"
#include "codecs/display_fields.h"
#include "codecs/dvd_attributes.h"
#include "codecs/sps.h"

namespace {

DisplayFrame frame_of(const AspectSite* site, const uint8_t* bytes) {
    return {bytes, site->length, site->size_fields, site->size_lengths, site->picture_width, site->picture_height,
            site->display_unit, site->growth_checksummed};
}

}  // namespace

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
        reading->id = info.sps_id;
        reading->width = info.width;
        reading->height = info.height;
        return true;
    }
    case site_display_size:
        reading->aspect_present = true;
        return display_size_read(bytes, site->picture_width, site->picture_height, &reading->aspect.sar);
    case site_pixel_aspect:
        reading->aspect_present = true;
        return pixel_aspect_read(bytes, &reading->aspect.sar);
    case site_display_elements: {
        DisplayFrame frame = frame_of(site, bytes);
        reading->aspect_present = true;
        return display_elements_read(&frame, &reading->aspect.sar);
    }
    }
    return false;
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
    case site_display_elements: count = site->length; break;
    default: break;
    }
    for (uint32_t k = 0; k < count; ++k) indices[k] = k;
    return count;
}

bool site_display_values(const AspectSite* site, uint64_t* width, uint64_t* height) {
    DisplayFrame frame = frame_of(site, site->bytes);
    return display_elements_values(&frame, width, height);
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
    }
    return nullptr;
}
