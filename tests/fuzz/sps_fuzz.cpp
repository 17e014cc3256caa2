// The parameter set readers, the in-place aspect change and the search for
// parameter sets, on arbitrary bytes: a change must read back as the target
// with nothing else of the set altered, and the search must find the same
// sets however the stream is cut into ranges.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/sps.h"
#include "codecs/nal_scan.h"

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "parameter set promise broken: %s\n", what);
    std::abort();
}

void check_edit(VideoCodec codec, const uint8_t* nal, uint32_t length, SarRatio target) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    AspectEdit edit = sps_aspect_edit(codec, nal, length, target, changes, &count);
    if (edit != aspect_edit_changed) {
        if (count != 0) fail("changes given for a set left alone");
        return;
    }
    SpsInfo before;
    if (!sps_read(codec, nal, length, &before)) fail("changed a set that does not read");
    uint32_t field[changes_most];
    uint32_t field_count = sps_field_bytes(codec, nal, length, field);
    std::vector<uint8_t> changed(nal, nal + length);
    for (uint32_t k = 0; k < count; ++k) {
        bool in_field = false;
        for (uint32_t f = 0; f < field_count; ++f) in_field |= field[f] == changes[k].index;
        if (!in_field || changes[k].index >= length) fail("a change outside the aspect field");
        changed[changes[k].index] = changes[k].value;
    }
    SpsInfo after;
    if (!sps_read(codec, changed.data(), length, &after)) fail("the changed set does not read");
    if (after.sps_id != before.sps_id || after.width != before.width || after.height != before.height ||
        after.aspect_bit != before.aspect_bit) {
        fail("the change moved another field");
    }
    SarRatio sar = sps_sar(&after);
    if (uint64_t{sar.width} * target.height != uint64_t{target.width} * sar.height) fail("not the target");
}

struct Found {
    std::vector<std::vector<uint8_t>> bytes;
    std::vector<std::vector<int64_t>> positions;
};

int32_t on_sps(void* context, const AspectSite* site) {
    Found* found = static_cast<Found*>(context);
    uint32_t n = site->length < sps_bytes_most ? site->length : sps_bytes_most;
    found->bytes.emplace_back(site->bytes, site->bytes + n);
    found->positions.emplace_back(site->pos, site->pos + n);
    return 0;
}

Found scan(VideoCodec codec, const uint8_t* stream, uint32_t size, const uint8_t* lengths, size_t count) {
    SpsScanner* scanner = new SpsScanner;
    sps_scanner_init(scanner, codec);
    Found found;
    std::vector<PayloadRange> ranges;
    for (uint32_t at = 0, i = 0; at < size; ++i) {
        uint32_t length = count > 0 ? lengths[i % count] + 1u : size;
        uint32_t end = at + length < size ? at + length : size;
        ranges.push_back({at, end, 0, 0, 0});
        at = end;
    }
    // Handed over in batches, as the walks hand over a fetch's packets.
    for (size_t first = 0; first < ranges.size(); first += 3) {
        uint32_t batch = static_cast<uint32_t>(ranges.size() - first < 3 ? ranges.size() - first : 3);
        sps_scan(scanner, stream, 0, ranges.data() + first, batch, on_sps, &found);
    }
    sps_scan_finish(scanner, on_sps, &found);
    delete scanner;
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: the codec; bytes 1-4 the target sample aspect; byte 5 how many
    // range lengths follow; then the lengths; the rest is an Annex B stream.
    if (size < 6) return 0;
    VideoCodec codec = (data[0] & 1) != 0 ? codec_hevc : codec_avc;
    SarRatio target = {uint32_t{data[1]} << 8 | data[2], uint32_t{data[3]} << 8 | data[4]};
    size_t count = data[5] % 32;
    if (size < 6 + count) return 0;
    const uint8_t* stream = data + 6 + count;
    uint32_t stream_size = static_cast<uint32_t>(size - 6 - count);

    Found whole = scan(codec, stream, stream_size, nullptr, 0);
    Found cut = scan(codec, stream, stream_size, data + 6, count);
    if (whole.bytes != cut.bytes || whole.positions != cut.positions) fail("ranges change what is found");
    for (size_t k = 0; k < whole.bytes.size(); ++k) {
        const std::vector<uint8_t>& nal = whole.bytes[k];
        for (size_t i = 0; i < nal.size(); ++i) {
            if (stream[whole.positions[k][i]] != nal[i]) fail("a byte's position is not where it lies");
        }
        check_edit(codec, nal.data(), static_cast<uint32_t>(nal.size()), target);
    }
    return 0;
}
