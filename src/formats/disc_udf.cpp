#include "formats/disc_udf.h"

#include <cstring>

#include "codecs/payload.h"
#include "fileio/result.h"

namespace {

constexpr uint16_t tag_partition = 5;
constexpr uint16_t tag_logical_volume = 6;
constexpr uint16_t tag_terminating = 8;
constexpr uint16_t tag_file_set = 256;
constexpr uint16_t tag_file_identifier = 257;
constexpr uint16_t tag_file_entry = 261;
// DVD-Video's UDF; a later one (2.50 on Blu-ray) is another kind of disc.
constexpr uint16_t revision_dvd_most = 0x0102;
constexpr uint32_t sequence_most = 64;
constexpr uint32_t directory_most = 1 << 20;
constexpr uint8_t is_directory = 0x02;
constexpr uint8_t is_deleted = 0x04;
constexpr uint8_t is_parent = 0x08;
// A file entry's fields.
constexpr uint32_t entry_flags = 34;
constexpr uint32_t entry_length = 56;
constexpr uint32_t entry_attributes = 168;
constexpr uint32_t entry_descriptors = 172;
constexpr uint32_t entry_head = 176;

struct Volume {
    uint32_t partition_start;  // its sector in the image
    uint32_t partition_sectors;
    uint32_t file_set;  // block in the partition
    bool partition_found;
    bool volume_found;
};

// A file's entry: its length and the stretches of the partition it lies in.
struct Entry {
    uint64_t length;
    uint32_t first_block;
    uint32_t first_bytes;
    uint32_t extents;
    bool embedded;  // its data lie in the entry itself
    uint8_t sector[disc_sector_size];
    uint32_t data_at;  // where, when embedded
};

bool block_read(FileHandleRec* file, const Volume& v, uint32_t block, uint8_t* sector) {
    if (block >= v.partition_sectors) return false;
    return disc_bytes_read(file, (int64_t{v.partition_start} + block) * disc_sector_size, sector, disc_sector_size);
}

// The partition descriptor and the logical volume's: its block size, its
// domain's UDF revision, its one partition map and the file set's place.
int32_t volume_take(const uint8_t* d, uint16_t id, Volume* v) {
    if (id == tag_partition) {
        v->partition_start = le32_at(d + 188);
        v->partition_sectors = le32_at(d + 192);
        v->partition_found = true;
        return 0;
    }
    bool osta = std::memcmp(d + 217, "*OSTA UDF Compliant", 19) == 0;
    if (!osta || le16_at(d + 240) > revision_dvd_most) return result_disc_other;
    constexpr uint8_t map_physical = 1;
    if (le32_at(d + 212) != disc_sector_size || le32_at(d + 268) != 1 || d[440] != map_physical) {
        return result_disc_broken;
    }
    v->file_set = le32_at(d + 252);
    v->volume_found = true;
    return 0;
}

int32_t volume_read(FileHandleRec* file, Volume* v) {
    uint8_t sector[disc_sector_size];
    if (!disc_bytes_read(file, int64_t{udf_anchor_sector} * disc_sector_size, sector, sizeof sector) ||
        !udf_tag_valid(sector, udf_tag_anchor)) {
        return disc_system_absent;
    }
    uint32_t first = le32_at(sector + 20);
    uint32_t count = le32_at(sector + 16) / disc_sector_size;
    for (uint32_t k = 0; k < count && k < sequence_most; ++k) {
        if (!disc_bytes_read(file, (int64_t{first} + k) * disc_sector_size, sector, sizeof sector)) break;
        uint16_t id = le16_at(sector);
        if (!udf_tag_valid(sector, id) || id == tag_terminating) break;
        if (id != tag_partition && id != tag_logical_volume) continue;
        int32_t result = volume_take(sector, id, v);
        if (result != 0) return result;
    }
    return v->partition_found && v->volume_found ? 0 : result_disc_broken;
}

// A file entry and its allocation descriptors, each bound to the entry.
int32_t entry_read(FileHandleRec* file, const Volume& v, uint32_t block, Entry* e) {
    uint8_t* s = e->sector;
    if (!block_read(file, v, block, s) || !udf_tag_valid(s, tag_file_entry)) return result_disc_broken;
    uint32_t form = le16_at(s + entry_flags) & 7;
    uint32_t attributes = le32_at(s + entry_attributes);
    uint32_t descriptors = le32_at(s + entry_descriptors);
    if (attributes > disc_sector_size - entry_head || descriptors > disc_sector_size - entry_head - attributes) {
        return result_disc_broken;
    }
    e->length = le64_at(s + entry_length);
    e->extents = 0;
    e->first_block = 0;
    e->first_bytes = 0;
    e->embedded = form == 3;
    e->data_at = entry_head + attributes;
    if (e->embedded) return e->length <= descriptors ? 0 : result_disc_broken;
    if (form > 1) return result_disc_broken;
    uint32_t size = form == 0 ? 8 : 16;
    for (uint32_t at = e->data_at; at + size <= e->data_at + descriptors; at += size) {
        uint32_t bytes = le32_at(s + at) & 0x3FFFFFFF;
        uint32_t kind = le32_at(s + at) >> 30;
        if (bytes == 0) break;
        // A stretch allocated but not recorded has no bytes to change.
        if (kind == 1 || kind == 2 || (form == 1 && le16_at(s + at + 8) != 0)) return result_disc_broken;
        if (e->extents++ == 0) {
            e->first_block = le32_at(s + at + 4);
            e->first_bytes = bytes;
        }
    }
    if (e->extents == 0) return e->length == 0 ? 0 : result_disc_broken;
    bool whole = e->extents != 1 || (e->first_bytes >= e->length &&
                                     uint64_t{e->first_block} * disc_sector_size + e->length <=
                                         uint64_t{v.partition_sectors} * disc_sector_size);
    return whole ? 0 : result_disc_broken;
}

// A file identifier's name, 8-bit or 16-bit after its compression byte:
// its ASCII characters in upper case, any other as '?'.
std::string identifier_name(const uint8_t* name, uint32_t length) {
    std::string text;
    uint32_t step = length > 0 && name[0] == 16 ? 2 : 1;
    for (uint32_t k = 1; k + step <= length; k += step) {
        uint32_t c = step == 2 ? uint32_t{name[k]} << 8 | name[k + 1] : name[k];
        text += c >= 0x80 ? '?' : c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
    }
    return text;
}

// A directory's file identifiers, each handed its name (upper case, of
// its ASCII characters), whether it is a folder, and its entry's block.
template <typename Take>
int32_t directory_walk(FileHandleRec* file, const Volume& v, uint32_t block, Take take) {
    Entry* e = new Entry;
    int32_t result = entry_read(file, v, block, e);
    std::vector<uint8_t> bytes;
    if (result == 0 && (e->length > directory_most || e->extents > 1)) result = result_disc_broken;
    if (result == 0) {
        bytes.resize(e->length);
        if (e->embedded) {
            std::memcpy(bytes.data(), e->sector + e->data_at, bytes.size());
        } else if (e->length > 0 &&
                   !disc_bytes_read(file, (int64_t{v.partition_start} + e->first_block) * disc_sector_size,
                                    bytes.data(), static_cast<uint32_t>(bytes.size()))) {
            result = result_read_error;
        }
    }
    delete e;
    uint32_t at = 0;
    while (result == 0 && at + 38 <= bytes.size()) {
        const uint8_t* f = bytes.data() + at;
        uint32_t name_length = f[19];
        uint32_t size = (38 + le16_at(f + 36) + name_length + 3) & ~3u;
        if (!udf_tag_valid(f, tag_file_identifier) || at + size > bytes.size()) return result_disc_broken;
        std::string text = identifier_name(f + 38 + le16_at(f + 36), name_length);
        if ((f[18] & (is_parent | is_deleted)) == 0) result = take(text, (f[18] & is_directory) != 0, le32_at(f + 24));
        at += size;
    }
    return result;
}

}  // namespace

