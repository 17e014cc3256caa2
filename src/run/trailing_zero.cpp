#include "run/trailing_zero.h"

#include <cstring>

#include "fileio/fileio.h"

namespace {

constexpr int64_t block_size = 0x100000;

// Index of the last non-zero byte, or -1.
int64_t last_nonzero(const uint8_t* block, int64_t length) {
    for (int64_t i = length - 1; i >= 0; --i) {
        if (block[i] != 0) return i;
    }
    return -1;
}

// Examines the chunk that ends `done` bytes before the end of the file.
// Returns 0 and sets *found (-1 when the chunk is all zero), or 1.
int examine_chunk(FileHandleRec* file, int64_t done, int64_t chunk, int64_t* found) {
    FileBuffer block;
    if (!file_buffer_make(&block, static_cast<size_t>(chunk))) return 1;
    file_seek(file, -(done + chunk), file_end);
    uint32_t got = file_read(file, block.bytes, static_cast<uint32_t>(chunk));
    if (got == 0) return 1;
    // A short read leaves the rest of the block; it counts as zero.
    std::memset(block.bytes + got, 0, static_cast<size_t>(chunk - got));
    *found = last_nonzero(block.bytes, chunk);
    return 0;
}

}  // namespace

int trailing_zero_count(FileHandleRec* file, int64_t* count) {
    int64_t done = 0;
    int64_t remaining = file->size;
    int64_t result = -1;
    // An empty file takes one read of nothing, which fails like any other.
    do {
        int64_t chunk = remaining < block_size ? remaining : block_size;
        int64_t found = -1;
        if (chunk == 0 || examine_chunk(file, done, chunk, &found) != 0) return 1;
        if (found >= 0) result = done + (chunk - 1 - found);
        done += chunk;
        remaining -= chunk;
    } while (result == -1 && remaining > 0);
    *count = result == -1 ? done : result;
    return 0;
}
