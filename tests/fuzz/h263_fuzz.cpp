// H.263's picture header reader, its in-place aspect change and the search
// for picture headers, on arbitrary bytes: a change must keep the header's
// form and read back as the target with no other field moved, and the
// search must find the same headers, each byte where it lies, however the
// stream is cut into ranges.
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/h263_picture.h"
#include "codecs/mpeg4_vol.h"
#include "codecs/site_scan.h"
#include "header_checks.h"

namespace {

void fail(const char* what) {
    promise_broken("H.263", what);
}

void check_edit(const std::vector<uint8_t>& header, SarRatio target) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    uint32_t length = static_cast<uint32_t>(header.size());
    AspectEdit edit = h263_aspect_edit(header.data(), length, target, changes, &count);
    if (edit != aspect_edit_changed) {
        if (count != 0) fail("changes given for a header left alone");
        return;
    }
    H263Picture before;
    H263Picture after;
    if (!h263_picture_read(header.data(), length, &before) || !before.custom) fail("changed a header without a field");
    uint32_t field[changes_most];
    uint32_t field_count = h263_field_bytes(header.data(), length, field);
    std::vector<uint8_t> changed;
    if (!changes_made(header.data(), length, changes, count, field, field_count, &changed)) {
        fail("a change outside the aspect field");
    }
    if (!h263_picture_read(changed.data(), length, &after)) fail("the changed header does not read");
    bool extended = before.par_code == vol_aspect_extended;
    if (extended != (after.par_code == vol_aspect_extended)) fail("the change left the header's form");
    if (after.width != before.width || after.height != before.height || after.par_bit != before.par_bit) {
        fail("the change moved another field");
    }
    if (!sar_equal(h263_picture_sar(&after), target)) fail("not the target");
}

// One range a call, as a Matroska walk hands over its frames.
HeadersFound headers_find(const HeaderInput& in, bool cut) {
    std::unique_ptr<SiteScanner> scanner(new SiteScanner);
    site_scanner_init(scanner.get(), codec_h263, nullptr);
    HeadersFound found = {h263_bytes_most, {}, {}};
    for (const PayloadRange& range : ranges_cut(in, cut)) {
        site_scan(scanner.get(), in.stream, 0, &range, 1, header_found, &found);
    }
    site_scan_finish(scanner.get(), header_found, &found);
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A raw H.263 stream after the target and the range lengths.
    HeaderInput in;
    if (!header_input_read(data, size, &in)) return 0;
    HeadersFound whole = headers_find(in, false);
    const char* broken = scans_disagree(whole, headers_find(in, true), in.stream);
    if (broken != nullptr) fail(broken);
    for (const std::vector<uint8_t>& header : whole.bytes) check_edit(header, in.target);
    return 0;
}
