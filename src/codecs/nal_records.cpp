#include "codecs/nal_records.h"

#include "codecs/framing.h"

namespace {

constexpr uint32_t avc_record_sets_at = 5;   // after version, profile, compatibility, level, length size
constexpr uint32_t hevc_record_arrays_at = 22;

uint32_t be16(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) << 8 | b[1];
}

// One unit behind a 16-bit length at `at`: kept when it is a sequence
// parameter set; false when it runs past the record.
bool record_unit(VideoCodec codec, const uint8_t* bytes, uint32_t length, uint32_t* at, ConfigRecord* record) {
    if (length - *at < 2) return false;
    uint32_t unit = nal_length_field(bytes + *at, 2);
    *at += 2;
    if (unit > length - *at) return false;
    if (sps_nal_is(codec, bytes + *at, unit) && record->set_count < record_sets_most) {
        record->sets[record->set_count++] = {*at, unit};
    }
    *at += unit;
    return true;
}

bool avc_record_read(const uint8_t* bytes, uint32_t length, ConfigRecord* record) {
    if (length < avc_record_sets_at + 1) return false;
    uint32_t at = avc_record_sets_at + 1;
    uint32_t sets = bytes[avc_record_sets_at] & 0x1F;
    for (uint32_t k = 0; k < sets; ++k) {
        if (!record_unit(codec_avc, bytes, length, &at, record)) return false;
    }
    return true;
}

bool hevc_record_read(const uint8_t* bytes, uint32_t length, ConfigRecord* record) {
    if (length < hevc_record_arrays_at + 1) return false;
    uint32_t at = hevc_record_arrays_at + 1;
    uint32_t arrays = bytes[hevc_record_arrays_at];
    for (uint32_t a = 0; a < arrays; ++a) {
        if (length - at < 3) return false;
        uint32_t units = be16(bytes + at + 1);
        at += 3;
        for (uint32_t k = 0; k < units; ++k) {
            if (!record_unit(codec_hevc, bytes, length, &at, record)) return false;
        }
    }
    return true;
}

}  // namespace

bool config_record_read(VideoCodec codec, const uint8_t* bytes, uint32_t length, ConfigRecord* record) {
    *record = ConfigRecord{};
    // Byte 4 (avcC) or 21 (hvcC) ends in the length field's size less one.
    uint32_t size_at = codec == codec_hevc ? hevc_record_arrays_at - 1 : avc_record_sets_at - 1;
    if (length <= size_at) return false;
    record->length_size = (bytes[size_at] & 3) + 1;
    if (record->length_size == 3) return false;
    return codec == codec_hevc ? hevc_record_read(bytes, length, record) : avc_record_read(bytes, length, record);
}
