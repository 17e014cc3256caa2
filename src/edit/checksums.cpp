// The checksums a container keeps over the bytes of sites (Matroska's
// CRC-32 elements, Ogg pages' CRCs), kept right through a rewrite and an
// undo without reading the bytes that stay as they were. The checksum a
// run leaves is the one the file had before the tool's first change,
// changed by every covered byte that then differs from what it held: so a
// run that finishes one cut off between a site's bytes and the checksum's
// still leaves the right one.
#include <algorithm>

#include "codecs/payload.h"
#include "edit/editor_state.h"
#include "formats/crc32.h"

namespace {

bool keeps_checksums(const Editor* e) {
    return e->mode != edit_list && e->mode != edit_change_search;
}

// An undo, and the walk that looks whether it could put everything back.
bool restoring(const Editor* e) {
    return e->mode == edit_restore || e->mode == edit_held;
}

uint8_t byte_of(uint32_t value, uint32_t k) {
    return static_cast<uint8_t>(value >> (8 * k));
}

// Whether each of the checksum's listed bytes holds what it held first or
// what a run left there: the checksum of the covered bytes as they stand,
// which the run's changes ahead of it in the file made so before it. One
// cut inside its write holds some of each.
bool checksum_ours(const OpenChecksum& c, uint32_t original) {
    uint32_t consistent = original ^ c.change_before;
    for (uint32_t k = 0; k < 4; ++k) {
        uint8_t now = c.region.bytes[k];
        if (c.listed[k] && now != c.original[k] && now != byte_of(consistent, k)) return false;
    }
    return true;
}

// A rewrite records and queues the checksum's new bytes as one place; an
// undo puts back the original only where the checksum is what the tool
// made of it; a check notes that it needs a change.
int32_t checksum_settle(Editor* e, const OpenChecksum& c) {
    uint32_t now = le32_at(c.region.bytes);
    uint32_t original = le32_at(c.original);
    uint32_t target = original ^ c.change_after;
    if (now == target) return 0;
    if (e->mode == edit_check) {
        e->outcome.change_needed = true;  // a run cut off before it
        return 0;
    }
    if (restoring(e) && !checksum_ours(c, original)) {
        for (uint32_t k = 0; k < 4; ++k) {
            if (c.listed[k]) marker_altered(&e->marker, c.region.pos + k);
        }
        return 0;
    }
    int64_t pos[4];
    uint8_t value[4];
    for (uint32_t k = 0; k < 4; ++k) {
        pos[k] = c.region.pos + k;
        value[k] = byte_of(target, k);
    }
    place_fill(&e->place, pos, c.region.bytes, value, 4);
    if (restoring(e)) return place_put(e);
    std::copy(c.listed, c.listed + 4, e->place.listed);
    int32_t result = marker_ready(e);
    return result == 0 ? place_add(&e->changes, &e->place, nullptr) : result;
}

}  // namespace

int32_t checksum_open(void* context, const ChecksumRegion* region) {
    Editor* e = static_cast<Editor*>(context);
    int32_t result = checksums_close(e, region->start);
    if (result != 0 || !keeps_checksums(e)) return result;
    if (e->checksum_count == open_checksums_most) return reader_broken(&e->walk.reader, region->start, result_element_broken);
    OpenChecksum& c = e->checksums[e->checksum_count++];
    c = OpenChecksum{*region, {}, {}, 0, 0};
    for (uint32_t k = 0; k < 4; ++k) {
        c.original[k] = region->bytes[k];
        c.listed[k] = e->marker_open && marker_listed(&e->marker, region->pos + k, &c.original[k]);
    }
    return 0;
}

int32_t checksums_close(Editor* e, int64_t pos) {
    int32_t result = 0;
    while (result == 0 && e->checksum_count > 0 && e->checksums[e->checksum_count - 1].region.end <= pos) {
        result = checksum_settle(e, e->checksums[--e->checksum_count]);
    }
    return result;
}

void checksum_note(Editor* e, int64_t pos, uint8_t original, uint8_t now, uint8_t after) {
    for (uint32_t k = 0; k < e->checksum_count; ++k) {
        OpenChecksum& c = e->checksums[k];
        if (pos < c.region.start || pos >= c.region.end) continue;
        uint64_t bytes_after = static_cast<uint64_t>(c.region.end - 1 - pos);
        auto change = c.region.form == checksum_ogg_crc ? crc32_ogg_byte_change : crc32_byte_change;
        if (original != now) c.change_before ^= change(original ^ now, bytes_after);
        if (original != after) c.change_after ^= change(original ^ after, bytes_after);
    }
}
