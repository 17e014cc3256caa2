#include "formats/iso_boxes.h"

#include "codecs/payload.h"

namespace {

constexpr uint32_t header_small = 8;
constexpr uint32_t header_large = 16;

}  // namespace

uint32_t be16_at(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
}

uint64_t be64_at(const uint8_t* bytes) {
    return static_cast<uint64_t>(be32_at(bytes)) << 32 | be32_at(bytes + 4);
}

BoxRead box_header_parse(const uint8_t* bytes, uint32_t available, int64_t pos, int64_t parent_end, IsoBox* box) {
    int64_t left = parent_end - pos;
    if (left <= 0) return box_none;
    // QuickTime ends some lists of boxes with four zero bytes.
    if (left < header_small) return available >= left && be32_at(bytes) == 0 && left == 4 ? box_none : box_broken;
    if (available < header_small) return box_broken;
    uint64_t size = be32_at(bytes);
    uint32_t header = header_small;
    if (size == 1) {
        if (left < header_large || available < header_large) return box_broken;
        size = be64_at(bytes + 8);
        header = header_large;
    } else if (size == 0) {
        size = static_cast<uint64_t>(left);
    }
    if (size < header || size > static_cast<uint64_t>(left)) return box_broken;
    *box = {be32_at(bytes + 4), pos, pos + header, pos + static_cast<int64_t>(size)};
    return box_found;
}

BoxRead box_read(BlockReader* reader, int64_t pos, int64_t parent_end, IsoBox* box, int32_t* result) {
    return reader_header_read(reader, pos, header_large, box_broken, result, [&](const uint8_t* b, uint32_t n) {
        return box_header_parse(b, n, pos, parent_end, box);
    });
}

BoxRead box_child_find(BlockReader* reader, const IsoBox* parent, int64_t from, uint32_t type, IsoBox* child,
                       int32_t* result) {
    for (int64_t pos = from; pos < parent->end; pos = child->end) {
        BoxRead read = box_read(reader, pos, parent->end, child, result);
        if (read != box_found || child->type == type) return read;
    }
    *result = 0;
    return box_none;
}