int32_t udf_video_files(FileHandleRec* file, DiscFiles* files) {
    Volume v = {};
    int32_t result = volume_read(file, &v);
    if (result != 0) return result;
    if (int64_t{v.partition_start} + v.partition_sectors > file->size / disc_sector_size) return result_disc_broken;
    uint8_t sector[disc_sector_size];
    if (!block_read(file, v, v.file_set, sector) || !udf_tag_valid(sector, tag_file_set)) return result_disc_broken;
    uint32_t video_ts = 0;
    bool found = false;
    result = directory_walk(file, v, le32_at(sector + 404), [&](const std::string& name, bool folder, uint32_t at) {
        if (folder && name == "VIDEO_TS") {
            video_ts = at;
            found = true;
        }
        return 0;
    });
    if (result != 0) return result;
    if (!found) return result_disc_other;
    Entry* e = new Entry;
    result = directory_walk(file, v, video_ts, [&](const std::string& name, bool folder, uint32_t at) {
        if (folder) return 0;
        int32_t read = entry_read(file, v, at, e);
        if (read != 0) return read;
        // Data inside the entry lie in no extent of their own.
        uint32_t extents = e->embedded ? 2 : e->extents;
        int64_t start = (int64_t{v.partition_start} + e->first_block) * disc_sector_size;
        return disc_file_add(files, name, e->extents == 0 ? 0 : start, static_cast<int64_t>(e->length), extents);
    });
    delete e;
    return result;
}
