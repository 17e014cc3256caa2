#include "formats/asf.h"

#include <cstring>

#include "codecs/asf_aspect.h"
#include "codecs/payload.h"
#include "codecs/sar.h"
#include "fileio/result.h"
#include "formats/codec_ids.h"

namespace {

using Guid = uint8_t[16];

// GUIDs as the file holds them: their first three fields little-endian.
constexpr Guid guid_header = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid guid_file_properties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                       0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid guid_stream_properties = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid guid_header_extension = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid guid_metadata_library = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                                        0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};
constexpr Guid guid_content_description = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                           0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr Guid guid_data = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid guid_video_media = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                   0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr uint32_t object_head_bytes = asf_object_head_bytes;
constexpr uint32_t header_head_bytes = 30;
constexpr uint32_t extension_head_bytes = 46;
constexpr uint32_t records_at = 26;  // after an object's head and its count
// A File Properties Object as far as its packet sizes; a Stream Properties
// Object of a video stream as far as its BITMAPINFOHEADER's compression.
constexpr uint32_t file_properties_bytes = 100;
constexpr uint32_t video_properties_bytes = 109;
// Where a video stream's BITMAPINFOHEADER begins, after its format's size.
constexpr uint32_t bitmap_header_at = 89;
constexpr uint32_t bitmap_header_bytes = 40;
constexpr uint16_t stream_number_mask = 0x7F;
constexpr uint16_t stream_encrypted = 0x8000;

bool guid_is(const uint8_t* bytes, const Guid& guid) {
    return std::memcmp(bytes, guid, sizeof guid) == 0;
}

struct Object {
    const uint8_t* guid;  // valid until the next fetch
    int64_t start;
    int64_t end;
};

// The object at pos of a parent that ends at `end`: false, with the damage
// noted, where its head or size runs past it.
bool object_read(BlockReader* r, int64_t pos, int64_t end, Object* o, int32_t* result) {
    const uint8_t* b = nullptr;
    if (end - pos < object_head_bytes || !reader_fetch_whole(r, pos, object_head_bytes, &b, result)) {
        if (*result == 0) *result = reader_broken(r, pos, result_object_broken);
        return false;
    }
    uint64_t size = le64_at(b + 16);
    if (size < object_head_bytes || size > static_cast<uint64_t>(end - pos)) {
        *result = reader_broken(r, pos, result_object_broken);
        return false;
    }
    *o = {b, pos, pos + static_cast<int64_t>(size)};
    return true;
}

// Each child of a parent from `first` to `end`, in order, until one's result is not 0.
template <typename Each>
int32_t children_each(BlockReader* r, int64_t first, int64_t end, Each each) {
    int32_t result = 0;
    for (int64_t pos = first; pos < end && result == 0;) {
        Object o = {};
        if (!object_read(r, pos, end, &o, &result)) return result;
        Guid guid;
        std::memcpy(guid, o.guid, sizeof guid);
        result = each(guid, o);
        pos = o.end;
    }
    return result;
}

void file_properties_read(BlockReader* r, const Object& o, AsfFile* f, int32_t* result) {
    const uint8_t* b = nullptr;
    if (o.end - o.start < file_properties_bytes || !reader_fetch_whole(r, o.start, file_properties_bytes, &b, result)) return;
    // In 100 ns units, the preroll (in ms) taken off the play duration.
    uint64_t play = le64_at(b + 64);
    uint64_t preroll = le64_at(b + 80) * 10000;
    f->duration_sec = play > preroll ? static_cast<double>(play - preroll) / 1e7 : 0;
    uint32_t least = le32_at(b + 92);
    f->packet_size = least == le32_at(b + 96) ? least : 0;
}

void other_note(AsfFile* f, uint16_t stream, ForeignVideo codec) {
    if (f->others++ > 0) return;
    f->other_stream = stream;
    f->other_codec = codec;
}

