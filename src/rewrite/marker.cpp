#include "rewrite/marker.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "console/messages.h"
#include "rewrite/engine.h"
#include "rewrite/side_files.h"

namespace {

constexpr uint32_t read_block = 0x10000;
// The longest line the tool writes, with room to spare: the video's size of
// 19 digits and its name as code page 932 text.
constexpr uint32_t line_longest = 1100;
constexpr char owner_key[] = "video=";
constexpr size_t owner_key_length = sizeof owner_key - 1;
// Positions are stored above the byte, in 56 bits.
constexpr uint64_t position_limit = uint64_t{1} << 55;

// The file's lines one at a time, without their CR LF (a lone LF is taken
// too); a last line without its end is not one the tool wrote.
struct LineReader {
    FileHandleRec* file;
    char block[read_block];
    uint32_t length;
    uint32_t at;
    bool broken;
};

bool line_next(LineReader* r, char* line) {
    uint32_t n = 0;
    for (;;) {
        if (r->at == r->length) {
            r->length = file_read(r->file, r->block, read_block);
            r->at = 0;
            if (r->length == 0) {
                if (n > 0) r->broken = true;
                return false;
            }
        }
        char c = r->block[r->at++];
        if (c == '\n') break;
        if (n == line_longest) {
            r->broken = true;
            return false;
        }
        line[n++] = c;
    }
    if (n > 0 && line[n - 1] == '\r') --n;
    line[n] = '\0';
    return true;
}

// A decimal number of 1 to 19 digits ending at a space or the line's end.
const char* number_read(const char* text, uint64_t* value) {
    const char* start = text;
    *value = 0;
    while (*text >= '0' && *text <= '9' && text - start < 19) {
        *value = *value * 10 + static_cast<uint64_t>(*text - '0');
        ++text;
    }
    return text == start ? nullptr : text;
}

bool byte_read(const char* text, uint8_t* byte) {
    uint64_t value = 0;
    const char* end = number_read(text, &value);
    if (end == nullptr || *end != '\0' || value > 255) return false;
    *byte = static_cast<uint8_t>(value);
    return true;
}

bool position_line_read(const char* line, uint8_t first_byte, uint64_t* entry) {
    uint64_t position = 0;
    const char* end = number_read(line, &position);
    if (end == nullptr || position >= position_limit) return false;
    uint8_t original = first_byte;
    if (*end == ' ') {
        if (!byte_read(end + 1, &original)) return false;
    } else if (*end != '\0') {
        return false;
    }
    *entry = position << 8 | original;
    return true;
}

bool owner_line_read(const char* line, MarkerOwner* owner) {
    uint64_t size = 0;
    const char* end = number_read(line + owner_key_length, &size);
    size_t name_length = end == nullptr ? 0 : std::strlen(end);
    if (end == nullptr || *end != ' ' || name_length < 2 || name_length > sizeof owner->name) {
        return false;
    }
    owner->known = true;
    owner->size = static_cast<int64_t>(size);
    std::memcpy(owner->name, end + 1, name_length);  // with its end
    return true;
}

bool is_owner_line(const char* line) {
    return std::strncmp(line, owner_key, owner_key_length) == 0;
}

// The video's file name as the marker file holds it.
void owner_name_of(const char* video_path, char* out, size_t capacity) {
    os_name_to_cp932(path_file_name(video_path), out, capacity);
}

struct EntryFill {
    uint64_t* entries;
    size_t count;
};

void entry_count(void* context, uint64_t) {
    ++static_cast<EntryFill*>(context)->count;
}

void entry_store(void* context, uint64_t entry) {
    EntryFill* fill = static_cast<EntryFill*>(context);
    fill->entries[fill->count++] = entry;
}

int64_t entry_position(uint64_t entry) {
    return static_cast<int64_t>(entry >> 8);
}

// Sorted by position; a position listed twice is kept once when both lines
// agree, and makes the file unreadable when they do not.
bool entries_settle(MarkerRec* marker) {
    std::sort(marker->entries, marker->entries + marker->count);
    size_t kept = 0;
    for (size_t i = 0; i < marker->count; ++i) {
        uint64_t entry = marker->entries[i];
        if (kept > 0 && entry_position(marker->entries[kept - 1]) == entry_position(entry)) {
            if (marker->entries[kept - 1] != entry) return false;
            continue;
        }
        marker->entries[kept++] = entry;
    }
    marker->count = kept;
    return true;
}

void miss_note(MarkerRec* marker, uint64_t entry) {
    if (marker->misses < marker_misses_shown) marker->missed[marker->misses] = entry_position(entry);
    ++marker->misses;
}

int32_t marker_read(MarkerRec* marker, FileHandleRec* file) {
    EntryFill fill = {nullptr, 0};
    if (marker_parse(file, &marker->first_byte, &marker->owner, entry_count, &fill) != 0) {
        return rewrite_marker_unreadable;
    }
    fill.entries = new (std::nothrow) uint64_t[fill.count > 0 ? fill.count : 1];
    if (fill.entries == nullptr) return rewrite_block_buffer_error;
    marker->entries = fill.entries;
    size_t expected = fill.count;
    fill.count = 0;
    file_seek(file, 0, file_begin);
    if (marker_parse(file, &marker->first_byte, &marker->owner, entry_store, &fill) != 0 ||
        fill.count != expected) {
        return rewrite_marker_unreadable;  // it changed between the two readings
    }
    marker->count = fill.count;
    return entries_settle(marker) ? 0 : rewrite_marker_unreadable;
}

}  // namespace

