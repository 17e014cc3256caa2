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

// The bytes of the piece at `at`: a whole piece, or what the file has left.
uint32_t piece_length(const BlockReader* r, int64_t at) {
    int64_t left = r->file->size - at;
    if (left <= 0) return 0;
    return left < reader_piece_size ? static_cast<uint32_t>(left) : reader_piece_size;
}

void piece_read_job(void* context) {
    PieceRead* read = static_cast<PieceRead*>(context);
    read->got = file_read_at(read->file, read->at, read->into, read->count);
}

// The piece that follows the block: posted to the read-ahead thread, read
// into the other buffer after room for the bytes a fetch may keep.
void next_piece_post(BlockReader* r) {
    int64_t at = r->base + r->length;
    uint32_t count = piece_length(r, at);
    if (r->ahead == nullptr || count == 0) return;
    r->pending = true;
    r->ahead_read = PieceRead{r->file, r->buffers[1 - r->current] + reader_keep_room, at, count, 0};
    os_worker_post(r->ahead, piece_read_job, &r->ahead_read);
}

// The piece at `at` in the other buffer: the read-ahead's when it read that
// piece, else read now (after any read under way is done with the buffer).
int32_t piece_read(BlockReader* r, int64_t at, uint32_t* got) {
    uint8_t* into = r->buffers[1 - r->current] + reader_keep_room;
    uint32_t want = piece_length(r, at);
    if (r->pending) {
        os_worker_wait(r->ahead);
        r->pending = false;
        if (r->ahead_read.at == at) {
            *got = r->ahead_read.got;
            return *got == want ? 0 : reader_read_failed(r, at, want, *got);
        }
    }
    *got = want == 0 ? 0 : file_read_at(r->file, at, into, want);
    return *got == want ? 0 : reader_read_failed(r, at, want, *got);
}

}  // namespace

uint8_t* reader_block_new() {
    return static_cast<uint8_t*>(
        ::operator new(2 * reader_buffer_size, std::align_val_t(page_size), std::nothrow));
}

void reader_block_delete(uint8_t* block) {
    ::operator delete(block, std::align_val_t(page_size));
}

void reader_init(BlockReader* reader, FileHandleRec* file, uint8_t* block, OsWorker* ahead) {
    *reader = BlockReader{};
    reader->file = file;
    reader->buffers[0] = block;
    reader->buffers[1] = block + reader_buffer_size;
    reader->block = block + reader_keep_room;
    reader->ahead = ahead;
    reader->failed_at = -1;
}

void reader_drain(BlockReader* reader) {
    if (reader->pending) os_worker_wait(reader->ahead);
    reader->pending = false;
}

int32_t reader_refill(BlockReader* reader, int64_t pos, uint32_t want, const uint8_t** bytes,
                      uint32_t* available) {
    int64_t size = reader->file->size;
    int64_t end = reader->base + reader->length;
    bool inside = pos >= reader->base && pos <= end;
    if (!inside || (pos + want > end && end < size)) {
        // The next block starts at pos's page, with what this one holds from
        // there on in front of the piece that follows it.
        int64_t start = pos & ~static_cast<int64_t>(page_size - 1);
        if (start < reader->base) start = pos;
        uint32_t keep = inside ? static_cast<uint32_t>(end - start) : 0;
        uint32_t got = 0;
        int32_t result = piece_read(reader, start + keep, &got);
        if (result != 0) return result;
        uint8_t* next = reader->buffers[1 - reader->current] + reader_keep_room - keep;
        if (keep > 0) std::memcpy(next, reader->block + (start - reader->base), keep);
        reader->current = 1 - reader->current;
        reader->block = next;
        reader->base = start;
        reader->length = keep + got;
        next_piece_post(reader);
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
