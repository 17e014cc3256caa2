#include "edit/marker_text.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr uint32_t read_block = 0x10000;
// The longest line the tool writes, with room to spare: the video's size of
// 19 digits and its name as code page 932 text.
constexpr uint32_t line_longest = 1100;
constexpr char owner_key[] = "video=";
constexpr char time_key[] = "time=";
constexpr char target_key[] = "target=";
constexpr char shown_key[] = "shown=";
constexpr char grown_key[] = "grown=";
// Positions are stored above the byte, in 56 bits.
constexpr uint64_t position_limit = uint64_t{1} << 55;
constexpr int nanosecond_digits = 9;
// The lines before the positions: the byte, the video's name, its time.
constexpr size_t head_lines = 3;

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

// "SECONDS.NANOSECONDS" to the line's end, the seconds signed, the
// nanoseconds nine digits.
bool time_text_read(const char* text, MarkerOwner* owner) {
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

// "time=SECONDS.NANOSECONDS".
bool time_line_read(const char* line, MarkerOwner* owner) {
    return time_text_read(line + std::strlen(time_key), owner);
}

// "grown=SIZE SECONDS.NANOSECONDS": the size the video had grown to when a
// run took it up again, and its last-write time then (none where it could
// not be read), which stand for the video from there on.
bool grown_line_read(const char* line, MarkerOwner* owner) {
    uint64_t size = 0;
    const char* end = number_read(line + std::strlen(grown_key), &size);
    if (end == nullptr || (*end != '\0' && *end != ' ')) return false;
    owner->size = static_cast<int64_t>(size);
    owner->time_known = false;
    return *end == '\0' || time_text_read(end + 1, owner);
}

// A number of at most 32 bits followed by `end`: the text after it.
const char* field_read(const char* text, char end, uint32_t* value) {
    uint64_t number = 0;
    text = number_read(text, &number);
    if (text == nullptr || *text != end || number > UINT32_MAX) return nullptr;
    *value = static_cast<uint32_t>(number);
    return text + 1;
}

// "target=CODE WIDTH:HEIGHT": the code and the sample aspect a run wrote.
bool target_line_read(const char* line, MarkerHead* head) {
    SiteAspect target = {};
    const char* text = field_read(line + std::strlen(target_key), ' ', &target.code);
    if (text != nullptr) text = field_read(text, ':', &target.sar.width);
    if (text == nullptr || field_read(text, '\0', &target.sar.height) == nullptr) return false;
    head->targets.push_back(target);
    return true;
}

// "shown=W:H", both terms not 0.
bool shown_line_read(const char* line, SarRatio* shown) {
    SarRatio read = {};
    const char* text = field_read(line + std::strlen(shown_key), ':', &read.width);
    if (text == nullptr || field_read(text, '\0', &read.height) == nullptr) return false;
    if (read.width == 0 || read.height == 0) return false;
    *shown = read;
    return true;
}

// The line that says what the video showed comes right after its time, or
// after its name where the time is not known.
size_t shown_line_number(const MarkerHead* head) {
    return head->owner.time_known ? 3 : 2;
}

// One line of the file, in its place: the first line, the video's name,
// time and what it showed, a run's target, the size the video grew to, or
// a position.
bool line_take(const char* line, size_t number, MarkerHead* head,
               void (*visit)(void* context, uint64_t entry), void* context) {
    if (number == 0) return head->first_known = byte_read(line, &head->first_byte);
    if (number == 1 && keyed(line, owner_key)) return owner_line_read(line, &head->owner);
    if (number == 2 && head->owner.known && keyed(line, time_key)) return time_line_read(line, &head->owner);
    if (number == shown_line_number(head) && head->owner.known && keyed(line, shown_key)) {
        return shown_line_read(line, &head->shown);
    }
    if (keyed(line, target_key)) return target_line_read(line, head);
    if (number > 1 && head->owner.known && keyed(line, grown_key)) return grown_line_read(line, &head->owner);
    uint64_t entry = 0;
    if (!position_line_read(line, head->first_byte, &entry)) return false;
    if (head->targets.empty()) head->untargeted = true;
    visit(context, entry);
    return true;
}

// Whether the first n bytes of the text begin a line of the key whose
// text after it is of the characters given: a run's target (digits, a
// space and a colon) or the size a video grew to (digits, a space, a dot).
bool keyed_begun(const std::string& text, size_t n, const char* key_text, const char* characters) {
    size_t key = std::strlen(key_text);
    if (text.compare(0, n < key ? n : key, key_text, n < key ? n : key) != 0) return false;
    return n <= key || text.find_first_not_of(characters, key) >= n;
}

// Whether the text begins a line the tool writes at that place: digits of
// a position and its byte, a run's target, the size a video grew to, or
// the start of the lines that name the video.
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
    if (number > 0 && keyed_begun(text, n, target_key, "0123456789 :")) return true;
    if (number > 1 && keyed_begun(text, n, grown_key, "0123456789 .-")) return true;
    auto begun = [&](const char* key) {
        return std::strncmp(text.c_str(), key, n < std::strlen(key) ? n : std::strlen(key)) == 0;
    };
    if (number == 1) return begun(owner_key);
    bool named = head->owner.known;
    return named && ((number == 2 && begun(time_key)) || (number == shown_line_number(head) && begun(shown_key)));
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
    // A target or grown line torn among them leaves its letters.
    bool only_line = tail.find_first_not_of(std::string("0123456789 \r\n\0:.-target=grown", 29)) == std::string::npos;
    if (zeros) return only_line;
    return tail.find('\n') == std::string::npos && line_begun(tail, number, head);
}

// The first `lines_most` lines of the file, as marker_parse reads them.
int lines_parse(FileHandleRec* file, MarkerHead* head, void (*visit)(void* context, uint64_t entry),
                void* context, size_t lines_most) {
    LineReader* reader = new (std::nothrow) LineReader{file, {}, 0, 0, 0};
    if (reader == nullptr) return 1;
    *head = MarkerHead{};
    head->torn_at = -1;
    char line[line_longest + 1];
    bool readable = true;
    for (size_t number = 0; number < lines_most; ++number) {
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

void entry_pass(void*, uint64_t) {}

}  // namespace

int marker_parse(FileHandleRec* file, MarkerHead* head, void (*visit)(void* context, uint64_t entry),
                 void* context) {
    return lines_parse(file, head, visit, context, SIZE_MAX);
}

int marker_head_parse(FileHandleRec* file, MarkerHead* head) {
    return lines_parse(file, head, entry_pass, nullptr, head_lines);
}