int marker_parse(FileHandleRec* file, uint8_t* first_byte, MarkerOwner* owner,
                 void (*visit)(void* context, uint64_t entry), void* context) {
    LineReader* reader = new (std::nothrow) LineReader{file, {}, 0, 0, false};
    if (reader == nullptr) return 1;
    char line[line_longest + 1];
    owner->known = false;
    bool good = line_next(reader, line) && byte_read(line, first_byte);
    for (bool second = true; good && line_next(reader, line); second = false) {
        uint64_t entry = 0;
        if (second && is_owner_line(line)) {
            good = owner_line_read(line, owner);
            continue;
        }
        good = position_line_read(line, *first_byte, &entry);
        if (good) visit(context, entry);
    }
    good = good && !reader->broken;
    delete reader;
    return good ? 0 : 1;
}

void marker_init(MarkerRec* marker) {
    *marker = MarkerRec{};
    marker->text = text_file_closed;
}

int32_t marker_create(MarkerRec* marker, const char* name, uint8_t first_byte,
                      const FileHandleRec* video, const char* video_path) {
    if (text_file_create(&marker->text, name) != 0) return rewrite_side_file_error;
    std::strncpy(marker->name, name, sizeof marker->name - 1);
    marker->created = true;
    marker->first_byte = first_byte;
    MarkerOwner& owner = marker->owner;
    owner.known = true;
    owner.size = video->size;
    owner_name_of(video_path, owner.name, sizeof owner.name);
    text_file_print(&marker->text, fmt_marker_first, first_byte);
    text_file_print(&marker->text, fmt_marker_owner, static_cast<long long>(owner.size), owner.name);
    if (text_file_flush(&marker->text) == 0) return 0;
    // Nothing is recorded and nothing changed: leave no marker file behind
    // that would keep a later run from recording.
    text_file_close(&marker->text);
    file_remove(name);
    return rewrite_marker_write_error;
}

int32_t marker_load(MarkerRec* marker, const char* name, const FileHandleRec* video) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    int opened = file_open_unlinked(&file, name);
    if (opened == file_open_linked) return rewrite_marker_linked;
    if (opened != file_opened) return rewrite_side_file_error;
    // A video named like its own marker file must not be read as one, let
    // alone appended to.
    int32_t result = file_same(&file, video) ? rewrite_side_file_error : marker_read(marker, &file);
    if (result != 0) {
        file_close(&file);
        return result;
    }
    text_file_attach(&marker->text, &file);
    std::strncpy(marker->name, name, sizeof marker->name - 1);
    return 0;
}

MarkerFit marker_fit(const MarkerRec* marker, const FileHandleRec* video, const char* video_path,
                     uint8_t reference_byte) {
    // Markers made before they named their video are judged by the frame
    // rate alone.
    if (marker->owner.known) {
        char name[sizeof marker->owner.name];
        owner_name_of(video_path, name, sizeof name);
        if (!os_names_match(name, marker->owner.name)) return marker_other_name;
    }
    if ((marker->first_byte & 0x0F) != (reference_byte & 0x0F)) return marker_other_rate;
    if (!marker->owner.known || marker->owner.size == video->size) return marker_fits;
    return marker_other_size;
}

int32_t marker_record(MarkerRec* marker, int64_t position, uint8_t original) {
    int failed = 0;
    if (!marker->whole_bytes && (original >> 4) == (marker->first_byte >> 4)) {
        failed = text_file_print(&marker->text, fmt_marker_position, static_cast<long long>(position));
    } else {
        failed = text_file_print(&marker->text, fmt_marker_position_byte,
                                 static_cast<long long>(position), original);
    }
    return failed == 0 ? 0 : rewrite_marker_write_error;
}

int32_t marker_flush(MarkerRec* marker) {
    return text_file_flush(&marker->text) == 0 ? 0 : rewrite_marker_write_error;
}

int32_t marker_sync(MarkerRec* marker) {
    // On the disk before the bytes change: a run cut off by a crash or a
    // power cut must leave no change that the record does not hold.
    if (file_sync(&marker->text.file) != 0) return rewrite_marker_write_error;
    if (marker->created && !marker->folder_synced) {
        if (!os_folder_sync(marker->name)) return rewrite_marker_write_error;
        marker->folder_synced = true;
    }
    return 0;
}

int32_t marker_commit(MarkerRec* marker) {
    int32_t result = marker_flush(marker);
    return result == 0 ? marker_sync(marker) : result;
}

bool marker_listed(MarkerRec* marker, int64_t position, uint8_t* original) {
    while (marker->cursor < marker->count && entry_position(marker->entries[marker->cursor]) < position) {
        miss_note(marker, marker->entries[marker->cursor++]);
    }
    if (marker->cursor == marker->count) return false;
    uint64_t entry = marker->entries[marker->cursor];
    if (entry_position(entry) != position) return false;
    ++marker->cursor;
    *original = static_cast<uint8_t>(entry);
    return true;
}

void marker_misses_finish(MarkerRec* marker) {
    while (marker->cursor < marker->count) miss_note(marker, marker->entries[marker->cursor++]);
}

int marker_release(MarkerRec* marker) {
    delete[] marker->entries;
    marker->entries = nullptr;
    return text_file_close(&marker->text);
}
