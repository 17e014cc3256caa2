// VC-1's sequence header reader, its in-place aspect change through the
// escaping and the search for sequence headers, on arbitrary bytes: a
// change must keep the header's form and length, read back as the target
// with no other field moved, and the search must find the same headers,
// each byte where it lies, however the stream is cut into ranges.
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/site_scan.h"
#include "codecs/vc1_sequence.h"
#include "header_checks.h"

namespace {

void fail(const char* what) {
    promise_broken("VC-1", what);
}

void check_edit(const std::vector<uint8_t>& header, SarRatio target) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    uint32_t length = static_cast<uint32_t>(header.size());
    AspectEdit edit = vc1_aspect_edit(header.data(), length, target, changes, &count);
    if (edit != aspect_edit_changed) {
        if (count != 0) fail("changes given for a header left alone");
        return;
    }
    Vc1Sequence before;
    Vc1Sequence after;
    if (!vc1_sequence_read(header.data(), length, &before) || !before.aspect_present) {
        fail("changed a header without a field");
    }
    uint32_t field[changes_most];
    uint32_t field_count = vc1_field_bytes(header.data(), length, field);
    std::vector<uint8_t> changed;
    if (!changes_made(header.data(), length, changes, count, field, field_count, &changed)) {
        fail("a change outside the aspect field");
    }
    if (!vc1_sequence_read(changed.data(), length, &after)) fail("the changed header does not read");
    bool pair = before.code == vc1_aspect_explicit;
    if (pair != (after.code == vc1_aspect_explicit)) fail("the change left the header's form");
    if (after.width != before.width || after.height != before.height || after.aspect_bit != before.aspect_bit) {
        fail("the change moved another field");
    }
    if (!sar_equal(vc1_sequence_sar(&after), target)) fail("not the target");
}

// One range a call, as a Matroska walk hands over its frames.
HeadersFound headers_find(const HeaderInput& in, bool cut) {
    std::unique_ptr<SiteScanner> scanner(new SiteScanner);
    site_scanner_init(scanner.get(), codec_vc1, nullptr);
    HeadersFound found = {sps_bytes_most, {}, {}};
    for (const PayloadRange& range : ranges_cut(in, cut)) {
        site_scan(scanner.get(), in.stream, 0, &range, 1, header_found, &found);
    }
    site_scan_finish(scanner.get(), header_found, &found);
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A raw VC-1 stream after the target and the range lengths.
    HeaderInput in;
    if (!header_input_read(data, size, &in)) return 0;
    HeadersFound whole = headers_find(in, false);
    const char* broken = scans_disagree(whole, headers_find(in, true), in.stream);
    if (broken != nullptr) fail(broken);
    for (const std::vector<uint8_t>& header : whole.bytes) check_edit(header, in.target);
    return 0;
}
