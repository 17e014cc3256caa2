#include "formats/ebml.h"

namespace {

constexpr uint32_t id_most = 4;
constexpr uint32_t header_most = id_most + ebml_vint_most;

}  // namespace

EbmlRead ebml_header_parse(const uint8_t* bytes, uint32_t available, int64_t pos, int64_t parent_end,
                           EbmlElement* element) {
    int64_t left = parent_end - pos;
    if (left <= 0) return ebml_none;
    uint32_t have = available < left ? available : static_cast<uint32_t>(left);
    uint32_t id_length = have > 0 ? ebml_vint_length(bytes[0]) : 0;
    if (id_length == 0 || id_length > id_most || id_length >= have) return ebml_broken;
    uint32_t size_length = ebml_vint_length(bytes[id_length]);
    if (size_length == 0 || id_length + size_length > have) return ebml_broken;
    uint32_t id = 0;
    for (uint32_t k = 0; k < id_length; ++k) id = id << 8 | bytes[k];
    uint64_t size = ebml_vint_value(bytes + id_length, size_length);
    int64_t body = pos + id_length + size_length;
    bool unknown = size == ebml_vint_room(size_length) + 1;
    if (!unknown && size > static_cast<uint64_t>(parent_end - body)) return ebml_broken;
    int64_t end = unknown ? parent_end : body + static_cast<int64_t>(size);
    *element = {id, pos, pos + id_length, size_length, body, end, unknown};
    return ebml_found;
}

EbmlRead ebml_read(BlockReader* reader, int64_t pos, int64_t parent_end, EbmlElement* element, int32_t* result) {
    return reader_header_read(reader, pos, header_most, ebml_broken, result, [&](const uint8_t* b, uint32_t n) {
        return ebml_header_parse(b, n, pos, parent_end, element);
    });
}

EbmlRead ebml_read_to_cut(BlockReader* reader, int64_t pos, EbmlElement* element, bool* cut, int32_t* result) {
    EbmlRead read = ebml_read(reader, pos, reader->size, element, result);
    *cut = false;
    if (read != ebml_broken || *result != 0) return read;
    read = ebml_read(reader, pos, INT64_MAX, element, result);
    if (*result != 0) return ebml_broken;
    *cut = read == ebml_found || reader->size - pos < header_most;
    return read == ebml_found || !*cut ? read : ebml_none;
}

uint64_t ebml_uint(const uint8_t* bytes, uint32_t length) {
    uint64_t value = 0;
    for (uint32_t k = 0; k < length && k < 8; ++k) value = value << 8 | bytes[k];
    return value;
}

uint32_t ebml_string_length(const uint8_t* bytes, uint32_t length) {
    uint32_t n = 0;
    while (n < length && bytes[n] != 0) ++n;
    return n;
}
