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
constexpr char time_key[] = "time=";
// Positions are stored above the byte, in 56 bits.
constexpr uint64_t position_limit = uint64_t{1} << 55;
constexpr int nanosecond_digits = 9;

// The file's lines one at a time, without their CR LF (a lone LF is taken
// too), each with the file offset it starts at.
struct LineReader {
    FileHandleRec* file;
    char block[read_block];
    uint32_t length;
    uint32_t at;
    int64_t offset;  // of block[at]
};

// A line that ends in LF: true. A last line without one, or one too long
// for any the tool writes, is no whole line: *whole is false.
bool line_next(LineReader* r, char* line, bool* whole) {
    uint32_t n = 0;
    *whole = false;
    for (;;) {
        if (r->at == r->length) {
            r->length = file_read(r->file, r->block, read_block);
            r->at = 0;
            if (r->length == 0) return n > 0;
        }
        char c = r->block[r->at++];
        ++r->offset;
        if (c == '\n') break;
        if (n == line_longest) return true;
        line[n++] = c;
    }
    if (n > 0 && line[n - 1] == '\r') --n;
    line[n] = '\0';
    *whole = true;
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

bool keyed(const char* line, const char* key) {
    return std::strncmp(line, key, std::strlen(key)) == 0;
}

bool owner_line_read(const char* line, MarkerOwner* owner) {
    uint64_t size = 0;
    const char* end = number_read(line + std::strlen(owner_key), &size);
    size_t name_length = end == nullptr ? 0 : std::strlen(end);
    if (end == nullptr || *end != ' ' || name_length < 2 || name_length > sizeof owner->name) {
        return false;
    }
    owner->known = true;
    owner->size = static_cast<int64_t>(size);
    std::memcpy(owner->name, end + 1, name_length);  // with its end
    return true;
}

// "time=SECONDS.NANOSECONDS", the seconds signed, the nanoseconds nine digits.
bool time_line_read(const char* line, MarkerOwner* owner) {
    const char* text = line + std::strlen(time_key);
    bool negative = *text == '-';
    uint64_t seconds = 0;
    uint64_t nanoseconds = 0;
    const char* dot = number_read(negative ? text + 1 : text, &seconds);
    if (dot == nullptr || *dot != '.') return false;
    const char* end = number_read(dot + 1, &nanoseconds);
    if (end == nullptr || *end != '\0' || end - dot - 1 != nanosecond_digits) return false;
    owner->time_known = true;
    owner->written.seconds = negative ? -static_cast<int64_t>(seconds) : static_cast<int64_t>(seconds);
    owner->written.nanoseconds = static_cast<int64_t>(nanoseconds);
    return true;
}

// One line of the file, in its place: the first line, the video's name and
// time, or a position.
bool line_take(const char* line, size_t number, MarkerHead* head,
               void (*visit)(void* context, uint64_t entry), void* context) {
    if (number == 0) return head->first_known = byte_read(line, &head->first_byte);
    if (number == 1 && keyed(line, owner_key)) return owner_line_read(line, &head->owner);
    if (number == 2 && head->owner.known && keyed(line, time_key)) return time_line_read(line, &head->owner);
    uint64_t entry = 0;
    if (!position_line_read(line, head->first_byte, &entry)) return false;
    visit(context, entry);
    return true;
}

// Whether the text begins a line the tool writes at that place: digits of
// a position and its byte, or the start of the lines that name the video.
bool line_begun(const std::string& text, size_t number, const MarkerHead* head) {
    size_t n = text.size();
    if (n > 0 && text[n - 1] == '\r') --n;
    size_t spaces = 0;
    bool digits = true;
    for (size_t i = 0; i < n && digits; ++i) {
        spaces += text[i] == ' ';
        digits = (text[i] >= '0' && text[i] <= '9') || (text[i] == ' ' && i > 0 && number > 0);
    }
    if (digits && spaces <= 1) return true;
    const char* key = number == 1 ? owner_key : number == 2 && head->owner.known ? time_key : nullptr;
    return key != nullptr && std::strncmp(text.c_str(), key, n < std::strlen(key) ? n : std::strlen(key)) == 0;
}

// Whether the bytes from `at` to the end, where line `number` begins, are
// what a power cut leaves of lines that were being appended: a last line
// cut short, or zero bytes (perhaps with digits of lines that reached the
// disk after them) where the file system had extended the file.
bool tail_torn(FileHandleRec* file, int64_t at, size_t number, const MarkerHead* head) {
    std::string tail;
    file_seek(file, at, file_begin);
    char block[4096];
    for (uint32_t n = 0; (n = file_read(file, block, sizeof block)) > 0;) tail.append(block, n);
    bool zeros = tail.find('\0') != std::string::npos;
    bool only_line = tail.find_first_not_of(std::string("0123456789 \r\n\0", 14)) == std::string::npos;
    if (zeros) return only_line;
    return tail.find('\n') == std::string::npos && line_begun(tail, number, head);
}

int64_t entry_position(uint64_t entry) {
    return static_cast<int64_t>(entry >> 8);
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

void miss_note(MarkerMisses* misses, int64_t position) {
    if (misses->count < marker_misses_shown) misses->first[misses->count] = position;
    ++misses->count;
}

void misses_print(const char* format, const MarkerMisses* misses) {
    if (misses->count == 0) return;
    console_print(format, static_cast<long long>(misses->count));
    for (size_t i = 0; i < misses->count && i < marker_misses_shown; ++i) {
        console_print(msg_restore_missed_position, static_cast<long long>(misses->first[i]));
    }
}

int32_t marker_read(MarkerRec* marker, FileHandleRec* file) {
    EntryFill fill = {nullptr, 0};
    if (marker_parse(file, &marker->head, entry_count, &fill) != 0) return rewrite_marker_unreadable;
    fill.entries = new (std::nothrow) uint64_t[fill.count > 0 ? fill.count : 1];
    if (fill.entries == nullptr) return rewrite_block_buffer_error;
    marker->entries = fill.entries;
    size_t expected = fill.count;
    fill.count = 0;
    file_seek(file, 0, file_begin);
    if (marker_parse(file, &marker->head, entry_store, &fill) != 0 || fill.count != expected) {
        return rewrite_marker_unreadable;  // it changed between the two readings
    }
    marker->count = fill.count;
    return entries_settle(marker) ? 0 : rewrite_marker_unreadable;
}

// The video's file name as the marker file holds it.
std::string owner_name_of(const char* video_path) {
    return os_name_cp932(path_file_name(video_path));
}

// The first lines of a marker file that begins now: the byte, the video's
// name and size, and its last-write time.
int32_t head_write(MarkerRec* marker, uint8_t first_byte, const FileHandleRec* video,
                   const char* video_path) {
    MarkerHead& head = marker->head;
    head = MarkerHead{};
    head.torn_at = -1;
    head.first_known = true;
    head.first_byte = first_byte;
    MarkerOwner& owner = head.owner;
    owner.known = true;
    owner.size = video->size;
    std::string name = owner_name_of(video_path);
    std::strncpy(owner.name, name.c_str(), sizeof owner.name - 1);
    owner.time_known = os_last_write_get(video->handle, &owner.written);
    text_file_print(&marker->text, fmt_marker_first, first_byte);
    text_file_print(&marker->text, fmt_marker_owner, static_cast<long long>(owner.size), owner.name);
    if (owner.time_known) {
        text_file_print(&marker->text, fmt_marker_time, static_cast<long long>(owner.written.seconds),
                        static_cast<long long>(owner.written.nanoseconds));
    }
    return text_file_flush(&marker->text) == 0 ? 0 : rewrite_marker_write_error;
}

// The file cut to `length`, and the text appended from there.
int32_t marker_cut(MarkerRec* marker, int64_t length) {
    FileHandleRec file = marker->text.file;
    if (text_file_flush(&marker->text) != 0 || file_truncate(&file, length) != 0) {
        return rewrite_marker_write_error;
    }
    text_file_attach(&marker->text, &file);
    return 0;
}

}  // namespace

int marker_parse(FileHandleRec* file, MarkerHead* head, void (*visit)(void* context, uint64_t entry),
                 void* context) {
    LineReader* reader = new (std::nothrow) LineReader{file, {}, 0, 0, 0};
    if (reader == nullptr) return 1;
    *head = MarkerHead{};
    head->torn_at = -1;
    char line[line_longest + 1];
    bool readable = true;
    for (size_t number = 0;; ++number) {
        int64_t start = reader->offset;
        bool whole = false;
        if (!line_next(reader, line, &whole)) break;
        if (whole && line_take(line, number, head, visit, context)) continue;
        readable = tail_torn(file, start, number, head);
        if (readable) head->torn_at = start;
        break;
    }
    delete reader;
    // An empty file is one cut before its first line reached the disk.
    if (readable && !head->first_known) head->torn_at = 0;
    return readable ? 0 : 1;
}

void marker_init(MarkerRec* marker) {
    *marker = MarkerRec{};
    marker->text = text_file_closed;
    marker->head.torn_at = -1;
}

int32_t marker_create(MarkerRec* marker, const char* name, uint8_t first_byte,
                      const FileHandleRec* video, const char* video_path) {
    if (text_file_create(&marker->text, name) != 0) return rewrite_side_file_error;
    marker->name = name;
    marker->created = true;
    if (head_write(marker, first_byte, video, video_path) == 0) return 0;
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
    marker->name = name;
    return 0;
}

int32_t marker_mend(MarkerRec* marker, uint8_t first_byte, const FileHandleRec* video,
                    const char* video_path) {
    if (marker->head.torn_at < 0) return 0;
    if (marker->count > 0) return marker_cut(marker, marker->head.torn_at);
    // Cut before its first batch was synced: nothing it records was changed.
    int32_t result = marker_cut(marker, 0);
    return result == 0 ? head_write(marker, first_byte, video, video_path) : result;
}

MarkerFit marker_fit(const MarkerRec* marker, const FileHandleRec* video, const char* video_path,
                     uint8_t reference_byte) {
    const MarkerHead& head = marker->head;
    // One cut before it recorded anything fits any video.
    if (!head.first_known) return marker_fits;
    // Markers made before they named their video are judged by the frame
    // rate alone.
    if (head.owner.known && !os_names_match(owner_name_of(video_path).c_str(), head.owner.name)) {
        return marker_other_name;
    }
    if ((head.first_byte & 0x0F) != (reference_byte & 0x0F)) return marker_other_rate;
    if (!head.owner.known || head.owner.size == video->size) return marker_fits;
    return marker_other_size;
}

int32_t marker_record(MarkerRec* marker, int64_t position, uint8_t original) {
    int failed = 0;
    if (!marker->whole_bytes && (original >> 4) == (marker->head.first_byte >> 4)) {
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
        if (!os_folder_sync(marker->name.c_str())) return rewrite_marker_write_error;
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
        miss_note(&marker->missed, entry_position(marker->entries[marker->cursor++]));
    }
    if (marker->cursor == marker->count) return false;
    uint64_t entry = marker->entries[marker->cursor];
    if (entry_position(entry) != position) return false;
    ++marker->cursor;
    *original = static_cast<uint8_t>(entry);
    return true;
}

bool marker_lookup(const MarkerRec* marker, int64_t position, uint8_t* original) {
    uint64_t key = static_cast<uint64_t>(position) << 8;
    const uint64_t* begin = marker->entries;
    const uint64_t* end = begin + marker->count;
    const uint64_t* at = std::lower_bound(begin, end, key);
    if (at == end || entry_position(*at) != position) return false;
    *original = static_cast<uint8_t>(*at);
    return true;
}

void marker_altered(MarkerRec* marker, int64_t position) {
    miss_note(&marker->altered, position);
}

void marker_misses_print(const MarkerRec* marker) {
    console_text("\n");
    misses_print(msg_restore_missed, &marker->missed);
    misses_print(msg_restore_altered, &marker->altered);
}

void marker_misses_finish(MarkerRec* marker) {
    while (marker->cursor < marker->count) {
        miss_note(&marker->missed, entry_position(marker->entries[marker->cursor++]));
    }
}

int marker_release(MarkerRec* marker) {
    delete[] marker->entries;
    marker->entries = nullptr;
    return text_file_close(&marker->text);
}
