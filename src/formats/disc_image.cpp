#include "formats/disc_image.h"

#include <cstring>

#include "codecs/payload.h"
#include "fileio/result.h"

namespace {

constexpr uint32_t recognition_sector = 16;

// The first volume descriptor: ISO 9660's, or the start of UDF's volume
// recognition sequence.
bool recognised_at_16(const uint8_t* head, uint32_t length) {
    constexpr uint32_t identifier_size = 5;
    uint32_t at = recognition_sector * disc_sector_size + 1;
    if (length < at + identifier_size) return false;
    return std::memcmp(head + at, "CD001", identifier_size) == 0 || std::memcmp(head + at, "BEA01", identifier_size) == 0;
}

bool anchored_at_256(const uint8_t* head, uint32_t length) {
    uint32_t at = udf_anchor_sector * disc_sector_size;
    return length >= at + udf_tag_size && udf_tag_valid(head + at, udf_tag_anchor);
}

}  // namespace

bool udf_tag_valid(const uint8_t* tag, uint16_t id) {
    uint8_t sum = 0;
    for (uint32_t k = 0; k < udf_tag_size; ++k) {
        if (k != 4) sum = static_cast<uint8_t>(sum + tag[k]);
    }
    return sum == tag[4] && le16_at(tag) == id;
}

bool disc_image_holds(const uint8_t* head, uint32_t length) {
    return recognised_at_16(head, length) || anchored_at_256(head, length);
}

bool disc_bytes_read(FileHandleRec* file, int64_t at, uint8_t* bytes, uint32_t length) {
    if (at < 0 || at > file->size || length > file->size - at) return false;
    return file_read_at(file, at, bytes, length) == length;
}

int32_t disc_file_add(DiscFiles* files, const std::string& name, int64_t start, int64_t length, uint32_t extents) {
    if (extents > 1) return result_disc_split;
    files->push_back({name, start, length});
    return 0;
}

const DiscFile* disc_file_find(const DiscFiles& files, const char* name) {
    for (const DiscFile& f : files) {
        if (f.name == name) return &f;
    }
    return nullptr;
}
