// Head and tail windows of arbitrary bytes through the analysis and the
// summary line built from what it found.
#include <cstdint>
#include <cstring>
#include <vector>

#include "run/analysis.h"
#include "cli/name_tables.h"
#include "cli/summary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    // The first byte splits the rest into head and tail, the next eight give
    // the tail's file position and the file size.
    size_t body = size - 9;
    size_t head_len = body * data[0] / 255;
    int64_t tail_base = 0;
    std::memcpy(&tail_base, data + 1, 8);
    tail_base &= 0x7FFFFFFFFFFFLL;
    // Exact-size copies, so that any read past an end is caught.
    std::vector<uint8_t> head(data + 9, data + 9 + head_len);
    std::vector<uint8_t> tail(data + 9 + head_len, data + size);
    if (tail.empty()) return 0;  // the driver never analyses an empty tail

    SequenceHeaderInfo info = {};
    info.head_len = static_cast<uint32_t>(head.size());
    info.tail_len = static_cast<uint32_t>(tail.size());
    info.tail_base = tail_base;
    header_seek(head.data(), &info);
    header_parse(head.data(), tail.data(), &info);

    char line[512] = {};
    MpegSummary summary = {info.mpeg_version, info.horizontal_size, info.vertical_size, info.frame_rate_code,
                           info.bit_rate_value, info.duration_sec, tail_base + static_cast<int64_t>(tail.size())};
    format_summary_line(&summary, line);
    aspect_code_name(info.mpeg_version == 1 ? naming_mpeg1_codes : naming_mpeg2_codes, info.aspect_code);
    return 0;
}
