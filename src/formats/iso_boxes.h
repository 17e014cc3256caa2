// ISO base media files (MP4, MOV, 3GP) are boxes: a 32-bit size and a
// four-character type, the size 1 followed by a 64-bit size, the size 0
// reaching to the end of what holds the box. Boxes hold boxes.
#pragma once
#include <cstdint>

#include "formats/reader.h"

inline constexpr uint32_t box_type(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 | static_cast<uint8_t>(name[3]);
}

struct IsoBox {
    uint32_t type;
    int64_t start;  // its size field
    int64_t body;   // after its header
    int64_t end;
};

// What the reading of a box header found.
enum BoxRead {
    box_found,
    box_none,    // the parent ends here
    box_broken,  // a size below its header's, or one that runs past the parent
};

// The header of the box at pos, in a parent whose bytes end at parent_end,
// from bytes that hold at least the 16 bytes at pos or the rest of the
// parent.
BoxRead box_header_parse(const uint8_t* bytes, uint32_t available, int64_t pos, int64_t parent_end, IsoBox* box);

// The same through the reader: 0 or a read's failure in *result.
BoxRead box_read(BlockReader* reader, int64_t pos, int64_t parent_end, IsoBox* box, int32_t* result);

// The first child box of the type among those of parent from `from` on;
// box_none when there is none, box_broken when a child's size is.
BoxRead box_child_find(BlockReader* reader, const IsoBox* parent, int64_t from, uint32_t type, IsoBox* child,
                       int32_t* result);

// Big-endian numbers of a box's fields.
uint32_t be16_at(const uint8_t* bytes);
uint64_t be64_at(const uint8_t* bytes);
