#include "formats/disc_image.h"

#include <cstring>

namespace {

constexpr uint32_t sector_size = 2048;
constexpr uint32_t recognition_sector = 16;

// The first volume descriptor: ISO 9660's, or the start of UDF's volume
// recognition sequence.
bool recognised_at_16(const uint8_t* head, uint32_t length) {
    constexpr uint32_t identifier_size = 5;
    uint32_t at = recognition_sector * sector_size + 1;
    if (length < at + identifier_size) return false;
    return std::memcmp(head + at, "CD001", identifier_size) == 0 || std::memcmp(head + at, "BEA01", identifier_size) == 0;
}

// UDF's anchor volume descriptor pointer: its tag, whose checksum byte is
// the sum of the tag's other fifteen bytes.
bool anchored_at_256(const uint8_t* head, uint32_t length) {
    constexpr uint32_t anchor_tag = 2;
    constexpr uint32_t tag_size = 16;
    constexpr uint32_t tag_checksum = 4;
    uint32_t at = 256 * sector_size;
    if (length < at + tag_size) return false;
    const uint8_t* tag = head + at;
    if ((tag[0] | tag[1] << 8) != anchor_tag) return false;
    uint8_t sum = 0;
    for (uint32_t k = 0; k < tag_size; ++k) {
        if (k != tag_checksum) sum = static_cast<uint8_t>(sum + tag[k]);
    }
    return sum == tag[tag_checksum];
}

}  // namespace

bool disc_image_holds(const uint8_t* head, uint32_t length) {
    return recognised_at_16(head, length) || anchored_at_256(head, length);
}
