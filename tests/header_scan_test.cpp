#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "rewrite/header_scan.h"
#include "support.h"

namespace {

// The match test fed one byte at a time through an 8-byte window, the
// straightforward way: the reference the fast scan must equal.
struct ReferenceScanner {
    uint8_t pattern[8];
    uint8_t window[8];
    uint8_t captured;
};

struct Match {
    uint64_t stream_index;  // counted over all bytes fed
    uint8_t captured;
    uint64_t window;

    bool operator==(const Match& o) const {
        return stream_index == o.stream_index && captured == o.captured && window == o.window;
    }
};

uint64_t window_value(const uint8_t* w) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | w[i];
    return v;
}

void reference_init(ReferenceScanner* s, const uint8_t* header) {
    std::memcpy(s->pattern, header, 8);
    s->pattern[7] &= 0x0F;
    std::memset(s->window, 0, 8);
    s->captured = 0;
}

void reference_feed(ReferenceScanner* s, const uint8_t* buffer, uint32_t first, uint32_t end,
                    uint64_t fed_before, std::vector<Match>* matches) {
    for (uint32_t i = first; i < end; ++i) {
        std::memmove(s->window, s->window + 1, 7);
        s->window[7] = buffer[i];
        if (std::memcmp(s->window, s->pattern, 7) == 0) {
            s->captured = s->window[7];
            s->window[7] &= 0x0F;
        }
        if (std::memcmp(s->window, s->pattern, 8) == 0) {
            matches->push_back({fed_before + (i - first), s->captured, window_value(s->window)});
        }
    }
}

struct FastContext {
    HeaderScanner* scanner;
    uint32_t first;
    uint64_t fed_before;
    std::vector<Match>* matches;
};

int32_t record_match(void* context, uint32_t index) {
    FastContext* c = static_cast<FastContext*>(context);
    c->matches->push_back({c->fed_before + (index - c->first), c->scanner->captured, c->scanner->window});
    return 0;
}

struct Range {
    uint32_t first;
    uint32_t end;
};

// Feeds the ranges to both scanners and compares matches and windows.
void expect_same(const Bytes& data, const uint8_t* header, const std::vector<Range>& ranges) {
    ReferenceScanner reference;
    reference_init(&reference, header);
    HeaderScanner fast;
    header_scanner_init(&fast, header);
    std::vector<Match> expected;
    std::vector<Match> actual;
    uint64_t fed = 0;
    for (const Range& r : ranges) {
        reference_feed(&reference, data.data(), r.first, r.end, fed, &expected);
        FastContext context = {&fast, r.first, fed, &actual};
        ASSERT_EQ(header_scan(&fast, data.data(), r.first, r.end, record_match, &context), 0);
        ASSERT_EQ(fast.window, window_value(reference.window)) << "after range " << r.first;
        fed += r.end - r.first;
    }
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(actual[i] == expected[i]) << i;
}

// Splits [0, size) into ranges of random length with random gaps between
// them, as packets leave their headers out of the scan.
std::vector<Range> random_ranges(std::mt19937& random, uint32_t size, uint32_t longest) {
    std::vector<Range> ranges;
    uint32_t at = 0;
    while (at < size) {
        uint32_t gap = random() % 4 == 0 ? random() % 12 : 0;
        uint32_t first = std::min(size, at + gap);
        uint32_t end = std::min(size, first + 1 + static_cast<uint32_t>(random() % longest));
        ranges.push_back({first, end});
        at = end;
    }
    return ranges;
}

TEST(HeaderScan, SameAsTheByteWindowOnPlantedHeaders) {
    std::mt19937 random(20261207);
    const uint8_t alphabet[] = {0x00, 0x01, 0xB3, 0x24, 0x14, 0x2D, 0xE0, 0x55};
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        // References with bytes that can line up with start codes, so that
        // reduced bytes and overlapping headers really occur.
        uint8_t header[8] = {0, 0, 1, 0xB3, 0, 0, 0, 0};
        for (int i = 4; i < 8; ++i) header[i] = alphabet[random() % sizeof alphabet];
        Bytes data(2000 + random() % 6000);
        for (uint8_t& b : data) b = alphabet[random() % sizeof alphabet];
        for (int planted = 0; planted < 40; ++planted) {
            size_t at = random() % (data.size() - 8);
            std::memcpy(&data[at], header, 8);
            data[at + 7] = static_cast<uint8_t>((random() % 16) << 4 | (header[7] & 0x0F));
            if (random() % 4 == 0) data[at + 4 + random() % 4] ^= 1;  // another size or rate
        }
        expect_same(data, header, random_ranges(random, static_cast<uint32_t>(data.size()), 64));
        expect_same(data, header, {{0, static_cast<uint32_t>(data.size())}});
    }
}

TEST(HeaderScan, SameAsTheByteWindowOnTheSamples) {
    std::mt19937 random(7);
    for (const char* name : {"dvd_ntsc_4x3.mpg", "es_mpeg2_16x9.m2v", "vcd_pal.mpg", "es_mpeg1.m1v"}) {
        SCOPED_TRACE(name);
        Bytes data = read_bytes(sample_path(name));
        size_t first = sequence_header_positions(data).at(0);
        uint32_t size = static_cast<uint32_t>(data.size());
        expect_same(data, &data[first], {{0, size}});
        expect_same(data, &data[first], random_ranges(random, size, 3000));
    }
}

TEST(HeaderScan, HandlerResultStopsTheScan) {
    const uint8_t header[8] = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x24};
    Bytes data(header, header + 8);
    data.insert(data.end(), header, header + 8);
    HeaderScanner scanner;
    header_scanner_init(&scanner, header);
    int calls = 0;
    auto stop = [](void* context, uint32_t) -> int32_t {
        ++*static_cast<int*>(context);
        return -7;
    };
    EXPECT_EQ(header_scan(&scanner, data.data(), 0, 16, stop, &calls), -7);
    EXPECT_EQ(calls, 1);
}

}  // namespace
