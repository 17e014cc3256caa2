// The match test over the bytes the engine walks: finds every byte 7 of a
// sequence header whose first eight bytes, the aspect nibble aside, equal
// those of the reference header.
#pragma once
#include <cstdint>

// The last eight bytes fed, byte 0 of the window in the most significant
// place. A byte 7 that follows the reference's first seven bytes is kept
// reduced to its low nibble for as long as it stays in the window.
typedef uint64_t MatchWindow;

// Moves the window's bytes 1 to 7 down to 0 to 6, making room for the next.
inline void shift_window(MatchWindow* window) {
    *window <<= 8;
}

// A run of payload bytes in a buffer, handed over with the runs that follow
// it in the same buffer: a chunk of an elementary stream, the payload of a
// program stream packet or of a transport stream packet.
struct PayloadRange {
    uint32_t first;  // buffer[first, end)
    uint32_t end;
    uint8_t breaks;        // payload_gap, payload_repeat
    int64_t unit_pos;      // file position of the chunk or packet that holds the run
    int64_t progress_pos;  // how far the walk has come when a header lies in it
};

// The payload broke off before the run (a lost or damaged packet): no
// header is put together across the break.
inline constexpr uint8_t payload_gap = 1;
// The run repeats the one before it (a transport packet sent twice): it is
// read from the state before that one, so that both copies read alike.
inline constexpr uint8_t payload_repeat = 2;

struct HeaderScanner {
    uint64_t pattern7;     // bytes 0-6 of the reference header
    uint8_t pattern_rate;  // its byte 7 reduced to the frame_rate_code
    MatchWindow window;    // carries over from one range to the next
    uint8_t captured;      // the unreduced byte 7 of the latest 7-byte match
    MatchWindow window_before;  // the state before the latest range, for a repeat
    uint8_t captured_before;
    const PayloadRange* range;  // the range a match lies in
};

// Called at each match with the index of the matched byte in the buffer; a
// non-zero result stops the scan and is returned by it.
typedef int32_t (*MatchHandler)(void* context, uint32_t index);

// The reference is the 8 bytes of the first sequence header.
void header_scanner_init(HeaderScanner* scanner, const uint8_t* reference);

// Feeds the ranges of the buffer, in order, as if byte by byte through the
// window, but tests only where a header can end: four bytes after a 0xB3.
// One search for 0xB3 bytes runs on over all the ranges, so that many short
// ranges cost no more than one long one.
int32_t header_scan(HeaderScanner* scanner, const uint8_t* buffer, const PayloadRange* ranges,
                    uint32_t count, MatchHandler on_match, void* context);
