#include "codecs/site_scan.h"

#include "codecs/clip_aspect.h"
#include "codecs/dvd_attributes.h"
#include "codecs/mpeg_video.h"

namespace {

typedef AspectSite (*ByteSiteMake)(const uint8_t* byte, const int64_t* pos, const PayloadRange* range);

// Each byte of the payload is one site: a DVD's attributes byte, a clip
// information file's aspect bytes, which their formats hand over alone.
int32_t byte_sites_scan(ByteSiteMake make, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                        uint32_t count, SiteHandler on_site, void* context) {
    for (uint32_t k = 0; k < count; ++k) {
        for (uint32_t i = ranges[k].first; i < ranges[k].end; ++i) {
            int64_t pos = buffer_pos + i;
            uint8_t byte = buffer[i];  // read once: the buffer may be a view of the file
            AspectSite site = make(&byte, &pos, &ranges[k]);
            int32_t result = on_site(context, &site);
            if (result != 0) return result;
        }
    }
    return 0;
}

}  // namespace

void site_scanner_init(SiteScanner* scanner, VideoCodec codec, const uint8_t* reference) {
    scanner->codec = codec;
    if (codec == codec_mpeg) header_scanner_init(&scanner->headers, reference);
    if (codec_has_escaped_units(codec)) sps_scanner_init(&scanner->sets, codec);
    if (codec == codec_mpeg4) vol_scanner_init(&scanner->vols);
    if (codec == codec_dv) dv_scanner_init(&scanner->dv);
    if (codec == codec_h263) h263_scanner_init(&scanner->pictures);
}

int32_t site_scan(SiteScanner* scanner, const uint8_t* buffer, int64_t buffer_pos,
                  const PayloadRange* ranges, uint32_t count, SiteHandler on_site, void* context) {
    switch (scanner->codec) {
    case codec_mpeg:
        return header_scan(&scanner->headers, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_avc:
    case codec_hevc:
    case codec_vc1:
        return sps_scan(&scanner->sets, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_mpeg4:
        return vol_scan(&scanner->vols, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_dvd_attributes:
        return byte_sites_scan(site_dvd_attributes_make, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_clip_info:
        return byte_sites_scan(site_clip_aspect_make, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_dv:
        return dv_scan(&scanner->dv, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_h263:
        return h263_scan(&scanner->pictures, buffer, buffer_pos, ranges, count, on_site, context);
    case codec_container:  // its container hands its places itself
        return 0;
    }
    return 0;
}

PayloadSearch site_scan_search(const SiteScanner* scanner) {
    if (scanner->codec == codec_mpeg) return {header_code_find, sequence_header_code & 0xFF};
    return {nullptr, 0};
}

int32_t site_scan_finish(SiteScanner* scanner, SiteHandler on_site, void* context) {
    if (scanner->codec == codec_mpeg4) return vol_scan_finish(&scanner->vols, on_site, context);
    if (scanner->codec == codec_h263) return h263_scan_finish(&scanner->pictures, on_site, context);
    bool sets = codec_has_escaped_units(scanner->codec);
    return sets ? sps_scan_finish(&scanner->sets, on_site, context) : 0;
}

uint32_t site_scan_false_headers(const SiteScanner* scanner) {
    return scanner->codec == codec_mpeg ? scanner->headers.false_headers : 0;
}

const DvFrameTally* site_scan_frames(const SiteScanner* scanner) {
    return scanner->codec == codec_dv ? &scanner->dv.tally : nullptr;
}
