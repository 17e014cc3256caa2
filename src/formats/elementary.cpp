#include "formats/walk.h"

namespace {

// The 1 MiB chunk: list lines show a header whose bytes 4 to 6 lie in
// the chunk before its byte 7 with "*", so chunks stay the units of the
// walk although the file is read in smaller pieces, which are scanned while
// they are still in the processor's cache.
constexpr int64_t chunk_size = 0x100000;

}  // namespace

// Every byte of the file, in order.
int32_t elementary_walk(Walk* w) {
    int64_t size = w->reader.size;
    for (int64_t pos = 0; pos < size;) {
        int64_t chunk = pos & ~(chunk_size - 1);
        uint32_t to_chunk_end = static_cast<uint32_t>(chunk + chunk_size - pos);
        const uint8_t* bytes = nullptr;
        uint32_t n = 0;
        int32_t result = reader_fetch_some(&w->reader, pos, to_chunk_end, &bytes, &n);
        if (result != 0) return result;
        // The progress of a linear scan is the header's own position.
        result = walk_feed_one(w, bytes, pos, 0, n, chunk, -1);
        if (result != 0) return result;
        pos += n;
    }
    return 0;
}
