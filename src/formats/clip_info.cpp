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

// The bytes of ProgramInfo, whole, through the walk's reader.
int32_t program_fetch(Walk* w, ClipProgramPlace* place, const uint8_t** info) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 0;
    int32_t result = reader_fetch(&w->reader, 0, clip_head_length, &bytes, &available);
    if (result == 0 && available < clip_head_length) result = result_read_error;
    if (result == 0) result = clip_program_start(bytes, w->reader.size, place);
    if (result == 0) result = reader_fetch(&w->reader, place->start, 4, &bytes, &available);
    if (result == 0 && available < 4) result = result_read_error;
    if (result == 0) result = clip_program_length(bytes, w->reader.size, place);
    if (result == 0) result = reader_fetch(&w->reader, place->start, place->length, info, &available);
    if (result == 0 && available < place->length) result = result_read_error;
    return result;
}

int32_t first_aspect(void* context, uint32_t offset) {
    *static_cast<uint32_t*>(context) = offset;
    return result_found;
}

}  // namespace

int32_t clip_info_walk(Walk* w) {
    ClipProgramPlace place = {};
    const uint8_t* info = nullptr;
    int32_t result = program_fetch(w, &place, &info);
    if (result != 0) return result;
    ClipFeed feed = {w, info, place.start};
    return clip_program_scan(info, place.length, aspect_feed, &feed);
}

// The first video aspect byte, once the file's whole ProgramInfo is found
// in step: a file out of step is refused before a byte of it is touched.
int32_t clip_info_head_site(FileHandleRec* file, StreamLayout* layout, SiteReading* reading, uint8_t* byte) {
    uint8_t head[clip_head_length] = {};
    uint32_t got = file_read_at(file, 0, head, sizeof head);
    if (!clip_info_probe(head, got, layout)) return result_clip_info_broken;
    ClipProgramPlace place = {};
    uint8_t first[4] = {};
    int32_t result = clip_program_start(head, file->size, &place);
    if (result == 0 && file_read_at(file, place.start, first, 4) != 4) result = result_read_error;
    if (result == 0) result = clip_program_length(first, file->size, &place);
    if (result != 0) return result;
    std::vector<uint8_t> info(place.length);
    if (file_read_at(file, place.start, info.data(), place.length) != place.length) return result_read_error;
    uint32_t offset = 0;
    result = clip_program_scan(info.data(), place.length, first_aspect, &offset);
    if (result != result_found) return result;
    *byte = info[offset];
    AspectSite site = site_clip_aspect_make(&info[offset], nullptr, nullptr);
    site_read(&site, site.bytes, reading);
    return 0;
}
