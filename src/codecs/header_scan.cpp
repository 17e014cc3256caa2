#include "codecs/header_scan.h"

#include <cstring>

#include "codecs/mpeg_video.h"
// The processors whose vector compares the search uses when they have them.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define MORVALEN_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr uint8_t sequence_code_byte = 0xB3;  // byte 3 of every header
// A byte j is tested only when byte j - 4 is 0xB3: the reduced byte 7 is
// at most 0x0F, so the window's byte 3 is always the byte as fed.
constexpr uint32_t code_to_byte7 = 4;

// The header's bytes 4 to 7 as the window holds them, then the buffer's four
// bytes ending at byte 7 (zero where they lie before the chunk or packet;
// the header's own where they lie in an earlier piece of the same chunk).
void list_record_fill(const HeaderScanner* s, int64_t pos, uint8_t* record) {
    record[0] = static_cast<uint8_t>(s->window >> 24);
    record[1] = static_cast<uint8_t>(s->window >> 16);
    record[2] = static_cast<uint8_t>(s->window >> 8);
    record[3] = s->captured;
    for (int k = 0; k < 4; ++k) {
        int64_t at = pos - 3 + k;
        if (at < s->range->unit_pos) {
            record[4 + k] = 0;
        } else if (at >= s->buffer_pos) {
            record[4 + k] = s->buffer[at - s->buffer_pos];
        } else {
            record[4 + k] = record[k];
        }
    }
}

// The reference's sizes and frame rate are those of a sequence header, and
// so are a match's; the marker bit three bytes on is its own, and is looked
// at where the range holds it.
bool match_is_header(const HeaderScanner* s, uint32_t i) {
    uint32_t marker = i + sequence_marker_index - 3;
    return marker >= s->range->end || (s->buffer[marker] & sequence_marker_bit) != 0;
}

int32_t match_hand_over(HeaderScanner* s, uint32_t i, SiteHandler on_site, void* context) {
    if (!match_is_header(s, i)) {
        ++s->false_headers;
        return 0;
    }
    int64_t pos = s->buffer_pos + i;
    uint8_t record[8];
    list_record_fill(s, pos, record);
    // The byte as the match read it: the buffer may be a view of the file,
    // which reads zeros once the file is cut shorter under it.
    AspectSite site = site_sequence_header_make(&s->captured, &pos, s->range, record);
    return on_site(context, &site);
}

// Feeds one byte with its match test, exactly as the window defines it.
inline int32_t feed_byte(HeaderScanner* s, const uint8_t* buffer, uint32_t i, SiteHandler on_site,
                         void* context) {
    uint8_t b = buffer[i];
    shift_window(&s->window);
    s->window |= b;
    if ((s->window >> 8) != s->pattern7) return 0;
    s->captured = b;
    s->window = (s->window & ~static_cast<uint64_t>(0xFF)) | (b & 0x0F);
    if ((b & 0x0F) != s->pattern_rate) return 0;
    return match_hand_over(s, i, on_site, context);
}

int32_t feed_bytes(HeaderScanner* s, const uint8_t* buffer, uint32_t from, uint32_t to,
                   SiteHandler on_site, void* context) {
    for (uint32_t i = from; i < to; ++i) {
        int32_t result = feed_byte(s, buffer, i, on_site, context);
        if (result != 0) return result;
    }
    return 0;
}

uint64_t load_be64(const uint8_t* p) {
    return static_cast<uint64_t>(p[0]) << 56 | static_cast<uint64_t>(p[1]) << 48 |
           static_cast<uint64_t>(p[2]) << 40 | static_cast<uint64_t>(p[3]) << 32 |
           static_cast<uint64_t>(p[4]) << 24 | static_cast<uint64_t>(p[5]) << 16 |
           static_cast<uint64_t>(p[6]) << 8 | p[7];
}

// Shifts bytes into the window without testing them: only for bytes no
// test can fall on, so that nothing there is reduced.
void load_untested(HeaderScanner* s, const uint8_t* buffer, uint32_t from, uint32_t to) {
    if (to - from >= 8) {
        s->window = load_be64(buffer + to - 8);
        return;
    }
    for (uint32_t i = from; i < to; ++i) {
        shift_window(&s->window);
        s->window |= buffer[i];
    }
}

// Whether one of the window's last four bytes is a 0xB3, whose header
// could end in the next range's first four bytes.
bool window_holds_code(MatchWindow window) {
    uint32_t x = static_cast<uint32_t>(window) ^ 0xB3B3B3B3u;
    return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

// Whether a 0xB3 after this byte can be a start code's: in the window the
// byte before it must be 0x01, and a reduced byte 7 (its low nibble only)
// can be 0x01 where the file holds any byte ending in 1.
inline bool code_can_follow(uint8_t before) {
    return (before & 0x0F) == 0x01;
}

// Index in [from, to) of the first 0xB3 that follows a byte ending in 1 in
// the buffer, or `to`; the byte before `from` must lie in the buffer.
// Compressed video holds a 0xB3 every 256 bytes or so, but one after such a
// byte only every 4 KiB.
uint32_t candidate_find_bytes(const uint8_t* b, uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; ++i) {
        const void* hit = std::memchr(b + i, sequence_code_byte, to - i);
        if (hit == nullptr) return to;
        i = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - b);
        if (code_can_follow(b[i - 1])) return i;
    }
    return to;
}

