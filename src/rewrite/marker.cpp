#include "rewrite/marker.h"

#include <algorithm>
#include <new>

#include "console/messages.h"
#include "rewrite/engine.h"

namespace {

constexpr uint32_t read_block = 0x10000;
// The longest line the tool writes, with room to spare: a position of 19
// digits, a space, a byte of 3 digits and CR LF.
constexpr uint32_t line_longest = 40;
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
    if (marker_parse(file, &marker->first_byte, entry_count, &fill) != 0) {
        return rewrite_marker_unreadable;
    }
    fill.entries = new (std::nothrow) uint64_t[fill.count > 0 ? fill.count : 1];
    if (fill.entries == nullptr) return rewrite_block_buffer_error;
    marker->entries = fill.entries;
    size_t expected = fill.count;
    fill.count = 0;
    file_seek(file, 0, file_begin);
    if (marker_parse(file, &marker->first_byte, entry_store, &fill) != 0 || fill.count != expected) {
        return rewrite_marker_unreadable;  // it changed between the two readings
    }
    marker->count = fill.count;
    return entries_settle(marker) ? 0 : rewrite_marker_unreadable;
}

}  // namespace

int marker_parse(FileHandleRec* file, uint8_t* first_byte,
                 void (*visit)(void* context, uint64_t entry), void* context) {
    LineReader* reader = new (std::nothrow) LineReader{file, {}, 0, 0, false};
    if (reader == nullptr) return 1;
    char line[line_longest + 1];
    bool good = line_next(reader, line) && byte_read(line, first_byte);
    while (good && line_next(reader, line)) {
        uint64_t entry = 0;
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

int32_t marker_create(MarkerRec* marker, const char* name, uint8_t first_byte) {
    if (text_file_create(&marker->text, name, true) != 0) return rewrite_side_file_error;
    marker->created = true;
    marker->first_byte = first_byte;
    text_file_print(&marker->text, fmt_marker_first, first_byte);
    if (text_file_flush(&marker->text) == 0) return 0;
    // Nothing is recorded and nothing changed: leave no marker file behind
    // that would keep a later run from recording.
    text_file_close(&marker->text);
    file_remove(name);
    return rewrite_marker_write_error;
}

int32_t marker_load(MarkerRec* marker, const char* name, const FileHandleRec* video) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open(&file, name, generic_read | generic_write) != file_opened) {
        return rewrite_side_file_error;
    }
    // A video named like its own marker file must not be read as one, let
    // alone appended to.
    int32_t result = file_same(&file, video) ? rewrite_side_file_error : marker_read(marker, &file);
    if (result != 0) {
        file_close(&file);
        return result;
    }
    text_file_attach(&marker->text, &file);
    return 0;
}

int32_t marker_record(MarkerRec* marker, int64_t position, uint8_t original) {
    if ((original >> 4) == (marker->first_byte >> 4)) {
        text_file_print(&marker->text, fmt_marker_position, static_cast<long long>(position));
    } else {
        text_file_print(&marker->text, fmt_marker_position_byte, static_cast<long long>(position),
                        original);
    }
    // On disk before the byte changes: an interrupted run must leave no
    // change that the record does not hold.
    return text_file_flush(&marker->text) == 0 ? 0 : rewrite_marker_write_error;
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
