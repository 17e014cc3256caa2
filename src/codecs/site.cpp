#include "codecs/site.h"

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

AspectSite site_pictured(SiteKind kind, SiteHolder holder, VideoCodec codec, const uint8_t* bytes,
                         const int64_t* pos, uint32_t length, const PayloadRange* range, uint32_t picture_width,
                         uint32_t picture_height) {
    AspectSite site = site_base(kind, holder, codec, bytes, pos, length, range);
    site.picture_width = picture_width;
    site.picture_height = picture_height;
    return site;
}

uint32_t site_field_first(uint32_t count, uint32_t* indices) {
    for (uint32_t k = 0; k < count; ++k) indices[k] = k;
    return count;
}

uint32_t site_field_whole(const AspectSite* site, uint32_t* indices) {
    return site_field_first(site->length, indices);
}

bool site_other_video(const SiteReading* reference, const SiteReading* reading) {
    if (!reading->keyed || !reference->keyed) return false;
    return reading->id != reference->id || reading->width != reference->width ||
           reading->height != reference->height || reading->form != reference->form;
}

const char* site_holder_name(SiteHolder holder) {
    switch (holder) {
    case holder_stream: return nullptr;
    case holder_track_header: return "tkhd";
    case holder_pixel_aspect: return "pasp";
    case holder_clean_aperture: return "clef";
    case holder_production_aperture: return "prof";
    case holder_avcc: return "avcC";
    case holder_hvcc: return "hvcC";
    case holder_esds: return "esds";
    case holder_video_element: return "Video";
    case holder_codec_private: return "CodecPrivate";
    case holder_frame: return "frame";
    case holder_avi_vprp: return "vprp";
    case holder_theora_header: return "theora";
    case holder_vp8_header: return "OVP80";
    case holder_asf_stream: return "StreamProperties";
    case holder_dvinfo: return "DVINFO";
    case holder_avi_strf: return "strf";
    case holder_mov_glbl: return "glbl";
    case holder_asf_metadata: return "Metadata";
    case holder_asf_library: return "MetadataLibrary";
    case holder_asf_content: return "ExtendedContentDescription";
    case holder_asf_padding: return "Padding";
    case holder_asf_header: return "HeaderExtension";
    case holder_mxf_descriptor: return "Descriptor";
    }
    return nullptr;
}
