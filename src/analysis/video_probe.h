// The first sequence header of a video stream, found in its payload as the
// payload goes by, whatever packets it is split across, and what follows
// it: an extension start code (MPEG-2 video) or another start code (MPEG-1).
#pragma once
#include <cstdint>

inline constexpr uint32_t sequence_header_bytes = 12;  // start code and 8 bytes

struct VideoHeaderProbe {
    uint32_t window;  // the last four bytes fed
    uint32_t have;    // bytes of the header collected: 0 while searching, then 4 to 12
    uint8_t header[sequence_header_bytes];
    int64_t code_pos;   // file position of its 0xB3 byte
    int64_t byte7_pos;  // file position of its byte 7
    int8_t extension;   // -1 not known yet, 0 no, 1 yes
};

void video_probe_init(VideoHeaderProbe* probe);
// Feeds payload bytes[0, n); bytes[0] lies at file position pos.
void video_probe_feed(VideoHeaderProbe* probe, const uint8_t* bytes, uint32_t n, int64_t pos);
// A break in the payload (a lost packet): nothing is put together across it.
void video_probe_gap(VideoHeaderProbe* probe);

inline bool video_probe_found(const VideoHeaderProbe* probe) {
    return probe->have == sequence_header_bytes;
}
// Found, and the start code after it seen: nothing more to learn.
inline bool video_probe_settled(const VideoHeaderProbe* probe) {
    return probe->extension >= 0;
}
