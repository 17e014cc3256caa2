// Where an ISO sample entry's pasp is, or would go: in the room of a free
// or skip box among the entry's children or right after the entry. The
// site is framed by the same bytes before a pasp goes there and after, so
// that an undo meets what the change wrote (see codecs/pixel_aspect.h).
#include "codecs/pixel_aspect.h"
#include "formats/iso_media.h"

namespace {

bool room_type(uint32_t type) {
    return type == box_type("free") || type == box_type("skip");
}

// Whether the box at pos, inside the entry or right after it in stsd, is a
// free or skip box: its head is then a site's too. A box that does not
// read there is none.
BoxRead room_follows(BlockReader* r, const IsoBox* stsd, const IsoBox* entry, int64_t pos, bool* follows,
                     int32_t* result) {
    IsoBox next;
    BoxRead read = box_read(r, pos, pos < entry->end ? entry->end : stsd->end, &next, result);
    *follows = read == box_found && room_type(next.type);
    return *result != 0 ? box_broken : box_found;
}

}  // namespace

bool iso_room_holds(const IsoBox* box) {
    int64_t total = box->end - box->start;
    return room_type(box->type) &&
           (total == pixel_aspect_box_bytes || total >= pixel_aspect_box_bytes + pair_head_bytes);
}

BoxRead iso_pair_place(BlockReader* r, const IsoBox* stsd, const IsoBox* entry, const IsoBox* pasp,
                       const IsoBox* room, IsoPairPlace* place, int32_t* result) {
    *place = IsoPairPlace{entry->start, 1, false, -1, 0};
    const IsoBox* at = pasp != nullptr ? pasp : room;
    IsoBox after;
    if (at == nullptr) {
        BoxRead read = box_read(r, entry->end, stsd->end, &after, result);
        if (*result != 0) return box_broken;
        if (read == box_found && iso_room_holds(&after)) at = &after;
    }
    place->missing = at == nullptr;
    if (at == nullptr) return box_found;
    place->at = at->start;
    // A room of more than a pasp keeps a head after it; else the box that
    // follows may be a free or skip box, whose head the site holds alike
    // before and after.
    bool follows = at != pasp && at->end - at->start > pixel_aspect_box_bytes;
    if (!follows && room_follows(r, stsd, entry, at->start + pixel_aspect_box_bytes, &follows, result) != box_found) {
        return box_broken;
    }
    place->heads = follows ? 2 : 1;
    if (at->start == entry->end || at->start + pixel_aspect_box_bytes == entry->end) {
        bool wide = entry->body - entry->start == 16;
        place->entry_size = entry->start + (wide ? 8 : 0);
        place->entry_size_length = wide ? 8 : 4;
    }
    return box_found;
}