// Index in [from, to) of the first 0xB3 right after a 0x01, or `to`.
uint32_t code_find_bytes(const uint8_t* b, uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; ++i) {
        const void* hit = std::memchr(b + i, sequence_code_byte, to - i);
        if (hit == nullptr) return to;
        i = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - b);
        if (b[i - 1] == 0x01) return i;
    }
    return to;
}

#if defined(MORVALEN_X86)
// The same, judging 32 bytes at once: a search restarted every 256 bytes
// would cost more than the read of the file.
__attribute__((target("avx2"))) uint32_t candidate_find_avx2(const uint8_t* b, uint32_t from,
                                                              uint32_t to) {
    const __m256i code = _mm256_set1_epi8(static_cast<char>(sequence_code_byte));
    const __m256i low_nibble = _mm256_set1_epi8(0x0F);
    const __m256i one = _mm256_set1_epi8(0x01);
    uint32_t i = from;
    for (; to - i >= 32; i += 32) {
        __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i - 1));
        __m256i hits = _mm256_and_si256(_mm256_cmpeq_epi8(here, code),
                                        _mm256_cmpeq_epi8(_mm256_and_si256(before, low_nibble), one));
        uint32_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(hits));
        if (mask != 0) return i + static_cast<uint32_t>(__builtin_ctz(mask));
    }
    return candidate_find_bytes(b, i, to);
}

// The same for a 0xB3 right after a 0x01, as a start code has it: a walk's
// raw bytes hold such a pair only every 64 KiB or so where they hold no
// header, against a 0xB3 after a byte ending in 1 every 4 KiB.
__attribute__((target("avx2"))) uint32_t code_find_avx2(const uint8_t* b, uint32_t from, uint32_t to) {
    const __m256i code = _mm256_set1_epi8(static_cast<char>(sequence_code_byte));
    const __m256i one = _mm256_set1_epi8(0x01);
    uint32_t i = from;
    for (; to - i >= 32; i += 32) {
        __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i - 1));
        __m256i hits = _mm256_and_si256(_mm256_cmpeq_epi8(here, code), _mm256_cmpeq_epi8(before, one));
        uint32_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(hits));
        if (mask != 0) return i + static_cast<uint32_t>(__builtin_ctz(mask));
    }
    return code_find_bytes(b, i, to);
}

bool processor_avx2_find() {
    __builtin_cpu_init();  // this may run before the library's own set-up
    return __builtin_cpu_supports("avx2") != 0;
}

const bool processor_has_avx2 = processor_avx2_find();
#endif

uint32_t candidate_find(const uint8_t* b, uint32_t from, uint32_t to) {
#if defined(MORVALEN_X86)
    if (processor_has_avx2) return candidate_find_avx2(b, from, to);
#endif
    return candidate_find_bytes(b, from, to);
}

}  // namespace

uint32_t header_code_find(const uint8_t* b, uint32_t from, uint32_t to) {
#if defined(MORVALEN_X86)
    if (processor_has_avx2) return code_find_avx2(b, from, to);
#endif
    return code_find_bytes(b, from, to);
}

