// The parameter set readers, the in-place aspect change and the search for
// parameter sets, on arbitrary bytes: a change must read back as the target
// with nothing else of the set altered, and the search must find the same
// sets however the stream is cut into ranges.
#include <cstdint>
#include <vector>

#include "codecs/nal_scan.h"
#include "codecs/sps.h"
#include "header_checks.h"

namespace {

void fail(const char* what) {
    promise_broken("parameter set", what);
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
    std::vector<uint8_t> changed;
    if (!changes_made(nal, length, changes, count, field, field_count, &changed)) fail("a change outside the aspect field");
    SpsInfo after;
    if (!sps_read(codec, changed.data(), length, &after)) fail("the changed set does not read");
    if (after.sps_id != before.sps_id || after.width != before.width || after.height != before.height ||
        after.aspect_bit != before.aspect_bit) {
        fail("the change moved another field");
    }
    if (!sar_equal(sps_sar(&after), target)) fail("not the target");
}

HeadersFound scan(VideoCodec codec, const HeaderInput& in, bool cut) {
    SpsScanner* scanner = new SpsScanner;
    sps_scanner_init(scanner, codec);
    HeadersFound found = {sps_bytes_most, {}, {}};
    std::vector<PayloadRange> ranges = ranges_cut(in, cut);
    // Handed over in batches, as the walks hand over a fetch's packets.
    for (size_t first = 0; first < ranges.size(); first += 3) {
        uint32_t batch = static_cast<uint32_t>(ranges.size() - first < 3 ? ranges.size() - first : 3);
        sps_scan(scanner, in.stream, 0, ranges.data() + first, batch, header_found, &found);
    }
    sps_scan_finish(scanner, header_found, &found);
    delete scanner;
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: the codec; then the target and the range lengths; the rest is
    // an Annex B stream.
    HeaderInput in;
    if (size < 1 || !header_input_read(data + 1, size - 1, &in)) return 0;
    VideoCodec codec = (data[0] & 1) != 0 ? codec_hevc : codec_avc;
    HeadersFound whole = scan(codec, in, false);
    const char* broken = scans_disagree(whole, scan(codec, in, true), in.stream);
    if (broken != nullptr) fail(broken);
    for (const std::vector<uint8_t>& nal : whole.bytes) {
        check_edit(codec, nal.data(), static_cast<uint32_t>(nal.size()), in.target);
    }
    return 0;
}
