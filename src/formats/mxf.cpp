#include "formats/mxf.h"

#include <cstring>

#include "codecs/payload.h"
#include "codecs/sar.h"
#include "fileio/result.h"

namespace {

// Keys and ULs are compared without their eighth byte, the registry's version.
bool key_is(const uint8_t* key, const uint8_t (&known)[16], uint32_t length = 16) {
    for (uint32_t k = 0; k < length; ++k) {
        if (k != 7 && key[k] != known[k]) return false;
    }
    return true;
}

constexpr uint8_t key_partition[16] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01, 0x01,
                                       0x0D, 0x01, 0x02, 0x01, 0x01, 0x00, 0x00, 0x00};
constexpr uint8_t key_primer[16] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01, 0x01,
                                    0x0D, 0x01, 0x02, 0x01, 0x01, 0x05, 0x01, 0x00};
constexpr uint8_t key_set[16] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x53, 0x01, 0x01,
                                 0x0D, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00};
constexpr uint8_t key_element[16] = {0x06, 0x0E, 0x2B, 0x34, 0x01, 0x02, 0x01, 0x01,
                                     0x0D, 0x01, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00};
// The generic, CDCI, RGBA and MPEG-2 video picture descriptors.
constexpr uint8_t picture_descriptors[] = {0x27, 0x28, 0x29, 0x51};
constexpr uint8_t set_sequence = 0x0F;
// A track's data definition: picture essence.
constexpr uint8_t picture_track[] = {0x01, 0x03, 0x02, 0x02, 0x01};
// Elements of a content package's picture item, and of a generic container's.
constexpr uint8_t picture_items[] = {0x05, 0x15};

// The items read, by their ULs' last eight bytes.
struct Item {
    uint8_t tail[8];
    uint16_t MxfPrimer::*tag;
};
constexpr Item items[] = {
    {{0x04, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00}, &MxfPrimer::aspect},
    {{0x04, 0x01, 0x05, 0x02, 0x02, 0x00, 0x00, 0x00}, &MxfPrimer::stored_width},
    {{0x04, 0x01, 0x05, 0x02, 0x01, 0x00, 0x00, 0x00}, &MxfPrimer::stored_height},
    {{0x04, 0x01, 0x05, 0x01, 0x0C, 0x00, 0x00, 0x00}, &MxfPrimer::display_width},
    {{0x04, 0x01, 0x05, 0x01, 0x0B, 0x00, 0x00, 0x00}, &MxfPrimer::display_height},
    {{0x04, 0x01, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00}, &MxfPrimer::coding},
    {{0x06, 0x01, 0x01, 0x04, 0x01, 0x02, 0x00, 0x00}, &MxfPrimer::container},
    {{0x04, 0x06, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}, &MxfPrimer::rate},
    {{0x04, 0x06, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00}, &MxfPrimer::duration},
    {{0x04, 0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, &MxfPrimer::data_definition},
    {{0x07, 0x02, 0x02, 0x01, 0x01, 0x03, 0x00, 0x00}, &MxfPrimer::length},
};

constexpr uint32_t klv_head_most = 16 + 9;
constexpr uint32_t primer_entry_bytes = 18;

uint64_t be_at(const uint8_t* b, uint32_t bytes) {
    uint64_t value = 0;
    for (uint32_t k = 0; k < bytes; ++k) value = value << 8 | b[k];
    return value;
}

// The picture coding's UL names the codec: MPEG-2 (and D-10's), MPEG-4
// visual, H.264; any other's frames are never read.
VideoCodec codec_of_coding(const uint8_t* ul, ForeignVideo* foreign) {
    static const uint8_t mpeg_family[] = {0x04, 0x01, 0x02, 0x02, 0x01};
    *foreign = {};
    if (std::memcmp(ul + 8, mpeg_family, sizeof mpeg_family) == 0) {
        if (ul[13] >= 0x01 && ul[13] <= 0x04) return codec_mpeg;
        if (ul[13] == 0x20) return codec_mpeg4;
        if (ul[13] == 0x31) return codec_avc;
    }
    static const char name[] = "MXF";
    *foreign = {foreign_other, {}};
    std::memcpy(foreign->id, name, sizeof name);
    return codec_container;
}

// What a descriptor's items say, as they come in any order.
struct Items {
    uint32_t sizes[4];  // display width and height, stored width and height
    uint64_t rate[2];
    uint64_t duration;
    bool has_duration;
};

void item_take(const uint8_t* value, uint32_t length, uint16_t tag, const MxfPrimer& p, int64_t pos, MxfDescriptor* d,
               Items* items) {
    if (tag == 0) return;
    if (tag == p.aspect && length == 8) d->aspect = pos;
    const uint16_t size_tags[] = {p.display_width, p.display_height, p.stored_width, p.stored_height};
    for (uint32_t k = 0; k < 4; ++k) {
        if (tag == size_tags[k] && length == 4) items->sizes[k] = static_cast<uint32_t>(be_at(value, 4));
    }
    if (tag == p.coding && length == 16) d->codec = codec_of_coding(value, &d->foreign);
    if (tag == p.container && length == 16) d->clip_wrapped = value[15] == 0x02;
    if (tag == p.rate && length == 8) items->rate[0] = be_at(value, 4), items->rate[1] = be_at(value + 4, 4);
    if (tag == p.duration && length == 8) items->duration = be_at(value, 8), items->has_duration = true;
}

// The picture, the playing time and the aspect shown, once every item is read.
int32_t descriptor_settle(BlockReader* r, const Items& items, MxfDescriptor* d) {
    // The stored picture is the one the codec codes and its own places
    // record the aspect of (D-10's 608 lines, of which 576 are displayed).
    d->width = items.sizes[2] != 0 ? items.sizes[2] : items.sizes[0];
    d->height = items.sizes[3] != 0 ? items.sizes[3] : items.sizes[1];
    d->rate[0] = items.rate[0];
    d->rate[1] = items.rate[1];
    if (items.has_duration) d->duration_sec = mxf_seconds(d, items.duration);
    const uint8_t* b = nullptr;
    int32_t result = 0;
    if (d->aspect < 0 || d->width == 0 || d->height == 0) return 0;
    if (!reader_fetch_whole(r, d->aspect, 8, &b, &result)) return result;
    d->shown = sar_reduced(be_at(b, 4) * d->height, be_at(b + 4, 4) * d->width);
    return 0;
}

}  // namespace

