#include "formats/riff.h"

namespace {

bool is_list(uint32_t code) {
    return code == riff_code("RIFF") || code == riff_code("LIST");
}

}  // namespace

RiffRead riff_read(BlockReader* reader, int64_t pos, int64_t parent_end, bool open, RiffChunk* chunk,
                   int32_t* result) {
    return reader_header_read(reader, pos, riff_list_head_bytes, riff_broken, result,
                              [&](const uint8_t* b, uint32_t available) {
        int64_t room = parent_end - pos;
        if (room < riff_head_bytes || available < riff_head_bytes) return room <= 0 || open ? riff_none : riff_broken;
        *chunk = RiffChunk{};
        chunk->code = le32_at(b);
        chunk->start = pos;
        chunk->body = pos + riff_head_bytes;
        uint32_t size = le32_at(b + 4);
        if (is_list(chunk->code)) {
            if (available < riff_list_head_bytes) return open ? riff_none : riff_broken;
            chunk->form = le32_at(b + 8);
            chunk->body += 4;
            // A list's size is never below its form type's: 0 is one a
            // capture stopped before it was written.
            if (size < 4) size = open ? UINT32_MAX : 0;
            if (size < 4) return riff_broken;
        }
        chunk->end = pos + riff_head_bytes + size;
        if (chunk->end > parent_end) {
            if (!open) return riff_broken;
            chunk->end = parent_end;
            chunk->cut = true;
        }
        return riff_found;
    });
}

bool riff_opens(const uint8_t* head, uint32_t length, uint32_t form) {
    return length >= riff_list_head_bytes && le32_at(head) == riff_code("RIFF") && le32_at(head + 8) == form;
}
