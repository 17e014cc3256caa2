#include "formats/reader.h"

#include <cstring>

#include "fileio/result.h"

namespace {

// Reads into page-aligned memory at page-aligned file positions are the
// cheapest copies the kernel makes.
constexpr size_t page_size = 4096;

// The bytes of the piece at `at`: a whole piece, or what the file has left.
uint32_t piece_length(const BlockReader* r, int64_t at) {
    int64_t left = r->size - at;
    if (left <= 0) return 0;
    return left < reader_piece_size ? static_cast<uint32_t>(left) : reader_piece_size;
}

}  // namespace

void reader_init(BlockReader* reader, FileHandleRec* file, uint8_t* buffer) {
    *reader = BlockReader{};
    reader->file = file;
    reader->size = file->size;
    reader->buffer = buffer;
    reader->block = buffer + reader_keep_room;
    reader->failed_at = -1;
}

void reader_init_window(BlockReader* reader, const uint8_t* window, uint32_t length) {
    *reader = BlockReader{};
    reader->size = length;
    // The walks only read through the block, never into it.
    reader->block = const_cast<uint8_t*>(window);
    reader->length = length;
    reader->failed_at = -1;
}

int32_t reader_refill(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                      uint32_t* available) {
    int64_t size = reader->size;
    int64_t end = reader->base + reader->length;
    bool inside = pos >= reader->base && pos <= end;
    if (reader->file == nullptr && !inside) pos = end;  // a window holds nothing past its end
    if (reader->file != nullptr && (!inside || (pos + want > end && end < size))) {
        // The next block starts at pos's page, with what this one holds from
        // there on in front of the piece that follows it.
        int64_t start = pos & ~static_cast<int64_t>(page_size - 1);
        if (start < reader->base) start = pos;
        uint32_t keep = inside ? static_cast<uint32_t>(end - start) : 0;
        uint8_t* next = reader->buffer + reader_keep_room - keep;
        if (keep > 0) std::memmove(next, reader->block + (start - reader->base), keep);
        uint32_t piece = piece_length(reader, start + keep);
        uint32_t got = piece == 0 ? 0 : file_read_at(reader->file, start + keep, next + keep, piece);
        reader->block = next;
        reader->base = start;
        reader->length = keep + got;
        if (got != piece) return reader_read_failed(reader, start + keep, piece, got);
        end = reader->base + reader->length;
    }
    int64_t left = end - pos;
    *available = left < want ? static_cast<uint32_t>(left > 0 ? left : 0) : want;
    *bytes = reader->block + (pos - reader->base);
    return 0;
}

int32_t reader_fetch_sparse(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                            uint32_t* available) {
    int64_t end = reader->base + reader->length;
    bool held = pos >= reader->base && (pos + want <= end || end == reader->size);
    if (held || reader->file == nullptr) return reader_fetch(reader, pos, want, bytes, available);
    int64_t start = pos & ~static_cast<int64_t>(page_size - 1);
    int64_t stop = (pos + want + page_size - 1) & ~static_cast<int64_t>(page_size - 1);
    if (stop > reader->size) stop = reader->size;
    uint32_t length = stop > start ? static_cast<uint32_t>(stop - start) : 0;
    uint32_t got = length == 0 ? 0 : file_read_at(reader->file, start, reader->buffer, length);
    reader->block = reader->buffer;
    reader->base = start;
    reader->length = got;
    if (got != length) return reader_read_failed(reader, start, length, got);
    int64_t left = stop - pos;
    *available = left < want ? static_cast<uint32_t>(left > 0 ? left : 0) : want;
    *bytes = reader->block + (pos - reader->base);
    return 0;
}

int32_t reader_read_failed(BlockReader* reader, int64_t at, uint32_t want, uint32_t got) {
    reader->failed_at = at;
    reader->failed_want = want;
    reader->failed_got = got;
    return result_read_error;
}