MxfRead mxf_klv_read(BlockReader* r, int64_t pos, int64_t end, MxfKlv* klv, int32_t* result) {
    *result = 0;
    if (pos >= end) return mxf_none;
    int64_t left = end - pos;
    const uint8_t* b = nullptr;
    uint32_t want = static_cast<uint32_t>(left < klv_head_most ? left : klv_head_most);
    if (!reader_fetch_whole(r, pos, want, &b, result)) return mxf_broken;
    uint32_t head = 17;
    uint64_t length = want > 16 ? b[16] : 0;
    if (want > 16 && b[16] >= 0x80) {
        uint32_t n = b[16] & 0x7F;
        head = 17 + n;
        length = n <= 8 && head <= want ? be_at(b + 17, n) : UINT64_MAX;
    }
    bool whole = want >= head && length <= static_cast<uint64_t>(left - head);
    if (!whole && (want < head || end != r->size)) {
        *result = reader_broken(r, pos, result_klv_broken);
        return mxf_broken;
    }
    std::memcpy(klv->key, b, 16);
    klv->start = pos;
    klv->body = pos + head;
    klv->end = whole ? klv->body + static_cast<int64_t>(length) : end;
    return whole ? mxf_found : mxf_cut;
}

bool mxf_opens(const uint8_t* head, uint32_t length) {
    return length >= 16 && mxf_is_partition(head) && head[13] == 0x02;
}

bool mxf_is_partition(const uint8_t* key) {
    return key_is(key, key_partition, 13) && key[13] >= 0x02 && key[13] <= 0x04;
}

bool mxf_is_primer(const uint8_t* key) {
    return key_is(key, key_primer);
}

bool mxf_is_picture_descriptor(const uint8_t* key) {
    return key_is(key, key_set, 14) && key[15] == 0x00 &&
           std::memchr(picture_descriptors, key[14], sizeof picture_descriptors) != nullptr;
}

