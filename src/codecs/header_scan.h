// The match test over the bytes the engine walks: finds every byte 7 of a
// sequence header whose first eight bytes, the aspect nibble aside, equal
// those of the reference header.
#pragma once
#include <cstdint>

#include "codecs/payload.h"
#include "codecs/site.h"

// The last eight bytes fed, byte 0 of the window in the most significant
// place. A byte 7 that follows the reference's first seven bytes is kept
// reduced to its low nibble for as long as it stays in the window.
typedef uint64_t MatchWindow;

// Moves the window's bytes 1 to 7 down to 0 to 6, making room for the next.
inline void shift_window(MatchWindow* window) {
    *window <<= 8;
}

struct HeaderScanner {
    uint64_t pattern7;     // bytes 0-6 of the reference header
    uint8_t pattern_rate;  // its byte 7 reduced to the frame_rate_code
    MatchWindow window;    // carries over from one range to the next
    uint8_t captured;      // the unreduced byte 7 of the latest 7-byte match
    MatchWindow window_before;  // the state before the latest range, for a repeat
    uint8_t captured_before;
    // Matches whose marker bit after the bit rate is 0: no sequence header,
    // though its first bytes are the reference's; left alone.
    uint32_t false_headers;
    const PayloadRange* range;  // the range a match lies in
    const uint8_t* buffer;      // the buffer being scanned
    int64_t buffer_pos;         // and the file position of its first byte
};

// The reference is the 8 bytes of the first sequence header.
void header_scanner_init(HeaderScanner* scanner, const uint8_t* reference);

// Feeds the ranges of the buffer, in order, as if byte by byte through the
// window, but tests only where a header can end: four bytes after a 0xB3.
// One search for 0xB3 bytes runs on over all the ranges, so that many short
// ranges cost no more than one long one. Each match is handed over as the
// site of its byte 7; buffer[0] lies at file position buffer_pos.
int32_t header_scan(HeaderScanner* scanner, const uint8_t* buffer, int64_t buffer_pos,
                    const PayloadRange* ranges, uint32_t count, SiteHandler on_site, void* context);

// Index in [from, to) of the first 0xB3 right after a 0x01, as a start
// code's, or `to`; bytes[from - 1] must be readable.
uint32_t header_code_find(const uint8_t* bytes, uint32_t from, uint32_t to);

// Byte 7 of a sequence header, with the record a listing shows of it: its
// bytes 4 to 7 as the match window held them, then the four bytes of the
// buffer that end at byte 7 (zero before its unit).
AspectSite site_sequence_header_make(const uint8_t* byte7, const int64_t* pos, const PayloadRange* range,
                                     const uint8_t* list_record);
// A sequence header's aspect nibble: its code, changed alone.
extern const PlaceOps sequence_header_places;
