// RIFF, the layout of AVI files: chunks, each a four-character code and a
// 32-bit little-endian size, then its data, padded to an even length. A
// RIFF or LIST chunk opens its data with a form type and holds chunks.
#pragma once
#include <cstdint>

#include "fileio/result.h"
#include "codecs/payload.h"
#include "formats/reader.h"

// A four-character code as it reads little-endian: its first character in
// the low byte.
inline constexpr uint32_t riff_code(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[3])) << 24;
}

inline constexpr uint32_t riff_head_bytes = 8;
inline constexpr uint32_t riff_list_head_bytes = 12;

struct RiffChunk {
    uint32_t code;
    uint32_t form;  // a RIFF or LIST chunk's form type, else 0
    int64_t start;
    int64_t body;   // after its head (and form type)
    int64_t end;    // of its data; the next chunk begins at the even position from here
    bool cut;       // its size ran past what holds it, which ends it instead
};

enum RiffRead {
    riff_found,
    riff_none,    // the parent ends here
    riff_broken,  // a size that runs past the parent
};

// The chunk at pos in a parent whose data end at parent_end. Where `open`
// (a parent that a file cut short ends), a chunk whose size runs past that
// end, or whose size is 0 (a capture stopped before it was written), is
// found ending there and cut; a head the end cuts is none.
RiffRead riff_read(BlockReader* reader, int64_t pos, int64_t parent_end, bool open, RiffChunk* chunk,
                   int32_t* result);
// Where the chunk after it begins.
inline int64_t riff_next(const RiffChunk* chunk) {
    return chunk->end + (chunk->end & 1);
}
// Whether the bytes open a RIFF file of the form.
bool riff_opens(const uint8_t* head, uint32_t length, uint32_t form);

// The chunks of a list, each handed to `take` until it says stop (a
// non-zero result, which is returned) or the list ends; result_chunk_broken
// for a chunk that does not fit it.
template <typename Take>
int32_t riff_children_each(BlockReader* reader, const RiffChunk* list, bool open, Take take) {
    RiffChunk child;
    int32_t result = 0;
    for (int64_t pos = list->body; pos < list->end; pos = riff_next(&child)) {
        RiffRead read = riff_read(reader, pos, list->end, open, &child, &result);
        if (result != 0) return result;
        if (read == riff_none) break;
        if (read == riff_broken) return result_chunk_broken;
        result = take(child);
        if (result != 0) return result;
    }
    return 0;
}
