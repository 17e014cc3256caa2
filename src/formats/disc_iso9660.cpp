#include "formats/disc_iso9660.h"

#include <cstring>

#include "codecs/payload.h"
#include "fileio/result.h"

namespace {

constexpr uint32_t descriptors_first = 16;
// No disc writes more descriptors before its terminator than this.
constexpr uint32_t descriptors_most = 64;
constexpr uint8_t descriptor_primary = 1;
constexpr uint8_t descriptor_end = 255;
constexpr uint32_t root_record = 156;
constexpr uint32_t record_least = 34;
constexpr uint8_t flag_directory = 0x02;
constexpr uint8_t flag_more_extents = 0x80;
// A DVD's root and VIDEO_TS folders hold a few dozen records.
constexpr uint32_t directory_most = 1 << 20;

struct Record {
    std::string name;  // upper case, without its version
    int64_t start;
    uint32_t length;
    uint8_t flags;
};

std::string record_name(const uint8_t* name, uint32_t length) {
    std::string text;
    for (uint32_t k = 0; k < length && name[k] != ';'; ++k) {
        char c = static_cast<char>(name[k]);
        text += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

// The record at `at` of `bytes`: false where it runs past them, or its
// name past itself.
bool record_read(const uint8_t* bytes, uint32_t size, uint32_t at, Record* record) {
    uint32_t length = bytes[at];
    if (length < record_least || at + length > size || record_least - 1 + bytes[at + 32] > length) return false;
    record->start = (int64_t{le32_at(bytes + at + 2)} + bytes[at + 1]) * disc_sector_size;
    record->length = le32_at(bytes + at + 10);
    record->flags = bytes[at + 25];
    record->name = record_name(bytes + at + 33, bytes[at + 32]);
    return true;
}

bool extent_inside(const FileHandleRec* file, const Record& r) {
    return r.start + r.length <= file->size;
}

// Every record of a directory in turn, past the self and parent records; a
// zero length byte ends the records of a sector.
template <typename Take>
int32_t directory_walk(FileHandleRec* file, const Record& directory, Take take) {
    if (directory.length > directory_most || !extent_inside(file, directory)) return result_disc_broken;
    std::vector<uint8_t> bytes(directory.length);
    if (!disc_bytes_read(file, directory.start, bytes.data(), directory.length)) return result_read_error;
    uint32_t at = 0;
    while (at < directory.length) {
        if (bytes[at] == 0) {
            at = (at / disc_sector_size + 1) * disc_sector_size;
            continue;
        }
        Record record;
        if (!record_read(bytes.data(), directory.length, at, &record)) return result_disc_broken;
        at += bytes[at];
        bool self_or_parent = record.name.size() == 1 && (record.name[0] == 0 || record.name[0] == 1);
        if (self_or_parent) continue;
        if (!extent_inside(file, record)) return result_disc_broken;
        int32_t result = take(record);
        if (result != 0) return result;
    }
    return 0;
}

// The primary volume descriptor's root directory record.
int32_t root_find(FileHandleRec* file, Record* root) {
    uint8_t sector[disc_sector_size];
    for (uint32_t k = 0; k < descriptors_most; ++k) {
        int64_t at = int64_t{descriptors_first + k} * disc_sector_size;
        if (!disc_bytes_read(file, at, sector, sizeof sector) || std::memcmp(sector + 1, "CD001", 5) != 0) {
            return k == 0 ? disc_system_absent : result_disc_broken;
        }
        if (sector[0] == descriptor_end) return result_disc_broken;
        if (sector[0] != descriptor_primary) continue;
        if (le16_at(sector + 128) != disc_sector_size || !record_read(sector, sizeof sector, root_record, root)) {
            return result_disc_broken;
        }
        return 0;
    }
    return result_disc_broken;
}

}  // namespace

int32_t iso9660_video_files(FileHandleRec* file, DiscFiles* files) {
    Record root;
    int32_t result = root_find(file, &root);
    if (result != 0) return result;
    Record video_ts = {};
    result = directory_walk(file, root, [&](const Record& r) {
        if (r.name == "VIDEO_TS" && (r.flags & flag_directory) != 0) video_ts = r;
        return 0;
    });
    if (result != 0) return result;
    if (video_ts.name.empty()) return result_disc_other;
    // The records of a file in several extents follow each other, all but
    // the last flagged.
    uint32_t extents = 0;
    int64_t start = 0;
    int64_t length = 0;
    result = directory_walk(file, video_ts, [&](const Record& r) {
        if ((r.flags & flag_directory) != 0) return 0;
        if (extents == 0) start = r.start;
        length += r.length;
        ++extents;
        if ((r.flags & flag_more_extents) != 0) return 0;
        int32_t added = disc_file_add(files, r.name, start, length, extents);
        extents = 0;
        length = 0;
        return added;
    });
    return result == 0 && extents > 0 ? result_disc_broken : result;
}
