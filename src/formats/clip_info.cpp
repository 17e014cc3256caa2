#include "formats/clip_info.h"

#include <cstring>
#include <vector>

#include "codecs/clip_aspect.h"
#include "codecs/codec_table.h"
#include "codecs/payload.h"
#include "fileio/fileio.h"
#include "fileio/result.h"
#include "formats/format.h"
#include "formats/walk.h"

namespace {

constexpr char type_indicator[] = "HDMV";
constexpr const char* versions[] = {"0100", "0200", "0300"};
constexpr uint32_t sequence_info_at = 8;
constexpr uint32_t program_info_at = 12;
constexpr uint32_t cpi_at = 16;
constexpr uint32_t extension_data_at = 24;
// The extension data's head: its length, the address of its blocks, three
// reserved bytes and the number of entries; each entry: its two ids, the
// address of its block (from the extension data's start) and its length.
constexpr uint32_t extension_head = 12;
constexpr uint32_t extension_entry = 12;
constexpr uint16_t extension_3d = 2;
constexpr uint16_t extension_program_ss = 5;
constexpr uint32_t program_head = 6;   // length, reserved, number_of_program_sequences
constexpr uint32_t sequence_head = 8;  // SPN start, program_map_PID, number_of_streams_in_ps, reserved
constexpr uint32_t video_coding_least = 3;  // coding type, format and rate, aspect and flags
constexpr uint16_t secondary_video_first = 0x1B00;
constexpr uint16_t secondary_video_last = 0x1B1F;

uint16_t be16_at(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

bool video_coding(uint8_t type) {
    return type == 0x01 || type == 0x02 || type == 0x1B || type == 0x20 || type == 0x24 || type == 0xEA;
}

// One stream's entry at `at`: where the next begins, and the offset of its
// aspect byte where it is the clip's video (0 otherwise); false where it
// runs past `end`.
bool stream_entry(const uint8_t* info, uint32_t at, uint32_t end, uint32_t* next, uint32_t* aspect) {
    if (at + 3 > end) return false;
    uint16_t pid = be16_at(info + at);
    uint32_t coding_length = info[at + 2];
    *next = at + 3 + coding_length;
    if (*next > end || coding_length == 0) return false;
    *aspect = 0;
    if (!video_coding(info[at + 3])) return true;
    if (coding_length < video_coding_least) return false;
    if (pid < secondary_video_first || pid > secondary_video_last) *aspect = at + 5;
    return true;
}

// One pass over the program sequences: counts the aspect bytes, and hands
// them where a handler is given.
int32_t program_pass(const uint8_t* info, uint32_t end, ClipAspectHandler on_aspect, void* context,
                     uint32_t* found) {
    *found = 0;
    uint32_t sequences = info[5];
    if (sequences == 0) return result_clip_info_broken;
    uint32_t at = program_head;
    for (uint32_t s = 0; s < sequences; ++s) {
        if (at + sequence_head > end) return result_clip_info_broken;
        uint32_t streams = info[at + 6];
        at += sequence_head;
        for (uint32_t k = 0; k < streams; ++k) {
            uint32_t aspect = 0;
            if (!stream_entry(info, at, end, &at, &aspect)) return result_clip_info_broken;
            if (aspect == 0) continue;
            ++*found;
            int32_t result = on_aspect != nullptr ? on_aspect(context, aspect) : 0;
            if (result != 0) return result;
        }
    }
    return 0;
}

}  // namespace

int32_t clip_program_start(const uint8_t* head, int64_t file_size, ClipProgramPlace* place) {
    uint32_t sequence = be32_at(head + sequence_info_at);
    uint32_t program = be32_at(head + program_info_at);
    *place = {program, 0, be32_at(head + cpi_at)};
    bool placed = sequence >= clip_head_length && program >= sequence + 4 && program + int64_t{program_head} <= file_size;
    return placed ? 0 : result_clip_info_broken;
}

int32_t clip_program_length(const uint8_t* first, int64_t file_size, ClipProgramPlace* place) {
    uint32_t length = be32_at(first);
    if (length < program_head - 4 || length > clip_program_most - 4) return result_clip_info_broken;
    place->length = length + 4;
    int64_t end = place->start + place->length;
    bool placed = end <= file_size && (place->cpi == 0 || place->cpi >= end);
    return placed ? 0 : result_clip_info_broken;
}

int32_t clip_program_scan(const uint8_t* info, uint32_t length, ClipAspectHandler on_aspect, void* context) {
    uint32_t found = 0;
    int32_t result = program_pass(info, length, nullptr, nullptr, &found);
    if (result != 0) return result;
    if (found == 0) return result_no_mpeg_video;
    return program_pass(info, length, on_aspect, context, &found);
}

// The type indicator and a version whose layout is the one read here.
bool clip_info_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    if (length < clip_head_length || std::memcmp(head, type_indicator, 4) != 0) return false;
    bool known = false;
    for (const char* version : versions) known = known || std::memcmp(head + 4, version, 4) == 0;
    if (!known) return false;
    *layout = {stream_clip_info, {0, 0}, codec_clip_info};
    return true;
}

