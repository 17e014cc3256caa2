// The video's payload as a format hands it to a codec's scanner: runs of
// bytes in a buffer, with their file positions and what broke off before
// them.
#pragma once
#include <cstdint>

// A run of payload bytes in a buffer, handed over with the runs that follow
// it in the same buffer: a chunk of an elementary stream, the payload of a
// program stream packet or of a transport stream packet.
struct PayloadRange {
    uint32_t first;  // buffer[first, end)
    uint32_t end;
    uint8_t breaks;        // payload_gap, payload_repeat, payload_unit_end
    int64_t unit_pos;      // file position of the chunk or packet that holds the run
    int64_t progress_pos;  // how far the walk has come when a header lies in it
    // The size of the frame that holds the run, where the format knows the
    // video's own frames (DV's, whose size says their system and rate); 0
    // elsewhere.
    uint32_t unit_size = 0;
};

// The payload broke off before the run (a lost or damaged packet): no
// header is put together across the break.
inline constexpr uint8_t payload_gap = 1;
// The run repeats the one before it (a transport packet sent twice): it is
// read from the state before that one, so that both copies read alike.
inline constexpr uint8_t payload_repeat = 2;
// The run ends a unit that its container frames (a Matroska frame): a NAL
// unit still open ends with its last byte, as one ends at a start code.
inline constexpr uint8_t payload_unit_end = 4;

// Where in a walk's raw bytes (packet heads and other streams among them) a
// place of the video may begin: a walk that has the search passes over the
// payload that holds no such byte without handing it over, looking at its
// packet's head alone.
struct PayloadSearch {
    // Index in [from, to) of the first code byte that may close a place's
    // start code, judged with the byte before it (bytes[from - 1] must be
    // readable), or `to`. Null where the codec has no such search: its
    // payload is handed over whole.
    uint32_t (*find)(const uint8_t* bytes, uint32_t from, uint32_t to);
    // A payload that opens with this byte may close a start code whose
    // first bytes lie in the payload before it.
    uint8_t code;
};

inline uint32_t be32_at(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}
inline uint32_t be24_at(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 16 | static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
}
inline uint16_t le16_at(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
inline uint32_t le32_at(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
inline uint64_t le64_at(const uint8_t* bytes) {
    return le32_at(bytes) | uint64_t{le32_at(bytes + 4)} << 32;
}