void stream_properties_read(BlockReader* r, const Object& o, AsfFile* f, int32_t* result) {
    const uint8_t* b = nullptr;
    if (o.end - o.start < video_properties_bytes || !reader_fetch_whole(r, o.start, video_properties_bytes, &b, result)) return;
    if (!guid_is(b + object_head_bytes, guid_video_media)) return;
    uint16_t flags = le16_at(b + 72);
    ForeignVideo foreign = {};
    VideoCodec codec = codec_of_fourcc(le32_at(b + 105), &foreign);
    if (f->found) return other_note(f, flags & stream_number_mask, foreign);
    f->found = true;
    f->sealed = (flags & stream_encrypted) != 0;
    f->stream = flags & stream_number_mask;
    f->codec = codec;
    f->foreign = foreign;
    f->width = le32_at(b + 78);
    f->height = le32_at(b + 82);
    int64_t extra = o.start + bitmap_header_at + bitmap_header_bytes;
    int64_t extra_end = o.start + bitmap_header_at + le16_at(b + bitmap_header_at - 2);
    if (extra_end > o.end) extra_end = o.end;
    if (extra_end > extra) {
        f->extra = extra;
        f->extra_length = static_cast<uint32_t>(extra_end - extra);
    }
}

// The aspect record read last, waiting for its other half.
struct PairOpen {
    bool open;
    int64_t pos;
    int64_t end;
    AsfRecord record;
};

int32_t pair_note(BlockReader* r, AsfFile* f, const PairOpen& first, const AsfRecord& second, SiteHolder holder) {
    if (f->pair_count == asf_pairs_most) return reader_broken(r, first.pos, result_object_broken);
    const uint8_t* b = nullptr;
    int32_t result = 0;
    uint32_t length = static_cast<uint32_t>(first.record.length + second.length);
    if (!reader_fetch_whole(r, first.pos, length, &b, &result)) return result != 0 ? result : result_object_broken;
    uint32_t x_at = first.record.name == asf_name_x ? first.record.value_at : length - 4;
    uint32_t y_at = first.record.name == asf_name_x ? length - 4 : first.record.value_at;
    uint32_t x = le32_at(b + x_at);
    uint32_t y = le32_at(b + y_at);
    SarRatio sar = x != 0 && y != 0 ? sar_reduced(x, y) : SarRatio{0, 0};
    f->pairs[f->pair_count++] = {first.pos, length, holder, first.record.stream, sar};
    return 0;
}

// An aspect record pairs with the one before it where that is its other
// half, of the same stream, next to it; one left alone, or of a type
// other than a DWORD, is a form the tool does not take.
int32_t record_take(BlockReader* r, AsfFile* f, PairOpen* open, int64_t pos, const AsfRecord& rec, SiteHolder holder) {
    bool aspect = rec.name != asf_name_other;
    bool pairs = aspect && open->open && open->end == pos && open->record.stream == rec.stream &&
                 open->record.name != rec.name;
    if (open->open && !pairs) return reader_broken(r, open->pos, result_object_broken);
    if (aspect && !rec.dword) return reader_broken(r, pos, result_object_broken);
    if (pairs) {
        open->open = false;
        return pair_note(r, f, *open, rec, holder);
    }
    if (aspect) *open = {true, pos, pos + static_cast<int64_t>(rec.length), rec};
    return 0;
}

int32_t records_read(BlockReader* r, const Object& o, AsfFile* f, SiteHolder holder) {
    AsfRecordForm form = holder == holder_asf_content ? asf_form_descriptor : asf_form_metadata;
    const uint8_t* b = nullptr;
    int32_t result = 0;
    if (o.end - o.start < records_at || !reader_fetch_whole(r, o.start, records_at, &b, &result)) {
        return result != 0 ? result : reader_broken(r, o.start, result_object_broken);
    }
    uint32_t count = le16_at(b + object_head_bytes);
    PairOpen open = {};
    int64_t pos = o.start + records_at;
    for (uint32_t k = 0; k < count && result == 0; ++k) {
        int64_t left = o.end - pos;
        uint32_t want = static_cast<uint32_t>(left < reader_fetch_most ? left : reader_fetch_most);
        AsfRecord rec = {};
        if (!reader_fetch_whole(r, pos, want, &b, &result) || !asf_record_read(b, want, form, &rec) ||
            rec.length > static_cast<uint64_t>(left)) {
            return result != 0 ? result : reader_broken(r, pos, result_object_broken);
        }
        result = record_take(r, f, &open, pos, rec, holder);
        pos += static_cast<int64_t>(rec.length);
    }
    return result == 0 && open.open ? reader_broken(r, open.pos, result_object_broken) : result;
}

