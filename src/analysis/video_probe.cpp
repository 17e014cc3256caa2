#include "analysis/video_probe.h"

#include "analysis/ps_demux.h"

namespace {

// No bytes fed yet: ones, so that no start code is seen before three bytes
// of the payload make one.
constexpr uint32_t window_empty = 0xFFFFFFFFu;
constexpr uint8_t extension_code = 0xB5;

}  // namespace

void video_probe_init(VideoHeaderProbe* probe) {
    *probe = VideoHeaderProbe{window_empty, 0, {}, -1, -1, -1};
}

void video_probe_feed(VideoHeaderProbe* probe, const uint8_t* bytes, uint32_t n, int64_t pos) {
    VideoHeaderProbe& p = *probe;
    for (uint32_t i = 0; i < n && p.extension < 0; ++i) {
        uint8_t b = bytes[i];
        if (p.have > 0 && p.have < sequence_header_bytes) {
            if (p.have == 7) p.byte7_pos = pos + i;
            p.header[p.have++] = b;
            continue;
        }
        p.window = (p.window << 8) | b;
        if (p.have == 0 && p.window == sequence_header_code) {
            p.header[0] = 0;
            p.header[1] = 0;
            p.header[2] = 1;
            p.header[3] = b;
            p.have = 4;
            p.code_pos = pos + i;
            p.window = window_empty;
        } else if (p.have == sequence_header_bytes && (p.window >> 8) == 1) {
            p.extension = b == extension_code ? 1 : 0;
        }
    }
}

void video_probe_gap(VideoHeaderProbe* probe) {
    probe->window = window_empty;
    if (!video_probe_found(probe)) probe->have = 0;
}
