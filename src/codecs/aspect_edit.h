// What a change of the recorded aspect makes of the bytes that record it,
// whatever records it: the bytes that change, or why none can.
#pragma once
#include <cstdint>

enum AspectEdit : int32_t {
    aspect_edit_changed,   // the changes' bytes differ; nothing else does
    aspect_edit_same,      // it holds the target already
    aspect_edit_no_field,  // no aspect information to change in place
    aspect_edit_no_code,   // the target has no code in the table the bytes use
    aspect_edit_escaping,  // the new bits would escape into another length or other bytes
    aspect_edit_unread,    // not bytes this reader understands
    aspect_edit_no_room,   // fields to add, and no room for them in place
    aspect_edit_no_place,  // it records no aspect and takes none (a track header of 0x0): left as it is
    aspect_edit_fixed,     // a codec's own header that records another aspect, which the tool never changes
};

struct ByteChange {
    uint32_t index;  // in the bytes handed over
    uint8_t value;
};

// The bytes[0, length) with the changes made, into out.
inline void changes_apply(const uint8_t* bytes, uint32_t length, const ByteChange* changes, uint32_t count,
                          uint8_t* out) {
    for (uint32_t k = 0; k < length; ++k) out[k] = bytes[k];
    for (uint32_t k = 0; k < count; ++k) out[changes[k].index] = changes[k].value;
}

// The most bytes a change rewrites: the display elements a Matroska file
// gets, with the bytes that move for them and the size fields around them
// (a pixel aspect's two 32-bit numbers take eight, a parameter set's
// explicit ones, which need not start on a byte, five).
inline constexpr uint32_t changes_most = 1024;
