#include "rewrite/block_reader.h"

#include <cstring>
#include <new>

#include "console/console.h"
#include "console/messages.h"
#include "rewrite/engine.h"

namespace {

// Reads into page-aligned buffers at page-aligned file positions are the
// cheapest copies the kernel makes.
constexpr size_t page_size = 4096;

}  // namespace

uint8_t* reader_block_new() {
    return static_cast<uint8_t*>(
        ::operator new(reader_block_size, std::align_val_t(page_size), std::nothrow));
}

void reader_block_delete(uint8_t* block) {
    ::operator delete(block, std::align_val_t(page_size));
}

void reader_init(BlockReader* reader, FileHandleRec* file, uint8_t* block) {
    *reader = BlockReader{file, block, reader_block_size, 0, 0, -1, 0, 0};
}

int32_t reader_refill(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                      uint32_t* available) {
    int64_t size = reader->file->size;
    int64_t end = reader->base + reader->length;
    bool inside = pos >= reader->base && pos <= end;
    if (!inside || (pos + want > end && end < size)) {
        // Refill from the start of pos's page, keeping what the block holds
        // from there on, so that the file is read at page boundaries.
        int64_t start = pos & ~static_cast<int64_t>(page_size - 1);
        if (start < reader->base) start = pos;
        uint32_t keep = 0;
        if (inside) {
            keep = static_cast<uint32_t>(end - start);
            std::memmove(reader->block, reader->block + (start - reader->base), keep);
        }
        reader->base = start;
        reader->length = keep;
        int64_t room = size - (start + keep);
        if (room > reader->capacity - keep) room = reader->capacity - keep;
        if (room > 0) {
            int64_t at = start + keep;
            uint32_t asked = static_cast<uint32_t>(room);
            file_seek(reader->file, at, file_begin);
            uint32_t got = file_read(reader->file, reader->block + keep, asked);
            if (got != asked) return reader_read_failed(reader, at, asked, got);
            reader->length += got;
        }
        end = reader->base + reader->length;
    }
    int64_t left = end - pos;
    *available = left < want ? static_cast<uint32_t>(left > 0 ? left : 0) : want;
    *bytes = reader->block + (pos - reader->base);
    return 0;
}

int32_t reader_read_failed(BlockReader* reader, int64_t at, uint32_t want, uint32_t got) {
    reader->failed_at = at;
    reader->failed_want = want;
    reader->failed_got = got;
    return rewrite_read_error;
}

void reader_failure_print(const BlockReader* reader) {
    char message[512] = {};
    text_format(message, sizeof message, msg_read_short, static_cast<long long>(reader->failed_at),
                reader->failed_want, reader->failed_got);
    console_print(fmt_stream_id_line, message);
}