bool mxf_is_picture_element(const uint8_t* key) {
    return key_is(key, key_element, 12) && std::memchr(picture_items, key[12], sizeof picture_items) != nullptr;
}

int32_t mxf_primer_read(BlockReader* r, const MxfKlv& klv, MxfPrimer* primer) {
    *primer = MxfPrimer{};
    const uint8_t* b = nullptr;
    int32_t result = 0;
    if (klv.end - klv.body < 8 || !reader_fetch_whole(r, klv.body, 8, &b, &result)) {
        return result != 0 ? result : reader_broken(r, klv.start, result_klv_broken);
    }
    uint64_t count = be_at(b, 4);
    if (be_at(b + 4, 4) != primer_entry_bytes || count * primer_entry_bytes > static_cast<uint64_t>(klv.end - klv.body - 8)) {
        return reader_broken(r, klv.start, result_klv_broken);
    }
    for (uint64_t k = 0; k < count; ++k) {
        if (!reader_fetch_whole(r, klv.body + 8 + static_cast<int64_t>(k * primer_entry_bytes), primer_entry_bytes, &b, &result)) return result;
        for (const Item& item : items) {
            if (std::memcmp(b + 2 + 8, item.tail, sizeof item.tail) == 0) primer->*item.tag = static_cast<uint16_t>(be_at(b, 2));
        }
    }
    return 0;
}

// Each item of a set: its tag, its length, where its value lies and its
// first 16 bytes at most.
template <typename Take>
int32_t set_items_read(BlockReader* r, const MxfKlv& klv, Take take) {
    int32_t result = 0;
    for (int64_t pos = klv.body; pos < klv.end;) {
        const uint8_t* b = nullptr;
        if (klv.end - pos < 4 || !reader_fetch_whole(r, pos, 4, &b, &result)) {
            return result != 0 ? result : reader_broken(r, pos, result_klv_broken);
        }
        uint16_t tag = static_cast<uint16_t>(be_at(b, 2));
        uint32_t length = static_cast<uint32_t>(be_at(b + 2, 2));
        if (klv.end - pos - 4 < length) return reader_broken(r, pos, result_klv_broken);
        uint32_t want = length < 16 ? length : 16;
        if (want > 0) {
            if (!reader_fetch_whole(r, pos + 4, want, &b, &result)) return result;
            take(b, length, tag, pos + 4);
        }
        pos += 4 + length;
    }
    return 0;
}

int32_t mxf_descriptor_read(BlockReader* r, const MxfKlv& klv, const MxfPrimer& primer, MxfDescriptor* d) {
    *d = MxfDescriptor{};
    d->aspect = -1;
    d->codec = codec_container;
    Items items = {};
    int32_t result = set_items_read(r, klv, [&](const uint8_t* value, uint32_t length, uint16_t tag, int64_t pos) {
        item_take(value, length, tag, primer, pos, d, &items);
    });
    return result != 0 ? result : descriptor_settle(r, items, d);
}

bool mxf_is_sequence(const uint8_t* key) {
    return key_is(key, key_set, 14) && key[14] == set_sequence && key[15] == 0x00;
}

int32_t mxf_sequence_frames(BlockReader* r, const MxfKlv& klv, const MxfPrimer& primer, uint64_t* frames) {
    bool picture = false;
    uint64_t length = 0;
    int32_t result = set_items_read(r, klv, [&](const uint8_t* value, uint32_t size, uint16_t tag, int64_t) {
        if (tag == primer.data_definition && size == 16) {
            picture = std::memcmp(value + 8, picture_track, sizeof picture_track) == 0;
        }
        if (tag == primer.length && size == 8) length = be_at(value, 8);
    });
    if (result == 0 && picture && length != UINT64_MAX && length > *frames) *frames = length;
    return result;
}

double mxf_seconds(const MxfDescriptor* d, uint64_t frames) {
    if (d->rate[0] == 0) return 0;
    return static_cast<double>(frames) * static_cast<double>(d->rate[1]) / static_cast<double>(d->rate[0]);
}
