#include "codecs/asf_aspect.h"

#include <cstring>

#include "codecs/payload.h"
#include "codecs/sar.h"

namespace {

constexpr uint32_t metadata_head_bytes = 12;
constexpr uint32_t count_at = asf_object_head_bytes;
constexpr uint32_t records_at = asf_object_head_bytes + 2;
constexpr uint16_t type_dword = 3;
// "AspectRatioX" in UTF-16LE with its terminating zero.
constexpr uint32_t name_bytes = 26;
constexpr char name_stem[] = "AspectRatio";

void le_put(uint8_t* b, uint64_t value, uint32_t bytes) {
    for (uint32_t k = 0; k < bytes; ++k) b[k] = static_cast<uint8_t>(value >> (8 * k));
}

bool opens_with(const uint8_t* bytes, uint32_t length, const uint8_t (&guid)[16]) {
    return length >= asf_object_head_bytes && std::memcmp(bytes, guid, sizeof guid) == 0;
}

AsfAspectName name_of(const uint8_t* name, uint32_t length) {
    if (length != name_bytes || name[23] != 0 || name[24] != 0 || name[25] != 0) return asf_name_other;
    for (uint32_t k = 0; k < 11; ++k) {
        if (name[2 * k] != static_cast<uint8_t>(name_stem[k]) || name[2 * k + 1] != 0) return asf_name_other;
    }
    return name[22] == 'X' ? asf_name_x : name[22] == 'Y' ? asf_name_y : asf_name_other;
}

// Where the pair lies among the site's bytes: after the head of a
// Metadata Object of it alone, or from the first byte.
bool pair_span(const AspectSite* site, const uint8_t* bytes, uint32_t* from, uint32_t* length) {
    *from = 0;
    *length = site->length;
    if (!opens_with(bytes, site->length, asf_guid_metadata)) return true;
    if (site->length < asf_pair_object_bytes || le64_at(bytes + 16) != asf_pair_object_bytes ||
        le16_at(bytes + count_at) != 2) {
        return false;
    }
    *from = records_at;
    *length = asf_pair_object_bytes - records_at;
    return true;
}

// Where the X and Y values lie among the site's bytes: false where they
// are not two DWORD aspect records, one of each.
bool values_find(const AspectSite* site, const uint8_t* bytes, uint32_t* x_at, uint32_t* y_at) {
    AsfRecordForm form = site->holder == holder_asf_content ? asf_form_descriptor : asf_form_metadata;
    uint32_t from = 0;
    uint32_t length = 0;
    if (!pair_span(site, bytes, &from, &length)) return false;
    const uint8_t* pair = bytes + from;
    AsfRecord first = {};
    AsfRecord second = {};
    if (!asf_record_read(pair, length, form, &first) || first.length >= length ||
        !asf_record_read(pair + first.length, length - static_cast<uint32_t>(first.length), form, &second)) {
        return false;
    }
    if (!first.dword || !second.dword || first.name == asf_name_other || second.name == asf_name_other ||
        first.name == second.name || first.length + second.length != length) {
        return false;
    }
    uint32_t second_at = from + static_cast<uint32_t>(first.length) + second.value_at;
    *x_at = first.name == asf_name_x ? from + first.value_at : second_at;
    *y_at = first.name == asf_name_x ? second_at : from + first.value_at;
    return true;
}

// A site's bytes decide its form, not its holder: the undo reads a
// Metadata Object written into room as the padding it was.
bool room_site(const AspectSite* site, const uint8_t* bytes) {
    return site->holder == holder_asf_header || opens_with(bytes, site->length, asf_guid_padding);
}

bool asf_site_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    if (room_site(site, bytes)) return true;
    uint32_t x_at = 0;
    uint32_t y_at = 0;
    if (!values_find(site, bytes, &x_at, &y_at)) return false;
    uint32_t x = le32_at(bytes + x_at);
    uint32_t y = le32_at(bytes + y_at);
    reading->aspect_present = x != 0 && y != 0;
    if (reading->aspect_present) reading->aspect.sar = sar_reduced(x, y);
    return true;
}

void record_put(uint8_t* out, uint16_t stream, char letter, uint32_t value) {
    le_put(out + 2, stream, 2);
    le_put(out + 4, name_bytes, 2);
    le_put(out + 6, type_dword, 2);
    le_put(out + 8, 4, 4);
    for (uint32_t k = 0; k < 11; ++k) out[metadata_head_bytes + 2 * k] = static_cast<uint8_t>(name_stem[k]);
    out[metadata_head_bytes + 22] = static_cast<uint8_t>(letter);
    le_put(out + metadata_head_bytes + name_bytes, value, 4);
}

