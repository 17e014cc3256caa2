// MPEG-1 and MPEG-2 video: what a sequence header says, and the first one
// of a stream found in its payload as the payload goes by, whatever packets
// it is split across, with what follows it: an extension start code (MPEG-2
// video) or another start code (MPEG-1), and the display size of a
// sequence_display_extension there.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"

// 00 00 01 B3, as four bytes read big-endian.
inline constexpr uint32_t sequence_header_code = 0x000001B3;
inline constexpr uint32_t sequence_header_bytes = 12;  // start code and 8 bytes

// What a sequence header says, from its 8 bytes after the start code.
struct SequenceHeaderFields {
    int32_t horizontal_size;
    int32_t vertical_size;
    uint8_t aspect_code;
    uint8_t frame_rate_code;
    uint32_t bit_rate_value;  // units of 400 bit/s
};
// Always 0.
int sequence_header_parse(SequenceHeaderFields* fields, const uint8_t* bytes);
// Whether the 8 bytes after a 00 00 01 B3 read as a sequence header: sizes
// not zero, a frame rate code other than the forbidden 0, and the marker
// bit after the bit rate set. MPEG-4 Part 2 uses the same start code for a
// group of VOPs, whose few bytes are followed by the next start code.
bool sequence_header_valid(const uint8_t* bytes);
// The marker bit after the bit rate: in the 7th of those 8 bytes.
inline constexpr uint32_t sequence_marker_index = 6;
inline constexpr uint8_t sequence_marker_bit = 0x20;

// An extension's bytes after its start code, as far as the display size of
// a sequence_display_extension with its colour description.
inline constexpr uint32_t extension_bytes_most = 8;

struct VideoHeaderProbe {
    uint32_t window;  // the last four bytes fed
    uint32_t have;    // bytes of the header collected: 0 while searching, then 4 to 12
    uint8_t header[sequence_header_bytes];
    int64_t code_pos;   // file position of its 0xB3 byte
    int64_t byte7_pos;  // file position of its byte 7
    int8_t extension;   // -1 not known yet, 0 no, 1 yes
    // The extension being read after the header, and the display size of
    // a sequence_display_extension: -1 not known yet, 0 none, 1 found.
    uint32_t extension_have;  // 0 when none is being read
    uint8_t extension_data[extension_bytes_most];
    int8_t display;
    uint16_t display_width;
    uint16_t display_height;
    // Before the first header: start codes that MPEG-1 and MPEG-2 reserve
    // and MPEG-4 Part 2 uses (its visual object sequence, 0xB0, and every
    // VOP, 0xB6): the stream is that codec's, and the search ends.
    bool part2;
};

void video_probe_init(VideoHeaderProbe* probe);
// The codec the probe found: MPEG-4 video where start codes that MPEG-1
// and MPEG-2 never use came before any sequence header, else MPEG video.
inline VideoCodec video_probe_codec(const VideoHeaderProbe* probe) {
    return probe->part2 ? codec_mpeg4 : codec_mpeg;
}
// Feeds payload bytes[0, n); bytes[0] lies at file position pos.
void video_probe_feed(VideoHeaderProbe* probe, const uint8_t* bytes, uint32_t n, int64_t pos);
// A break in the payload (a lost packet): nothing is put together across it.
void video_probe_gap(VideoHeaderProbe* probe);

inline bool video_probe_found(const VideoHeaderProbe* probe) {
    return probe->have == sequence_header_bytes;
}
// Found, and the start codes after it seen up to the next that is no
// extension: nothing more to learn.
inline bool video_probe_settled(const VideoHeaderProbe* probe) {
    return (probe->extension >= 0 && probe->display >= 0) || probe->part2;
}
