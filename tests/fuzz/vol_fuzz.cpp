// MPEG-4 video's VOL reader, its in-place aspect change and the search for
// VOLs, on arbitrary bytes: a change must keep the VOL's form and read back
// as the target with no other field moved, and the search must find the
// same VOLs, each byte where it lies, however the stream is cut into ranges.
#include <cstdint>
#include <vector>

#include "codecs/mpeg4_vol.h"
#include "header_checks.h"

namespace {

void fail(const char* what) {
    promise_broken("VOL", what);
}

void check_edit(const std::vector<uint8_t>& vol, SarRatio target) {
    ByteChange changes[changes_most];
    uint32_t count = 0;
    uint32_t length = static_cast<uint32_t>(vol.size());
    AspectEdit edit = vol_aspect_edit(vol.data(), length, target, changes, &count);
    if (edit != aspect_edit_changed) {
        if (count != 0) fail("changes given for a VOL left alone");
        return;
    }
    VolInfo before;
    VolInfo after;
    if (!vol_read(vol.data(), length, &before)) fail("changed a VOL that does not read");
    uint32_t field[changes_most];
    uint32_t field_count = vol_field_bytes(vol.data(), length, field);
    std::vector<uint8_t> changed;
    if (!changes_made(vol.data(), length, changes, count, field, field_count, &changed)) {
        fail("a change outside the aspect field");
    }
    if (!vol_read(changed.data(), length, &after)) fail("the changed VOL does not read");
    bool extended = before.aspect_info == vol_aspect_extended;
    if (extended != (after.aspect_info == vol_aspect_extended)) fail("the change left the VOL's form");
    if (after.width != before.width || after.height != before.height || after.aspect_bit != before.aspect_bit) {
        fail("the change moved another field");
    }
    if (!sar_equal(vol_sar(&after), target)) fail("not the target");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return headers_fuzz(data, size, codec_mpeg4, vol_bytes_most, fail, check_edit);
}
