#include "formats/format.h"

#include "codecs/framing.h"
#include "codecs/h263_picture.h"
#include "codecs/mpeg_video.h"
#include "codecs/sps.h"
#include "codecs/vc1_sequence.h"
#include "formats/asf.h"
#include "formats/avi.h"
#include "formats/flv.h"
#include "formats/iso_media.h"
#include "formats/matroska.h"
#include "formats/mxf.h"
#include "formats/ogg.h"
#include "formats/ps_units.h"

namespace {

// A container is known by its head alone; its video is found by its look.
template <bool (*opens)(const uint8_t*, uint32_t), StreamKind kind>
bool container_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    if (!opens(head, length)) return false;
    *layout = {kind, {0, 0}, codec_mpeg};
    return true;
}

// In the order a file is judged.
const Format formats[] = {
    // A disc's file system first: an image holds streams of every kind,
    // and is never walked as one.
    {stream_dvd_image, false, false, dvd_image_probe, nullptr, dvd_image_walk, nullptr, nullptr, nullptr, nullptr},
    {stream_transport, false, false, transport_probe, transport_clocks, transport_walk, nullptr,
     transport_stream_find, transport_stream_seek, nullptr},
    // Before the kinds that open with a start code: a box of 64-bit size
    // opens with 00 00 00 01.
    {stream_iso_media, false, false, container_probe<iso_media_opens, stream_iso_media>, nullptr, iso_media_walk, iso_media_look, nullptr, nullptr,
     nullptr},
    {stream_matroska, false, false, container_probe<matroska_opens, stream_matroska>, nullptr, matroska_walk, matroska_look, nullptr, nullptr,
     nullptr},
    {stream_avi, false, false, container_probe<avi_opens, stream_avi>, nullptr, avi_walk, avi_look, nullptr, nullptr, nullptr},
    {stream_asf, false, false, container_probe<asf_opens, stream_asf>, nullptr, asf_walk, asf_look, nullptr, nullptr, nullptr},
    {stream_mxf, false, false, container_probe<mxf_opens, stream_mxf>, nullptr, mxf_walk, mxf_look, nullptr, nullptr, nullptr},
    // Its tags' timestamps give the playing time, which its look reads.
    {stream_flv, false, false, container_probe<flv_opens, stream_flv>, nullptr, flv_walk, flv_look, nullptr, nullptr, nullptr},
    {stream_ogg, false, false, container_probe<ogg_opens, stream_ogg>, nullptr, ogg_walk, ogg_look, nullptr, nullptr, nullptr},
    // Before the streams that are judged by start codes anywhere in their
    // head, which DV's compressed pictures may hold by chance.
    {stream_dv, false, false, dv_probe, dv_clocks, dv_walk, nullptr, nullptr, nullptr, nullptr},
    // A stream with program stream packs joined after it (a recording
    // restarted into the same file) takes its playing time from them.
    {stream_elementary, false, true, nal_elementary_probe, program_clocks, elementary_walk, nullptr, nullptr,
     nullptr, nullptr},
    {stream_elementary, false, true, h263_elementary_probe, program_clocks, elementary_walk, nullptr, nullptr, nullptr,
     nullptr},
    {stream_elementary, false, true, vc1_elementary_probe, program_clocks, elementary_walk, nullptr, nullptr, nullptr,
     nullptr},
    {stream_elementary, false, true, elementary_probe, program_clocks, elementary_walk, nullptr, nullptr, nullptr,
     nullptr},
    {stream_program, false, false, program_probe, program_clocks, program_walk, nullptr, nullptr, nullptr, nullptr},
    {stream_dvd_ifo, true, false, dvd_ifo_probe, nullptr, dvd_ifo_walk, nullptr, nullptr, nullptr,
     dvd_ifo_head_site},
    {stream_clip_info, true, false, clip_info_probe, nullptr, clip_info_walk, nullptr, nullptr, nullptr,
     clip_info_head_site},
};

// Whether the bytes hold an MPEG sequence header's start code, which no
// H.264 or HEVC stream can hold (its byte after 00 00 01 would have the
// forbidden bit set).
bool sequence_code_in(const uint8_t* bytes, uint32_t length) {
    uint32_t window = code_window_empty;
    code_window_seek(&window, bytes, length, sequence_header_code);
    return window == sequence_header_code;
}

}  // namespace

// A video stream's first start code is one of the video layer's, below
// those of the system layer.
bool elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    uint32_t code = 0;
    if (!start_code_opens(head, length, &code) || code >= length || head[code] >= stream_id_program_end) return false;
    *layout = {stream_elementary, {0, 0}, codec_mpeg};
    return true;
}

bool nal_elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    if (sequence_code_in(head, length)) return false;
    VideoCodec codec = nal_codec_detect(head, length);
    if (codec == codec_mpeg) return false;
    *layout = {stream_elementary, {0, 0}, codec};
    return true;
}

// H.263 opens with a picture start code (00 00 and 1000 00xx, which no
// MPEG start code is), after any zero bytes, whose header names its format.
bool h263_elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    uint32_t zeros = first_nonzero(head, length);
    H263Picture picture;
    if (zeros < 2 || zeros >= length || !h263_picture_read(head + zeros, length - zeros, &picture)) return false;
    *layout = {stream_elementary, {0, 0}, codec_h263};
    return true;
}

// VC-1's advanced profile opens with its sequence header (start code
// suffix 0x0F, which MPEG video would take for a slice), after any zero
// bytes, and the header reads as one.
bool vc1_elementary_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    uint32_t code = 0;
    if (!start_code_opens(head, length, &code) || code >= length || head[code] != vc1_sequence_code) return false;
    Vc1Sequence sequence;
    if (!vc1_sequence_read(head + code, nal_unit_length(head, code, length), &sequence)) return false;
    *layout = {stream_elementary, {0, 0}, codec_vc1};
    return true;
}

bool program_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    uint32_t code = 0;
    if (!start_code_opens(head, length, &code)) return false;
    *layout = {stream_program, {0, 0}, codec_mpeg};
    return true;
}

bool transport_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    TsLayout ts = {0, 0};
    if (!ts_layout_detect(head, length, &ts)) return false;
    *layout = {stream_transport, ts, codec_mpeg};
    return true;
}

StreamLayout stream_layout_detect(const uint8_t* head, uint32_t length) {
    StreamLayout layout = {stream_not_mpeg, {0, 0}, codec_mpeg};
    for (const Format& f : formats) {
        if (!f.named_only && f.probe(head, length, &layout)) return layout;
    }
    return {stream_not_mpeg, {0, 0}, codec_mpeg};
}

StreamLayout stream_layout_named(StreamKind kind, const uint8_t* head, uint32_t length) {
    StreamLayout layout = {stream_not_mpeg, {0, 0}, codec_mpeg};
    const Format* f = format_of(kind);
    return f != nullptr && f->probe(head, length, &layout) ? layout : StreamLayout{stream_not_mpeg, {0, 0}, codec_mpeg};
}

const Format* format_of(StreamKind kind) {
    for (const Format& f : formats) {
        if (f.kind == kind) return &f;
    }
    return nullptr;
}

const char* container_name_text(ContainerName name) {
    static const char* const names[] = {"MP4", "MOV", "MKV", "WebM", "AVI", "ASF", "MXF", "FLV", "Ogg"};
    static_assert(sizeof names / sizeof *names == container_ogg + 1, "a name for every container");
    return names[name];
}

bool format_is_container(StreamKind kind) {
    const Format* f = format_of(kind);
    return f != nullptr && f->look != nullptr;
}
