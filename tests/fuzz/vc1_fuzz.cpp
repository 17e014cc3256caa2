// VC-1's sequence header reader, its in-place aspect change through the
// escaping and the search for sequence headers, on arbitrary bytes: a
// change must keep the header's form and length, read back as the target
// with no other field moved, and the search must find the same headers,
// each byte where it lies, however the stream is cut into ranges.
#include <cstdint>
#include <vector>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return headers_fuzz(data, size, codec_vc1, sps_bytes_most, fail, check_edit);
}
