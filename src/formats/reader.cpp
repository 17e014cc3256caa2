#include "formats/reader.h"

#include <cstring>

#include "fileio/result.h"

namespace {

// Reads into page-aligned memory at page-aligned file positions are the
// cheapest copies the kernel makes.
constexpr size_t page_size = 4096;
// What a sparse read takes at the least: a sample's first units (a
// parameter set, an SEI) without a read of their own, and a run of a
// Matroska cluster's small audio blocks in one read (a 1 GiB file took
// 119,000 reads at 512 bytes, 84,000 at 2 KiB, no fewer at 4 KiB).
constexpr uint32_t sparse_read_least = 2048;
// From an empty cache, a read of each sample's head in turn waited for the
// disk every time and took eight times as long as reading the whole file.
// Read ahead in large ranges, once a read finds its bytes missing, the
// walk takes about as long as that read; a file in the cache is never
// asked for, which cost it a tenth more.
constexpr int64_t prefetch_range = 8 << 20;

// The bytes at `at`: from the cache when they are there, else after the
// next range is asked for.
uint32_t sparse_read(BlockReader* r, int64_t at, uint32_t length) {
    uint32_t got = file_read_at_cached(r->file, at, r->buffer, length);
    if (got == length) return got;
    if (at + prefetch_range / 2 > r->prefetched) {
        int64_t from = at > r->prefetched ? at : r->prefetched;
        r->prefetched = from + prefetch_range;
        file_prefetch(r->file, from, prefetch_range);
    }
    return file_read_at(r->file, at, r->buffer, length);
}

// A view's length: see bench/README.md, "Mapped windows against reads".
constexpr uint32_t view_size = 2 << 20;

// The block is no view: the walk reads on from pos.
void views_give_up(BlockReader* r, int64_t pos) {
    file_view_close(&r->view);
    r->viewing = false;
    r->block = r->buffer + reader_keep_room;
    r->base = pos;
    r->length = 0;
}

// Makes the block a view of the file from the start of pos's page on:
// false, with the reads to serve from pos on, where there is none.
bool view_move(BlockReader* r, int64_t pos) {
    int64_t start = pos - pos % file_view_alignment();
    int64_t left = r->size - start;
    uint32_t length = left < view_size ? static_cast<uint32_t>(left) : view_size;
    file_view_close(&r->view);
    if (!file_view_open(r->file, start, length, &r->view)) {
        views_give_up(r, pos);
        return false;
    }
    r->block = const_cast<uint8_t*>(r->view.bytes);
    r->base = start;
    r->length = length;
    return true;
}

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
    reader->broken_at = -1;
}

void reader_init_window(BlockReader* reader, const uint8_t* window, uint32_t length) {
    *reader = BlockReader{};
    reader->size = length;
    // The walks only read through the block, never into it.
    reader->block = const_cast<uint8_t*>(window);
    reader->length = length;
    reader->failed_at = -1;
    reader->broken_at = -1;
}

int32_t reader_refill(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                      uint32_t* available) {
    int64_t size = reader->size;
    int64_t end = reader->base + reader->length;
    bool inside = pos >= reader->base && pos <= end;
    if (reader->file == nullptr && !inside) pos = end;  // a window holds nothing past its end
    bool moves = reader->file != nullptr && (!inside || (pos + want > end && end < size));
    if (moves && reader->viewing) {
        int32_t result = reader_view_check(reader);
        if (result != 0) return result;
        if (pos < size && view_move(reader, pos)) return reader_fetch(reader, pos, want, bytes, available);
        end = reader->base + reader->length;
        inside = pos >= reader->base && pos <= end;
    }
    if (moves) {
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

namespace {

// A sparse fetch whose read, where one is needed, takes `least` bytes at
// the least.
int32_t fetch_reading(BlockReader* reader, int64_t pos, uint32_t want, uint32_t least, const uint8_t** bytes,
                      uint32_t* available) {
    int64_t end = reader->base + reader->length;
    bool held = pos >= reader->base && (pos + want <= end || end == reader->size);
    if (held || reader->file == nullptr) return reader_fetch(reader, pos, want, bytes, available);
    int64_t start = pos;
    int64_t stop = pos + (want < least ? least : want);
    if (stop > reader->size) stop = reader->size;
    uint32_t length = stop > start ? static_cast<uint32_t>(stop - start) : 0;
    uint32_t got = length == 0 ? 0 : sparse_read(reader, start, length);
    reader->block = reader->buffer;
    reader->base = start;
    reader->length = got;
    if (got != length) return reader_read_failed(reader, start, length, got);
    int64_t left = stop - pos;
    *available = left < want ? static_cast<uint32_t>(left > 0 ? left : 0) : want;
    *bytes = reader->block + (pos - reader->base);
    return 0;
}

}  // namespace

int32_t reader_fetch_sparse(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                            uint32_t* available) {
    return fetch_reading(reader, pos, want, sparse_read_least, bytes, available);
}

int32_t reader_fetch_dense(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                           uint32_t* available) {
    return fetch_reading(reader, pos, want, reader_piece_size, bytes, available);
}

void reader_views_begin(BlockReader* reader) {
    reader->viewing = reader->file != nullptr;
    reader->view.bytes = nullptr;
}

int32_t reader_view_check(BlockReader* reader) {
    const FileView* v = &reader->view;
    if (v->bytes == nullptr) return 0;
    int64_t end = v->offset + v->length;
    // A file cut within a page leaves the rest of that page to read as
    // zeros without a fault: the size it has now tells.
    int64_t at = v->fault_at;
    int64_t now = file_size_now(reader->file);
    if (now >= 0 && now < end && (at < 0 || now < at)) at = now > v->offset ? now : v->offset;
    return at < 0 ? 0 : reader_read_failed(reader, at, static_cast<uint32_t>(end - at), 0);
}

int32_t reader_views_end(BlockReader* reader, int32_t result) {
    if (!reader->viewing) return result;
    int32_t fault = reader_view_check(reader);
    views_give_up(reader, 0);
    return fault != 0 && result >= 0 ? fault : result;
}

int32_t reader_read_failed(BlockReader* reader, int64_t at, uint32_t want, uint32_t got) {
    reader->failed_at = at;
    reader->failed_want = want;
    reader->failed_got = got;
    return result_read_error;
}
