// Forward reads of a walk through one block, so that a 2 KB pack or a
// 188-byte packet costs no read of its own. Every read is held to what the
// file held at open: one that delivers less is an error, never an early end.
// A walk over a window already in memory (the analysis's head window) goes
// through the same calls, which then read nothing.
//
// Each read puts a piece of the file into the same place of one buffer,
// small enough that the scan finds it still in the processor's cache: a
// thread that read the next piece ahead, into memory the scan's processor
// then had to fetch it from, cost more than the read. A fetch that runs
// past the block moves the bytes it still needs, at most one fetch's worth,
// in front of the next piece.
#pragma once
#include <cstdint>

#include "fileio/fileio.h"

struct BlockReader {
    FileHandleRec* file;  // null for a window in memory
    int64_t size;         // where the walk ends: the file's size, or the window's
    uint8_t* buffer;    // room for kept bytes, then the piece
    uint8_t* block;     // the byte at base
    int64_t base;       // file position of block[0]
    uint32_t length;    // bytes of the block holding file data
    int64_t prefetched;  // sparse reads: the end of what the system was asked to read ahead
    // A walk straight through the file reads it through views, where the
    // system maps them, and the block is the view; never a container's,
    // whose walks skip from sample to sample.
    bool viewing;
    FileView view;
    // The read that came up short: where it began, what it asked, what it got.
    int64_t failed_at;
    uint32_t failed_want;
    uint32_t failed_got;
    // The container's unit (a box, an element, a chunk) last found damaged:
    // a head that does not read, or a size that runs past what holds it.
    int64_t broken_at;
};

// One read's piece: with the kept bytes it stays in the processor's cache
// until the scan has passed it (256 KiB pieces in two buffers that took
// turns did not, and a listing took a quarter longer).
// The kernel's read-ahead keeps a disk busy while the walk scans.
inline constexpr uint32_t reader_piece_size = 0x20000;
// The most one fetch may ask for: a whole program stream packet and the
// start code after it.
inline constexpr uint32_t reader_fetch_most = 0x10006 + 4;
// In front of the piece: room for what a fetch still needs of the last
// piece, from the start of its page.
inline constexpr uint32_t reader_keep_room = 0x12000;
inline constexpr uint32_t reader_buffer_size = reader_keep_room + reader_piece_size;

// The buffer holds reader_buffer_size bytes, page-aligned.
void reader_init(BlockReader* reader, FileHandleRec* file, uint8_t* buffer);
// The bytes of a window, as if they were the whole file.
void reader_init_window(BlockReader* reader, const uint8_t* window, uint32_t length);

// Holds the walk's reads from here on to [start, end) of the file, as if
// that stretch were all of it (a file inside a disc image): what the block
// held is dropped, so that no read takes a byte past the end.
void reader_window_set(BlockReader* reader, int64_t start, int64_t end);

// From here on the reader's walk sees the file through views (a few MiB
// at a time, in place: no copy, and no read of its own for each piece),
// where the system maps them; reads serve wherever it does not.
void reader_views_begin(BlockReader* reader);
// 0 while every byte seen through a view was the file's; else
// result_read_error, the view's fault noted as a read that came up short.
// What a walk decides on bytes it saw (a change to make) waits for this.
int32_t reader_view_check(BlockReader* reader);
// Ends the views: the walk's result, unless a view saw bytes the file no
// longer held, which makes it a read that came up short there.
int32_t reader_views_end(BlockReader* reader, int32_t result);

// Reads into the block so that it holds `want` bytes at pos, or all that the
// file has from there; the two fetches below call it only when it must.
int32_t reader_refill(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                      uint32_t* available);

// Makes up to `want` (at most reader_fetch_most) bytes at pos available in
// *bytes; *available is how many there are, fewer only at the end of the
// file. Returns 0, or result_read_error when a read came up short.
inline int32_t reader_fetch(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                            uint32_t* available) {
    int64_t end = reader->base + reader->length;
    if (pos >= reader->base && pos + want <= end) {
        *bytes = reader->block + (pos - reader->base);
        *available = want;
        return 0;
    }
    return reader_refill(reader, pos, want, bytes, available);
}

// As reader_fetch, but takes what the block holds from pos on (at least one
// byte, up to `most`) and reads only when it holds nothing there: a walk
// that reads straight on never moves bytes within the block.
inline int32_t reader_fetch_some(BlockReader* reader, int64_t pos, uint32_t most,
                                 const uint8_t** bytes, uint32_t* available) {
    int64_t end = reader->base + reader->length;
    if (pos >= reader->base && pos < end) {
        int64_t left = end - pos;
        *available = left < most ? static_cast<uint32_t>(left) : most;
        *bytes = reader->block + (pos - reader->base);
        return 0;
    }
    return reader_refill(reader, pos, most < reader_fetch_most ? most : reader_fetch_most, bytes,
                         available);
}
// As reader_fetch, for a walk that skips through the file (the head of one
// sample, then the next's): a read it needs takes the bytes asked for, and
// a few hundred at the least, not a whole piece. Where the bytes are not
// in the system's cache, it asks for the next few MiB to be read ahead.
int32_t reader_fetch_sparse(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                            uint32_t* available);
// A sparse fetch of all `want` bytes: false where the read fails (*result
// set) or the file ends before them (*result 0).
inline bool reader_fetch_whole(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                               int32_t* result) {
    uint32_t got = 0;
    *result = reader_fetch_sparse(reader, pos, want, bytes, &got);
    return *result == 0 && got == want;
}
// The same for a walk whose heads lie a few KiB apart (DV's sequences, 12
// or 15 a frame): a read takes a whole piece, and the heads after the one
// it was for come from it.
int32_t reader_fetch_dense(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                           uint32_t* available);

// A container's header at pos (a box's, an element's, a chunk's) fetched
// through the sparse reads and handed to `parse` (bytes, how many came);
// `broken` where the read fails, with *result set. A header that parses
// as broken is noted as the damage.
template <typename Found, typename Parse>
Found reader_header_read(BlockReader* reader, int64_t pos, uint32_t most, Found broken, int32_t* result,
                         Parse parse) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    *result = reader_fetch_sparse(reader, pos, most, &bytes, &available);
    if (*result != 0) return broken;
    Found found = parse(bytes, available);
    if (found == broken) reader->broken_at = pos;
    return found;
}

// Notes the unit at `at` as the damage that the result `broken` reports
// (a table that runs past its box, an element of unknown size where one
// must have a size); returns it.
inline int32_t reader_broken(BlockReader* reader, int64_t at, int32_t broken) {
    reader->broken_at = at;
    return broken;
}

// Notes a read at `at` that delivered `got` of `want` bytes; returns
// result_read_error.
int32_t reader_read_failed(BlockReader* reader, int64_t at, uint32_t want, uint32_t got);
