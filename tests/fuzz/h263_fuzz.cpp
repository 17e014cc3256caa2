// H.263's picture header reader, its in-place aspect change and the search
// for picture headers, on arbitrary bytes: a change must keep the header's
// form and read back as the target with no other field moved, and the
// search must find the same headers, each byte where it lies, however the
// stream is cut into ranges.
#include <cstdint>
#include <vector>

#include "codecs/h263_picture.h"
#include "codecs/mpeg4_vol.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return headers_fuzz(data, size, codec_h263, h263_bytes_most, fail, check_edit);
}
