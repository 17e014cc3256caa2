// The match test fed one byte at a time through an 8-byte window, the
// straightforward way: the reference that the engine's fast scan must equal
// in every case.
#pragma once
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/header_scan.h"

struct ReferenceScanner {
    uint8_t pattern[8];
    uint8_t window[8];
    uint8_t captured;
    uint8_t window_before[8];
    uint8_t captured_before;
};

struct Match {
    uint64_t stream_index;  // counted over all bytes fed
    uint8_t captured;
    uint64_t window;

    bool operator==(const Match& o) const {
        return stream_index == o.stream_index && captured == o.captured && window == o.window;
    }
};

inline uint64_t window_value(const uint8_t* w) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | w[i];
    return v;
}

inline void reference_init(ReferenceScanner* s, const uint8_t* header) {
    std::memcpy(s->pattern, header, 8);
    s->pattern[7] &= 0x0F;
    std::memset(s->window, 0, 8);
    s->captured = 0;
}

struct ScanRange {
    uint32_t first;
    uint32_t end;
    uint8_t breaks;  // payload_gap, payload_repeat
};

inline void reference_feed(ReferenceScanner* s, const uint8_t* buffer, const ScanRange& r,
                           uint64_t fed_before, std::vector<Match>* matches) {
    if ((r.breaks & payload_repeat) != 0) {
        std::memcpy(s->window, s->window_before, 8);
        s->captured = s->captured_before;
    } else {
        if ((r.breaks & payload_gap) != 0) std::memset(s->window, 0xFF, 8);
        std::memcpy(s->window_before, s->window, 8);
        s->captured_before = s->captured;
    }
    for (uint32_t i = r.first; i < r.end; ++i) {
        std::memmove(s->window, s->window + 1, 7);
        s->window[7] = buffer[i];
        if (std::memcmp(s->window, s->pattern, 7) == 0) {
            s->captured = s->window[7];
            s->window[7] &= 0x0F;
        }
        // A marker bit after the bit rate that the range holds must be set.
        bool marker = i + 3 >= r.end || (buffer[i + 3] & 0x20) != 0;
        if (std::memcmp(s->window, s->pattern, 8) == 0 && marker) {
            matches->push_back({fed_before + (i - r.first), s->captured, window_value(s->window)});
        }
    }
}

struct FastContext {
    HeaderScanner* scanner;
    const PayloadRange* ranges;
    const std::vector<uint64_t>* fed_before;
    std::vector<Match>* matches;
};

// The buffer lies at file position 0, so that a site's position is its index.
inline int32_t record_fast_match(void* context, const AspectSite* site) {
    FastContext* c = static_cast<FastContext*>(context);
    const PayloadRange* r = site->range;
    uint64_t index = static_cast<uint64_t>(site->pos[0]);
    uint64_t stream_index = (*c->fed_before)[static_cast<size_t>(r - c->ranges)] + (index - r->first);
    c->matches->push_back({stream_index, c->scanner->captured, c->scanner->window});
    return 0;
}

// Feeds the same ranges of data to the reference and to header_scan, the
// latter `group` ranges a call; returns "" when matches and windows agree,
// else what differed first.
inline std::string scan_difference(const uint8_t* data, const uint8_t* header,
                                   const std::vector<ScanRange>& ranges, size_t group = 3) {
    ReferenceScanner reference;
    reference_init(&reference, header);
    HeaderScanner fast;
    header_scanner_init(&fast, header);
    std::vector<PayloadRange> payload;
    std::vector<uint64_t> fed_before;
    uint64_t fed = 0;
    for (const ScanRange& r : ranges) {
        payload.push_back({r.first, r.end, r.breaks, 0, 0});
        fed_before.push_back(fed);
        fed += r.end - r.first;
    }
    std::vector<Match> expected;
    std::vector<Match> actual;
    FastContext context = {&fast, payload.data(), &fed_before, &actual};
    for (size_t at = 0; at < ranges.size(); at += group) {
        size_t count = std::min(group, ranges.size() - at);
        for (size_t k = at; k < at + count; ++k) reference_feed(&reference, data, ranges[k], fed_before[k], &expected);
        header_scan(&fast, data, 0, payload.data() + at, static_cast<uint32_t>(count), record_fast_match, &context);
        if (fast.window != window_value(reference.window)) {
            return "window differs after the range ending at " + std::to_string(ranges[at + count - 1].end);
        }
    }
    if (actual.size() != expected.size()) {
        return std::to_string(actual.size()) + " matches instead of " + std::to_string(expected.size());
    }
    for (size_t i = 0; i < expected.size(); ++i) {
        if (!(actual[i] == expected[i])) return "match " + std::to_string(i) + " differs";
    }
    return "";
}