// A Metadata Object of the pair where the Padding Object began, and the
// padding left after it.
AspectEdit room_edit(const AspectSite* site, const uint8_t* bytes, SarRatio sar, ByteChange* changes,
                     uint32_t* count) {
    if (site->holder == holder_asf_header) return aspect_edit_no_room;
    uint64_t size = le64_at(bytes + 16);
    uint64_t left = size - asf_pair_object_bytes;
    uint32_t written = left == 0 ? asf_pair_object_bytes : asf_pair_span_most;
    if (!asf_padding_room(size) || site->length < written) return aspect_edit_no_room;
    uint8_t out[asf_pair_span_most] = {};
    std::memcpy(out, asf_guid_metadata, sizeof asf_guid_metadata);
    le_put(out + 16, asf_pair_object_bytes, 8);
    le_put(out + count_at, 2, 2);
    const uint32_t record_bytes = metadata_head_bytes + name_bytes + 4;
    record_put(out + records_at, site->stream_number, 'X', sar.width);
    record_put(out + records_at + record_bytes, site->stream_number, 'Y', sar.height);
    if (left != 0) {
        std::memcpy(out + asf_pair_object_bytes, asf_guid_padding, sizeof asf_guid_padding);
        le_put(out + asf_pair_object_bytes + 16, left, 8);
    }
    for (uint32_t k = 0; k < written; ++k) {
        if (out[k] != bytes[k]) changes[(*count)++] = {k, out[k]};
    }
    return aspect_edit_changed;
}

void value_put(const uint8_t* bytes, uint32_t at, uint32_t value, ByteChange* changes, uint32_t* count) {
    for (uint32_t k = 0; k < 4; ++k) {
        uint8_t b = static_cast<uint8_t>(value >> (8 * k));
        if (bytes[at + k] != b) changes[(*count)++] = {at + k, b};
    }
}

AspectEdit asf_site_edit(const AspectSite* site, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                         uint32_t* count) {
    *count = 0;
    SarRatio sar = sar_reduced(target.sar.width, target.sar.height);
    if (sar.width == 0 || sar.height == 0) return aspect_edit_no_code;
    if (room_site(site, bytes)) return room_edit(site, bytes, sar, changes, count);
    uint32_t x_at = 0;
    uint32_t y_at = 0;
    if (!values_find(site, bytes, &x_at, &y_at)) return aspect_edit_unread;
    value_put(bytes, x_at, sar.width, changes, count);
    value_put(bytes, y_at, sar.height, changes, count);
    return *count == 0 ? aspect_edit_same : aspect_edit_changed;
}

}  // namespace

bool asf_record_read(const uint8_t* bytes, uint32_t available, AsfRecordForm form, AsfRecord* record) {
    *record = AsfRecord{};
    bool metadata = form == asf_form_metadata;
    uint32_t head = metadata ? metadata_head_bytes : 2;
    if (available < head) return false;
    uint32_t name_length = le16_at(bytes + (metadata ? 4 : 0));
    uint32_t after_name = head + name_length;
    if (!metadata && available < after_name + 4) return false;
    uint16_t type = le16_at(bytes + (metadata ? 6 : after_name));
    uint32_t data_length = metadata ? le32_at(bytes + 8) : le16_at(bytes + after_name + 2);
    record->value_at = metadata ? after_name : after_name + 4;
    record->length = uint64_t{record->value_at} + data_length;
    record->stream = metadata ? le16_at(bytes + 2) : 0;
    record->name = after_name <= available ? name_of(bytes + head, name_length) : asf_name_other;
    record->dword = type == type_dword && data_length == 4;
    return true;
}

bool asf_padding_room(uint64_t size) {
    return size == asf_pair_object_bytes || size >= asf_pair_span_most;
}

AspectSite site_asf_aspect_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                uint32_t length, const PayloadRange* range, uint32_t picture_width,
                                uint32_t picture_height, uint16_t stream) {
    AspectSite site = site_pictured(site_asf_aspect, holder, codec, bytes, pos, length, range, picture_width,
                                    picture_height);
    site.stream_number = stream;
    return site;
}

const PlaceOps asf_aspect_places = {asf_site_read, asf_site_edit, site_field_whole};
