// The MPEG-2 transport stream, packet by packet: layouts of 188, 192 and
// 204 bytes a packet, the packet header, the clock references, and where a
// reader is in the video PID's packets.
#pragma once
#include <cstdint>

inline constexpr uint32_t ts_packet_size = 188;
inline constexpr uint8_t ts_sync_byte = 0x47;
inline constexpr uint16_t ts_pid_pat = 0x0000;
inline constexpr uint16_t ts_pid_none = 0x1FFF;
// Sync bytes in a row that make a file a transport stream (fewer where the
// file ends first, two at the least), and that find the packets again
// after damage.
inline constexpr uint32_t ts_detect_run = 8;
inline constexpr uint32_t ts_resync_run = 5;

// Packets of 188 bytes, each sync byte `stride` bytes after the last: 188
// plain, 192 with a 4-byte time stamp before each packet (.m2ts), 204 with
// 16 bytes of Reed-Solomon parity after it.
struct TsLayout {
    uint32_t stride;
    uint32_t first_sync;  // file offset of the first sync byte
};

// The first offset in [from, length) where sync bytes stand `stride` apart
// `run` times (fewer where the bytes end first) with a whole packet at the
// offset; -1 when there is none.
int64_t ts_sync_find(const uint8_t* bytes, uint32_t length, uint32_t from, uint32_t stride,
                     uint32_t run);
// Whether the bytes open a transport stream, and its layout. A stream cut
// in mid-packet is found from the first whole packet.
bool ts_layout_detect(const uint8_t* bytes, uint32_t length, TsLayout* layout);
// The packet at *pos, or after damage the next place where packets follow
// one another again; *pos is moved there. Null when no whole packet is left.
const uint8_t* ts_packet_next(const uint8_t* bytes, uint32_t length, uint32_t stride,
                              uint32_t* pos);

inline uint16_t ts_pid(const uint8_t* p) {
    return static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
}
inline bool ts_transport_error(const uint8_t* p) {
    return (p[1] & 0x80) != 0;
}
inline bool ts_unit_start(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}
inline bool ts_scrambled(const uint8_t* p) {
    return (p[3] & 0xC0) != 0;
}
inline uint8_t ts_continuity(const uint8_t* p) {
    return p[3] & 0x0F;
}
// Offset of the payload in the packet; 188 when it carries none (or its
// adaptation field claims more than the packet holds).
inline uint32_t ts_payload_offset(const uint8_t* p) {
    if ((p[3] & 0x10) == 0) return ts_packet_size;
    if ((p[3] & 0x20) == 0) return 4;
    uint32_t offset = 5u + p[4];
    return offset < ts_packet_size ? offset : ts_packet_size;
}
// The low 32 bits of the program clock reference base, when the packet's
// adaptation field carries one.
bool ts_pcr(const uint8_t* p, uint32_t* pcr);
// Offset in the packet of the video bytes of a payload unit start: past
// the PES header. 188 when the payload is no video PES packet.
uint32_t ts_video_pes_payload(const uint8_t* p);

// Where a reader is in the video PID's packets, the walk over a file and
// the analysis of a window alike.
struct TsVideoTrack {
    uint16_t pid;
    int last_continuity;  // -1 when the next packet follows nothing
    // The first four bytes of the packet that most video packets are: the
    // next of the video PID, all payload, no unit start, nothing amiss.
    uint32_t plain_next;
};

// How a packet of the video PID stands to the one before it.
inline constexpr uint8_t ts_step_loss = 1;    // packets between were lost or unreadable
inline constexpr uint8_t ts_step_repeat = 2;  // it repeats the one before (same counter)

void ts_track_init(TsVideoTrack* track, uint16_t pid);
// Nothing before the next packet joins on: damage, or lost sync.
void ts_track_lose(TsVideoTrack* track);
// The common packet in one compare of its first four bytes (big-endian).
inline bool ts_track_plain(TsVideoTrack* track, uint32_t header) {
    if (header != track->plain_next) return false;
    track->last_continuity = static_cast<int>(header & 0x0F);
    track->plain_next = (header & ~0x0Fu) | ((header + 1) & 0x0F);
    return true;
}
// Steps over a packet of the video PID: *step gets ts_step_loss or
// ts_step_repeat or 0; returns the offset of its video bytes, or
// ts_packet_size when it has none (damaged or scrambled, which is a loss;
// adaptation field only, which leaves the counter; no video PES header:
// its PES packets have MPEG's video ids, or the extended id 0xFD that
// VC-1 has on Blu-ray discs).
uint32_t ts_track_step(TsVideoTrack* track, const uint8_t* p, uint8_t* step);
