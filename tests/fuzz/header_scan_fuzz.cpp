// The fast header scan against the byte-by-byte reference on arbitrary
// bytes cut into arbitrary ranges.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: how many range lengths follow; then the lengths; then the
    // reference header's last four bytes; the rest is the stream.
    if (size < 1) return 0;
    size_t count = data[0] % 16;
    if (size < 1 + count + 4) return 0;
    const uint8_t* lengths = data + 1;
    uint8_t header[8] = {0, 0, 1, 0xB3, 0, 0, 0, 0};
    std::memcpy(header + 4, data + 1 + count, 4);
    const uint8_t* stream = data + 1 + count + 4;
    uint32_t stream_size = static_cast<uint32_t>(size - 1 - count - 4);

    std::vector<ScanRange> ranges;
    uint32_t at = 0;
    for (size_t i = 0; at < stream_size; ++i) {
        uint32_t length = count > 0 ? lengths[i % count] : stream_size;
        uint32_t gap = length % 3 == 0 ? 2 : 0;  // bytes left out, as packet headers are
        uint32_t first = std::min(stream_size, at + gap);
        uint32_t end = std::min(stream_size, first + length + 1);
        ranges.push_back({first, end, static_cast<uint8_t>(length % 7 == 0 ? payload_gap : 0)});
        at = end;
    }
    std::string difference = scan_difference(stream, header, ranges);
    if (!difference.empty()) {
        std::fprintf(stderr, "fast scan differs from the reference: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