namespace {

// Where the search for candidates has got to: none lies between `from`,
// where it last started, and `next`, which is the buffer's `limit` when
// none lies before it.
struct CodeCursor {
    uint32_t from;
    uint32_t next;
    uint32_t limit;
};

// Index in [from, to) of the first 0xB3 that can end a start code prefix,
// or `to`. `before` is the byte before `from` in the window, which need not
// be the one before it in the buffer; after `from` they are the same.
uint32_t code_find(const uint8_t* b, uint32_t from, uint32_t to, uint8_t before, CodeCursor* cursor) {
    if (from >= to) return to;
    if (b[from] == sequence_code_byte && code_can_follow(before)) return from;
    uint32_t i = from + 1;
    if (i < cursor->from || cursor->next < i) {
        cursor->from = i;
        cursor->next = candidate_find(b, i, cursor->limit);
    }
    return cursor->next < to ? cursor->next : to;
}

// Whether the range's first byte is a 0xB3 after the window's last byte
// ending in 1: the buffer's byte before it may be another.
bool first_byte_can_end_code(const HeaderScanner* s, const uint8_t* buffer, uint32_t first) {
    return buffer[first] == sequence_code_byte && code_can_follow(static_cast<uint8_t>(s->window));
}

int32_t range_scan(HeaderScanner* s, const uint8_t* buffer, uint32_t first, uint32_t end,
                   CodeCursor* cursor, SiteHandler on_match, void* context) {
    if (first >= end) return 0;
    uint8_t before_range = static_cast<uint8_t>(s->window);
    // The first four bytes may end a header whose 0xB3 came in an earlier
    // range and is only in the window.
    uint32_t fed = first;
    if (window_holds_code(s->window)) {
        fed = end - first < code_to_byte7 ? end : first + code_to_byte7;
        int32_t result = feed_bytes(s, buffer, first, fed, on_match, context);
        if (result != 0 || fed == end) return result;
    }

    uint32_t search = first;  // 0xB3 bytes whose byte 7 is not fed yet
    while (end - search > code_to_byte7) {
        uint8_t before = search > first ? buffer[search - 1] : before_range;
        uint32_t code = code_find(buffer, search, end - code_to_byte7, before, cursor);
        if (code == end - code_to_byte7) break;
        uint32_t byte7 = code + code_to_byte7;
        // Nothing between `fed` and the header's start is tested, so the
        // window there is just the bytes; a header starting later lets the
        // scan skip to it.
        if (byte7 >= fed + 7) {
            load_untested(s, buffer, byte7 - 7, byte7);
            fed = byte7;
        }
        int32_t result = feed_bytes(s, buffer, fed, byte7 + 1, on_match, context);
        if (result != 0) return result;
        fed = byte7 + 1;
        search = code + 1;
    }
    load_untested(s, buffer, fed, end);
    return 0;
}

// Forgets the bytes fed so far, after a break in the payload: no header is
// put together across it. (Zeros would not do: a payload that goes on with
// 01 B3 would complete a start code with them.)
void window_forget(HeaderScanner* scanner) {
    scanner->window = ~MatchWindow{0};
}

}  // namespace

void header_scanner_init(HeaderScanner* scanner, const uint8_t* reference) {
    scanner->pattern7 = 0;
    for (int i = 0; i < 7; ++i) scanner->pattern7 = (scanner->pattern7 << 8) | reference[i];
    scanner->pattern_rate = reference[7] & 0x0F;
    scanner->window = 0;
    scanner->captured = 0;
    scanner->window_before = 0;
    scanner->captured_before = 0;
    scanner->false_headers = 0;
    scanner->range = nullptr;
    scanner->buffer = nullptr;
    scanner->buffer_pos = 0;
}

int32_t header_scan(HeaderScanner* s, const uint8_t* buffer, int64_t buffer_pos,
                    const PayloadRange* ranges, uint32_t count, SiteHandler on_match, void* context) {
    if (count == 0) return 0;
    s->buffer = buffer;
    s->buffer_pos = buffer_pos;
    // Ranges lie in the buffer in rising order (a repeated one may lie over
    // the one before); the search ends with the last one.
    uint32_t limit = ranges[count - 1].end;
    CodeCursor cursor = {limit, limit, limit};
    for (uint32_t i = 0; i < count; ++i) {
        const PayloadRange& r = ranges[i];
        if ((r.breaks & payload_repeat) != 0) {
            s->window = s->window_before;
            s->captured = s->captured_before;
        } else {
            if ((r.breaks & payload_gap) != 0) window_forget(s);
            s->window_before = s->window;
            s->captured_before = s->captured;
        }
        // No 0xB3 in the range that can end a start code prefix, and none in
        // the window that a header could end after: nothing is tested, and
        // only the last eight bytes stay.
        if (r.end - r.first >= 8 && cursor.from <= r.first + 1 && cursor.next >= r.end &&
            !first_byte_can_end_code(s, buffer, r.first) && !window_holds_code(s->window)) {
            s->window = load_be64(buffer + r.end - 8);
            continue;
        }
        s->range = &r;
        int32_t result = range_scan(s, buffer, r.first, r.end, &cursor, on_match, context);
        if (result != 0) return result;
    }
    return 0;
}

AspectSite site_sequence_header_make(const uint8_t* byte7, const int64_t* pos, const PayloadRange* range,
                                     const uint8_t* list_record) {
    AspectSite site = site_base(site_sequence_header, holder_stream, codec_mpeg, byte7, pos, 1, range);
    std::memcpy(site.list_record, list_record, sizeof site.list_record);
    return site;
}

namespace {

bool sequence_header_read(const AspectSite*, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    reading->aspect_present = true;
    reading->aspect.code = bytes[0] >> 4;
    return true;
}

AspectEdit sequence_header_edit(const AspectSite*, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                                uint32_t* count) {
    *count = 0;
    uint8_t code = static_cast<uint8_t>(target.code & 0x0F);
    if ((bytes[0] >> 4) == code) return aspect_edit_same;
    changes[(*count)++] = {0, static_cast<uint8_t>((bytes[0] & 0x0F) | (code << 4))};
    return aspect_edit_changed;
}

uint32_t sequence_header_field(const AspectSite*, uint32_t* indices) {
    return site_field_first(1, indices);
}

}  // namespace

const PlaceOps sequence_header_places = {sequence_header_read, sequence_header_edit, sequence_header_field};