// A Metadata Object that holds the pair alone is the pair's site, with
// the head of a Padding Object right after it: so a Metadata Object
// written into room is read again as the bytes the room's site held.
void pair_object_widen(const Object& o, uint32_t pairs_before, AsfFile* f, int64_t* widened) {
    AsfPair& pair = f->pairs[pairs_before];
    bool alone = f->pair_count == pairs_before + 1 && o.end - o.start == asf_pair_object_bytes &&
                 pair.pos == o.start + records_at;
    if (!alone) return;
    pair.pos = o.start;
    pair.length = asf_pair_object_bytes;
    *widened = pairs_before;
}

void padding_note(const Object& o, AsfFile* f, int64_t widened) {
    if (widened >= 0 && f->pairs[widened].pos + f->pairs[widened].length == o.start) {
        f->pairs[widened].length += object_head_bytes;
    }
    uint64_t size = static_cast<uint64_t>(o.end - o.start);
    if (f->room >= 0 || !asf_padding_room(size)) return;
    f->room = o.start;
    f->room_length = static_cast<uint32_t>(size < asf_pair_span_most ? size : asf_pair_span_most);
}

int32_t extension_read(BlockReader* r, const Object& o, AsfFile* f) {
    f->extension = o.start;
    if (o.end - o.start < extension_head_bytes) return reader_broken(r, o.start, result_object_broken);
    int64_t widened = -1;
    return children_each(r, o.start + extension_head_bytes, o.end, [&](const Guid& guid, const Object& c) {
        int64_t after = widened;
        widened = -1;
        uint32_t pairs_before = f->pair_count;
        int32_t result = 0;
        if (guid_is(guid, asf_guid_padding)) padding_note(c, f, after);
        if (guid_is(guid, guid_metadata_library)) result = records_read(r, c, f, holder_asf_library);
        if (guid_is(guid, asf_guid_metadata)) {
            result = records_read(r, c, f, holder_asf_metadata);
            if (result == 0) pair_object_widen(c, pairs_before, f, &widened);
        }
        return result;
    });
}

// The Data Object after the Header Object; one whose size runs past the
// file (a recording stopped early) or is not known ends with it.
void data_find(BlockReader* r, int64_t pos, AsfFile* f, int32_t* result) {
    const uint8_t* b = nullptr;
    if (r->size - pos < object_head_bytes || !reader_fetch_whole(r, pos, object_head_bytes, &b, result)) return;
    if (!guid_is(b, guid_data)) return;
    uint64_t size = le64_at(b + 16);
    f->data = pos;
    f->data_end = size >= object_head_bytes && size <= static_cast<uint64_t>(r->size - pos)
                      ? pos + static_cast<int64_t>(size)
                      : r->size;
}

int32_t header_child(BlockReader* r, const Guid& guid, const Object& o, AsfFile* f) {
    int32_t result = 0;
    if (guid_is(guid, guid_file_properties)) file_properties_read(r, o, f, &result);
    if (guid_is(guid, guid_stream_properties)) stream_properties_read(r, o, f, &result);
    if (guid_is(guid, guid_header_extension)) return extension_read(r, o, f);
    if (guid_is(guid, guid_content_description)) return records_read(r, o, f, holder_asf_content);
    return result;
}

}  // namespace

bool asf_opens(const uint8_t* head, uint32_t length) {
    return length >= header_head_bytes && guid_is(head, guid_header);
}

int32_t asf_header_read(BlockReader* r, AsfFile* f) {
    *f = AsfFile{};
    f->extension = -1;
    f->room = -1;
    f->extra = -1;
    f->data = -1;
    Object header = {};
    int32_t result = 0;
    if (!object_read(r, 0, r->size, &header, &result)) return result;
    result = children_each(r, header_head_bytes, header.end,
                           [&](const Guid& guid, const Object& o) { return header_child(r, guid, o, f); });
    if (result == 0) data_find(r, header.end, f, &result);
    return result;
}
