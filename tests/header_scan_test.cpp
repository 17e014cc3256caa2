#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "reference_scanner.h"
#include "support.h"

namespace {

// Feeds the ranges to both scanners and compares matches and windows.
void expect_same(const Bytes& data, const uint8_t* header, const std::vector<ScanRange>& ranges) {
    EXPECT_EQ(scan_difference(data.data(), header, ranges), "");
}

// Splits [0, size) into ranges of random length with random gaps between
// them, as packets leave their headers out of the scan; some ranges follow
// a break in the payload or repeat the range before.
std::vector<ScanRange> random_ranges(std::mt19937& random, uint32_t size, uint32_t longest) {
    std::vector<ScanRange> ranges;
    uint32_t at = 0;
    while (at < size) {
        uint32_t gap = random() % 4 == 0 ? random() % 12 : 0;
        uint32_t first = std::min(size, at + gap);
        uint32_t end = std::min(size, first + 1 + static_cast<uint32_t>(random() % longest));
        uint8_t breaks = random() % 16 == 0 ? payload_gap : 0;
        if (!ranges.empty() && random() % 16 == 0) {
            ScanRange repeat = ranges.back();  // the same bytes once more
            ranges.push_back({repeat.first, repeat.end, payload_repeat});
        }
        ranges.push_back({first, end, breaks});
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
        expect_same(data, header, {{0, static_cast<uint32_t>(data.size()), 0}});
    }
}

TEST(HeaderScan, SameAsTheByteWindowOnTheSamples) {
    std::mt19937 random(7);
    for (const char* name : {"dvd_ntsc_4x3.mpg", "es_mpeg2_16x9.m2v", "vcd_pal.mpg", "es_mpeg1.m1v"}) {
        SCOPED_TRACE(name);
        Bytes data = read_bytes(sample_path(name));
        size_t first = sequence_header_positions(data).at(0);
        uint32_t size = static_cast<uint32_t>(data.size());
        expect_same(data, &data[first], {{0, size, 0}});
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
    auto stop = [](void* context, const AspectSite*) -> int32_t {
        ++*static_cast<int*>(context);
        return -7;
    };
    const PayloadRange all = {0, 16, 0, 0, 0};
    EXPECT_EQ(header_scan(&scanner, data.data(), 0, &all, 1, stop, &calls), -7);
    EXPECT_EQ(calls, 1);
}

}  // namespace