namespace {

// Where a walk or a look reads the file: `want` bytes at `at`, whole, or
// result_read_error.
struct ClipSource {
    int32_t (*read)(void* context, int64_t at, uint32_t want, const uint8_t** bytes);
    void* context;
    int64_t size;
};

int32_t program_length_read(const ClipSource* source, ClipProgramPlace* place) {
    const uint8_t* bytes = nullptr;
    int32_t result = source->read(source->context, place->start, 4, &bytes);
    return result != 0 ? result : clip_program_length(bytes, source->size, place);
}

// The 3D extension's ProgramInfo, where the extension data at `at` lists
// one (its entry 2 and 5): each entry inside the extension data, and that
// ProgramInfo inside its entry.
int32_t extension_program_find(const ClipSource* source, int64_t at, ClipProgramPlace* place, bool* present) {
    *present = false;
    const uint8_t* bytes = nullptr;
    if (at < clip_head_length || at + int64_t{extension_head} > source->size) return result_clip_info_broken;
    int32_t result = source->read(source->context, at, extension_head, &bytes);
    if (result != 0) return result;
    int64_t end = at + 4 + be32_at(bytes);
    uint32_t entries = bytes[extension_head - 1];
    if (be32_at(bytes) == 0) return 0;
    if (end > source->size || at + extension_head + int64_t{entries} * extension_entry > end) {
        return result_clip_info_broken;
    }
    result = source->read(source->context, at + extension_head, entries * extension_entry, &bytes);
    for (uint32_t k = 0; result == 0 && k < entries; ++k) {
        const uint8_t* entry = bytes + k * extension_entry;
        int64_t start = at + be32_at(entry + 4);
        int64_t length = be32_at(entry + 8);
        if (start + length > end) return result_clip_info_broken;
        if (be16_at(entry) != extension_3d || be16_at(entry + 2) != extension_program_ss) continue;
        *place = {start, 0, 0};
        result = program_length_read(source, place);
        if (result == 0 && place->length > length) result = result_clip_info_broken;
        *present = result == 0;
        return result;
    }
    return result;
}

// Both ProgramInfos' places: the file's, and the 3D extension's where it
// has one. *count gets how many.
int32_t programs_find(const ClipSource* source, ClipProgramPlace* places, uint32_t* count) {
    *count = 0;
    const uint8_t* head = nullptr;
    int32_t result = source->read(source->context, 0, clip_head_length, &head);
    if (result == 0) result = clip_program_start(head, source->size, &places[0]);
    if (result != 0) return result;
    int64_t extension_at = be32_at(head + extension_data_at);
    result = program_length_read(source, &places[0]);
    if (result != 0) return result;
    *count = 1;
    bool present = false;
    result = extension_at == 0 ? 0 : extension_program_find(source, extension_at, &places[1], &present);
    if (present && result == 0) *count = 2;
    return result;
}

// Scans the ProgramInfo at `place`, whose bytes are `info`: the extension's
// may hold no video of the clip's own.
int32_t program_scan(const uint8_t* info, const ClipProgramPlace* place, bool extension, ClipAspectHandler on_aspect,
                     void* context) {
    int32_t result = clip_program_scan(info, place->length, on_aspect, context);
    return extension && result == result_no_mpeg_video ? 0 : result;
}

int32_t walk_read(void* context, int64_t at, uint32_t want, const uint8_t** bytes) {
    uint32_t available = 0;
    int32_t result = reader_fetch(&static_cast<Walk*>(context)->reader, at, want, bytes, &available);
    return result == 0 && available < want ? result_read_error : result;
}

struct FileSource {
    FileHandleRec* file;
    std::vector<uint8_t> bytes;
};

int32_t file_source_read(void* context, int64_t at, uint32_t want, const uint8_t** bytes) {
    FileSource* source = static_cast<FileSource*>(context);
    source->bytes.resize(want);
    *bytes = source->bytes.data();
    return file_read_at(source->file, at, source->bytes.data(), want) == want ? 0 : result_read_error;
}

struct ClipFeed {
    Walk* walk;
    const uint8_t* info;
    int64_t start;
};

int32_t aspect_feed(void* context, uint32_t offset) {
    ClipFeed* feed = static_cast<ClipFeed*>(context);
    int64_t pos = feed->start + offset;
    return walk_feed_one(feed->walk, feed->info, feed->start, offset, offset + 1, pos, feed->walk->reader.size);
}

int32_t first_aspect(void* context, uint32_t offset) {
    *static_cast<uint32_t*>(context) = offset;
    return result_found;
}

}  // namespace

int32_t clip_info_walk(Walk* w) {
    ClipSource source = {walk_read, w, w->reader.size};
    ClipProgramPlace places[2] = {};
    uint32_t count = 0;
    int32_t result = programs_find(&source, places, &count);
    for (uint32_t k = 0; result == 0 && k < count; ++k) {
        ClipFeed feed = {w, nullptr, places[k].start};
        result = walk_read(w, places[k].start, places[k].length, &feed.info);
        if (result == 0) result = program_scan(feed.info, &places[k], k > 0, aspect_feed, &feed);
    }
    return result;
}

// The first video aspect byte, once both ProgramInfos are found in step: a
// file out of step is refused before a byte of it is touched.
int32_t clip_info_head_site(FileHandleRec* file, StreamLayout* layout, SiteReading* reading, uint8_t* byte) {
    uint8_t head[clip_head_length] = {};
    if (!clip_info_probe(head, file_read_at(file, 0, head, sizeof head), layout)) return result_clip_info_broken;
    FileSource from = {file, {}};
    ClipSource source = {file_source_read, &from, file->size};
    ClipProgramPlace places[2] = {};
    uint32_t count = 0;
    int32_t result = programs_find(&source, places, &count);
    for (uint32_t k = count; result == 0 && k-- > 0;) {
        const uint8_t* info = nullptr;
        uint32_t offset = 0;
        result = file_source_read(&from, places[k].start, places[k].length, &info);
        if (result == 0) result = program_scan(info, &places[k], k > 0, k > 0 ? nullptr : first_aspect, &offset);
        if (k > 0 || result != result_found) continue;
        result = 0;
        *byte = info[offset];
        AspectSite site = site_clip_aspect_make(&info[offset], nullptr, nullptr);
        site_read(&site, site.bytes, reading);
    }
    return result;
}
