// What the fuzz targets of a codec's own headers (parameter sets, VOLs)
// check alike: an edit's changes lie in the field it names, the target is
// what the changed header reads, and every byte a scan hands over lies
// where its position says.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "codecs/site.h"
#include "codecs/site_scan.h"

[[noreturn]] inline void promise_broken(const char* kind, const char* what) {
    std::fprintf(stderr, "%s promise broken: %s\n", kind, what);
    std::abort();
}

// The header with the changes made: false where one lies outside the field.
inline bool changes_made(const uint8_t* bytes, uint32_t length, const ByteChange* changes, uint32_t count,
                         const uint32_t* field, uint32_t field_count, std::vector<uint8_t>* changed) {
    changed->assign(bytes, bytes + length);
    for (uint32_t k = 0; k < count; ++k) {
        bool in_field = false;
        for (uint32_t f = 0; f < field_count; ++f) in_field |= field[f] == changes[k].index;
        if (!in_field || changes[k].index >= length) return false;
        (*changed)[changes[k].index] = changes[k].value;
    }
    return true;
}

inline bool sar_equal(SarRatio a, SarRatio b) {
    return uint64_t{a.width} * b.height == uint64_t{b.width} * a.height;
}

// Every header a scan handed over, its bytes (as many as `most`) and their positions.
struct HeadersFound {
    uint32_t most;
    std::vector<std::vector<uint8_t>> bytes;
    std::vector<std::vector<int64_t>> positions;
};

inline int32_t header_found(void* context, const AspectSite* site) {
    HeadersFound* found = static_cast<HeadersFound*>(context);
    uint32_t n = site->length < found->most ? site->length : found->most;
    found->bytes.emplace_back(site->bytes, site->bytes + n);
    found->positions.emplace_back(site->pos, site->pos + n);
    return 0;
}

inline bool headers_where_they_lie(const HeadersFound& found, const uint8_t* stream) {
    for (size_t k = 0; k < found.bytes.size(); ++k) {
        for (size_t i = 0; i < found.bytes[k].size(); ++i) {
            if (stream[found.positions[k][i]] != found.bytes[k][i]) return false;
        }
    }
    return true;
}

// A header target's input: the target sample aspect (two 16-bit numbers),
// how many range lengths follow and each, then the stream; false where the
// bytes are too few.
struct HeaderInput {
    SarRatio target;
    const uint8_t* lengths;
    size_t count;
    const uint8_t* stream;
    uint32_t stream_size;
};

inline bool header_input_read(const uint8_t* data, size_t size, HeaderInput* in) {
    if (size < 5) return false;
    in->target = {uint32_t{data[0]} << 8 | data[1], uint32_t{data[2]} << 8 | data[3]};
    in->count = data[4] % 32;
    if (size < 5 + in->count) return false;
    in->lengths = data + 5;
    in->stream = data + 5 + in->count;
    in->stream_size = static_cast<uint32_t>(size - 5 - in->count);
    return true;
}

// The stream's ranges: one, or cut where the input's lengths say.
inline std::vector<PayloadRange> ranges_cut(const HeaderInput& in, bool cut) {
    std::vector<PayloadRange> ranges;
    for (uint32_t at = 0, i = 0; at < in.stream_size; ++i) {
        uint32_t length = cut && in.count > 0 ? in.lengths[i % in.count] + 1u : in.stream_size;
        uint32_t end = at + length < in.stream_size ? at + length : in.stream_size;
        ranges.push_back({at, end, 0, 0, 0});
        at = end;
    }
    return ranges;
}

// The scans of the stream whole and cut into ranges found the same headers,
// each byte where it lies: the reason where they did not, else null.
inline const char* scans_disagree(const HeadersFound& whole, const HeadersFound& cut, const uint8_t* stream) {
    if (whole.bytes != cut.bytes || whole.positions != cut.positions) return "ranges change what is found";
    return headers_where_they_lie(whole, stream) ? nullptr : "a byte's position is not where it lies";
}

// The codec's headers in the stream, one range a call, as a Matroska walk
// hands over its frames.
inline HeadersFound headers_scan(VideoCodec codec, uint32_t most, const HeaderInput& in, bool cut) {
    std::unique_ptr<SiteScanner> scanner(new SiteScanner);
    site_scanner_init(scanner.get(), codec, nullptr);
    HeadersFound found = {most, {}, {}};
    for (const PayloadRange& range : ranges_cut(in, cut)) {
        site_scan(scanner.get(), in.stream, 0, &range, 1, header_found, &found);
    }
    site_scan_finish(scanner.get(), header_found, &found);
    return found;
}

// A raw stream of the codec after the target and the range lengths: the
// scans whole and cut must agree, and each header found takes the edit
// that `check_edit` checks.
template <typename Fail, typename CheckEdit>
int headers_fuzz(const uint8_t* data, size_t size, VideoCodec codec, uint32_t most, Fail fail, CheckEdit check_edit) {
    HeaderInput in;
    if (!header_input_read(data, size, &in)) return 0;
    HeadersFound whole = headers_scan(codec, most, in, false);
    const char* broken = scans_disagree(whole, headers_scan(codec, most, in, true), in.stream);
    if (broken != nullptr) fail(broken);
    for (const std::vector<uint8_t>& header : whole.bytes) check_edit(header, in.target);
    return 0;
}
