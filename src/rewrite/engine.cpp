#include "rewrite/engine.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "console/console.h"
#include "console/messages.h"
#include "fileio/fileio.h"
#include "rewrite/header_scan.h"
#include "rewrite/progress.h"
#include "rewrite/side_files.h"

uint32_t header_range_length = 256;

uint32_t be32_at(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

namespace {

constexpr uint32_t chunk_size = 0x100000;
// What one packet read would deliver; positions reported to the progress
// display are counted as if each packet were read on its own.
constexpr uint32_t packet_read_size = 0xFFFF;
// Any packet read fits whole behind any position kept in the block.
constexpr uint32_t block_capacity = chunk_size + 0x10000;
// Reads into page-aligned buffers at page-aligned file positions are the
// cheapest copies the kernel makes.
constexpr size_t page_size = 4096;
constexpr uint32_t sequence_header_code = 0x000001B3;
constexpr uint8_t id_pack = 0xBA;
constexpr uint8_t id_program_end = 0xB9;
constexpr uint8_t id_video = 0xE0;

// Forward reads of the packet walk through one large block, so that a 2 KB
// pack costs no read of its own.
struct BlockReader {
    FileHandleRec* file;
    uint8_t* block;
    int64_t base;     // file position of block[0]
    uint32_t length;  // bytes of the block holding file data
};

// Makes up to `want` bytes at `pos` available and returns them; *available
// gets how many there are (fewer at the end of the file, never beyond the
// size taken at open).
const uint8_t* reader_fetch(BlockReader* reader, int64_t pos, uint32_t want, uint32_t* available) {
    int64_t size = reader->file->size;
    int64_t end = reader->base + reader->length;
    bool inside = pos >= reader->base && pos <= end;
    if (!inside || (pos + want > end && end < size)) {
        // Refill from the start of pos's page, keeping what the block holds
        // from there on, so that the file is read at page boundaries.
        int64_t start = pos & ~static_cast<int64_t>(page_size - 1);
        if (start < reader->base) start = pos;
        uint32_t keep = 0;
        if (inside) {
            keep = static_cast<uint32_t>(end - start);
            std::memmove(reader->block, reader->block + (start - reader->base), keep);
        }
        reader->base = start;
        reader->length = keep;
        int64_t room = size - (start + keep);
        if (room > block_capacity - keep) room = block_capacity - keep;
        if (room > 0) {
            file_seek(reader->file, start + keep, file_begin);
            reader->length += file_read(reader->file, reader->block + keep, static_cast<uint32_t>(room));
        }
        end = reader->base + reader->length;
    }
    int64_t left = end - pos;
    *available = left < want ? static_cast<uint32_t>(left > 0 ? left : 0) : want;
    return reader->block + (pos - reader->base);
}

uint8_t* page_buffer_new(size_t size) {
    return static_cast<uint8_t*>(::operator new(size, std::align_val_t(page_size), std::nothrow));
}

void page_buffer_delete(uint8_t* buffer) {
    ::operator delete(buffer, std::align_val_t(page_size));
}

// A byte of a fetched run, 0 past what was available.
uint8_t byte_or_zero(const uint8_t* bytes, uint32_t available, uint32_t index) {
    return index < available ? bytes[index] : 0;
}

struct Engine {
    const ConvertJob* job;
    FileHandleRec file;
    uint8_t* databuf;
    BlockReader reader;
    HeaderScanner scanner;
    bool listing;
    std::FILE* marker;
    std::FILE* list;
    uint32_t start_tick;
    WalkKind walk;
    int64_t packet_read_end;  // where the designed per-packet read would end
    const uint8_t* scan_buffer;  // the chunk or packet being scanned
    int64_t scan_buffer_pos;     // its file position
};

int32_t rewrite_byte(Engine* e, int64_t pos, uint8_t found) {
    uint8_t value = static_cast<uint8_t>((found & 0x0F) + (e->job->target_aspect << 4));
    file_seek(&e->file, pos, file_begin);
    if (file_write(&e->file, &value, 1) == 0) return rewrite_write_error;
    return 0;
}

// The header's bytes 4 to 7 as the window holds them, then the buffer's four
// bytes ending at the matched one (zero where the buffer does not reach).
void list_record_fill(const Engine* e, uint32_t index, uint8_t* record) {
    std::memset(record, 0, 8);
    record[0] = static_cast<uint8_t>(e->scanner.window >> 24);
    record[1] = static_cast<uint8_t>(e->scanner.window >> 16);
    record[2] = static_cast<uint8_t>(e->scanner.window >> 8);
    record[3] = e->scanner.captured;
    if (index >= 3) std::memcpy(record + 4, e->scan_buffer + index - 3, 4);
}

int32_t handle_match(void* context, uint32_t index) {
    Engine* e = static_cast<Engine*>(context);
    int64_t pos = e->scan_buffer_pos + index;
    if (e->marker != nullptr) {
        marker_write_position(e->marker, pos);
        // The position must be on disk before its byte changes, or an
        // interrupted run would leave a change nobody can find.
        std::fflush(e->marker);
    }
    char list_line[side_path_capacity] = {};
    if (e->listing) {
        uint8_t record[8];
        list_record_fill(e, index, record);
        format_list_line(list_line, static_cast<uint64_t>(pos), record);
    }
    show_progress(e->walk, static_cast<uint64_t>(pos), e->packet_read_end, e->file.size,
                  e->start_tick, e->listing ? list_line : nullptr);
    if (e->listing) {
        list_write_line(e->list, list_line);
        return 0;
    }
    return rewrite_byte(e, pos, e->scan_buffer[index]);
}

// Scans buffer[first..end); buffer[0] lies at file position buffer_pos.
int32_t scan_range(Engine* e, const uint8_t* buffer, uint32_t first, uint32_t end,
                   int64_t buffer_pos) {
    e->scan_buffer = buffer;
    e->scan_buffer_pos = buffer_pos;
    return header_scan(&e->scanner, buffer, first, end, handle_match, e);
}

// The first chunk is already in the data buffer from the set-up read, so
// the file is read once from start to end.
int32_t linear_scan(Engine* e, uint32_t first_read) {
    e->walk = walk_linear;
    int64_t walk = 0;
    uint32_t n = first_read;
    while (walk < e->file.size) {
        int64_t left = e->file.size - walk;
        uint32_t want = left < chunk_size ? static_cast<uint32_t>(left) : chunk_size;
        if (walk > 0) {
            file_seek(&e->file, walk, file_begin);
            n = file_read(&e->file, e->databuf, want);
        }
        if (n > want) n = want;  // never past the size taken at open
        if (n == 0) return rewrite_open_error;
        int32_t result = scan_range(e, e->databuf, 0, n, walk);
        if (result != 0) return result;
        walk += n;
    }
    return 0;
}

enum StepOutcome { step_go_on, step_end_of_file };

// Index of the first non-zero byte of bytes[0, n), or n; a word at a time,
// since a recording may end in gigabytes of zeros.
uint32_t first_nonzero(const uint8_t* bytes, uint32_t n) {
    uint32_t i = 0;
    for (uint64_t word = 0; i + 8 <= n; i += 8) {
        std::memcpy(&word, bytes + i, 8);
        if (word != 0) break;
    }
    while (i < n && bytes[i] == 0) ++i;
    return i;
}

// Steps over zero bytes that lead to the next 00 00 01 (Video CD sectors
// carry such padding between packs). A zero run that reaches the end of the
// file ends the walk; any other run is left for the start code test.
StepOutcome skip_zero_padding(Engine* e, int64_t* walk) {
    int64_t pos = *walk;
    // Most steps start at a start code: look at one byte before asking for
    // a longer run, which could cost a refill.
    uint32_t want = 1;
    for (;; want = packet_read_size) {
        uint32_t available = 0;
        const uint8_t* bytes = reader_fetch(&e->reader, pos, want, &available);
        if (available == 0) return step_end_of_file;
        uint32_t i = first_nonzero(bytes, available);
        pos += i;
        if (i < available) {
            if (bytes[i] == 1 && pos - *walk >= 2) *walk = pos - 2;
            return step_go_on;
        }
    }
}

// The -r search: the next 00 00 01 within the header range length.
int32_t range_search(Engine* e, int64_t* walk, StepOutcome* outcome) {
    for (uint32_t counter = 1; counter < header_range_length; ++counter) {
        uint32_t available = 0;
        const uint8_t* bytes = reader_fetch(&e->reader, *walk, 3, &available);
        if (available < 3) {
            *outcome = step_end_of_file;
            return 0;
        }
        if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1) return 0;
        *walk += 1;
    }
    return rewrite_range_search_error;
}

int64_t pack_header_length(Engine* e, int64_t walk) {
    uint32_t available = 0;
    const uint8_t* bytes = reader_fetch(&e->reader, walk, 14, &available);
    uint8_t first = byte_or_zero(bytes, available, 4);
    if ((first & 0xF0) == 0x20) return 12;  // MPEG-1
    if ((first & 0xC0) == 0x40) return 14 + (byte_or_zero(bytes, available, 13) & 7);
    return 14;
}

// Offset of the first payload byte of an MPEG-1 packet, past stuffing, the
// STD buffer field and the time stamps.
uint32_t mpeg1_payload_start(const uint8_t* packet, uint32_t available) {
    uint32_t k = 6;
    while (k < available && packet[k] == 0xFF) ++k;
    if ((byte_or_zero(packet, available, k) & 0xC0) == 0x40) k += 2;
    uint8_t marker = byte_or_zero(packet, available, k);
    if ((marker & 0xF0) == 0x20) return k + 5;
    if ((marker & 0xF0) == 0x30) return k + 10;
    if (marker == 0x0F) return k + 1;
    return k;
}

int32_t scan_video_packet(Engine* e, const uint8_t* packet, uint32_t available, uint32_t length,
                          int64_t walk) {
    uint8_t flags = byte_or_zero(packet, available, 6);
    uint32_t start = (flags & 0xC0) == 0x80 ? byte_or_zero(packet, available, 8) + 9u
                                            : mpeg1_payload_start(packet, available);
    // The packet's last byte is at length + 5; only bytes read are judged.
    uint32_t end = length + 6 < available ? length + 6 : available;
    if (start >= end) return 0;
    return scan_range(e, packet, start, end, walk);
}

void print_stream_id_error(const uint8_t* bytes) {
    char message[side_path_capacity] = {};
    text_format(message, sizeof message, msg_stream_id_bytes, bytes[0], bytes[1], bytes[2]);
    console_print(fmt_stream_id_line, message);
}

// One step at a start code: moves *walk past it, or stops.
int32_t walk_start_code(Engine* e, int64_t* walk, const uint8_t* code) {
    bool searching = (e->job->mode_flags & mode_range_search) != 0;
    uint8_t id = code[3];
    if (code[0] != 0 || code[1] != 0 || code[2] != 1 || (id < id_program_end && !searching)) {
        print_stream_id_error(code);
        return rewrite_stream_id_error;
    }
    if (id == id_pack) {
        *walk += pack_header_length(e, *walk);
        return 0;
    }
    if (id <= id_program_end) {  // program end code, or a stray code the search met
        *walk += 4;
        return 0;
    }
    uint32_t available = 0;
    const uint8_t* packet = reader_fetch(&e->reader, *walk, 6, &available);
    uint32_t length = byte_or_zero(packet, available, 4) * 256u + byte_or_zero(packet, available, 5);
    int32_t result = 0;
    if (id == id_video) {
        // Only the packet's own bytes are judged, so only they are fetched;
        // the progress display still counts the designed 65,535-byte read.
        int64_t left = e->file.size - *walk;
        uint32_t read = left < packet_read_size ? static_cast<uint32_t>(left) : packet_read_size;
        e->packet_read_end = *walk + read;
        uint32_t want = length + 6 < read ? length + 6 : read;
        packet = reader_fetch(&e->reader, *walk, want, &available);
        result = scan_video_packet(e, packet, available, length, *walk);
    }
    *walk += length + 6;
    return result;
}

int32_t packet_walk(Engine* e, uint32_t first_read) {
    e->walk = walk_packets;
    // The block starts with the set-up read's bytes instead of reading them again.
    e->reader.length = first_read < e->file.size ? first_read : static_cast<uint32_t>(e->file.size);
    std::memcpy(e->reader.block, e->databuf, e->reader.length);
    bool searching = (e->job->mode_flags & mode_range_search) != 0;
    int64_t walk = 0;
    while (walk < e->file.size) {
        StepOutcome outcome = skip_zero_padding(e, &walk);
        if (outcome == step_go_on && searching) {
            int32_t result = range_search(e, &walk, &outcome);
            if (result != 0) return result;
        }
        if (outcome == step_end_of_file) break;
        uint32_t available = 0;
        const uint8_t* code = reader_fetch(&e->reader, walk, 4, &available);
        if (available < 4) break;  // a start code cut off by the end of the file
        int32_t result = walk_start_code(e, &walk, code);
        if (result != 0) return result;
    }
    return 0;
}

// Offset of the first sequence header whose 8 bytes lie in the first read,
// or -1.
int64_t first_sequence_header(const uint8_t* buffer, uint32_t length) {
    for (uint32_t k = 0; k + 8 <= length; ++k) {
        if (be32_at(buffer + k) == sequence_header_code) return k;
    }
    return -1;
}

int32_t open_side_files(Engine* e, uint8_t first_byte7) {
    char marker_name[side_path_capacity] = {};
    char list_name[side_path_capacity] = {};
    if (make_side_path(e->job->path, marker_extension, marker_name) != 0) {
        return rewrite_marker_name_error;
    }
    if (e->listing) {
        if (make_side_path(e->job->path, list_extension, list_name) != 0) {
            return rewrite_side_file_error;
        }
        // Opening the video itself for writing would empty it.
        if (side_names_same(list_name, e->job->path)) return rewrite_side_file_error;
        e->list = side_file_create(list_name);
        if (e->list == nullptr) return rewrite_side_file_error;
        list_write_header(e->list, e->job->path);
    }
    if (file_exists(marker_name) != 0 && !e->listing) {
        e->marker = side_file_create(marker_name);
        if (e->marker == nullptr) return rewrite_side_file_error;
        marker_write_first(e->marker, first_byte7);
        std::fflush(e->marker);
    }
    return 0;
}

int32_t engine_run(Engine* e) {
    if (file_open(&e->file, e->job->path, generic_read | generic_write) != 0) {
        return rewrite_open_error;
    }
    e->databuf = page_buffer_new(chunk_size);
    if (e->databuf == nullptr) return rewrite_data_buffer_error;
    e->reader.block = page_buffer_new(block_capacity);
    if (e->reader.block == nullptr) return rewrite_block_buffer_error;
    e->reader.file = &e->file;

    file_seek(&e->file, 0, file_begin);
    uint32_t first_read = file_read(&e->file, e->databuf, chunk_size);
    int64_t first = first_sequence_header(e->databuf, first_read);
    // Without a reference header there is nothing to match: stop before any
    // side file is made.
    if (first < 0) return rewrite_stream_id_error;
    const uint8_t* header = e->databuf + first;
    header_scanner_init(&e->scanner, header);

    int32_t result = open_side_files(e, header[7]);
    if (result != 0) return result;

    e->start_tick = os_tick_ms();
    result = first == 0 ? linear_scan(e, first_read) : packet_walk(e, first_read);
    if (result != 0) return result;
    return e->marker != nullptr ? rewrite_done_marker_created : rewrite_done;
}

}  // namespace

int32_t aspect_rewrite(const ConvertJob* job) {
    Engine e = {};
    e.job = job;
    e.file.handle = os_invalid_handle;
    e.listing = (job->mode_flags & mode_list) != 0;
    int32_t result = engine_run(&e);
    page_buffer_delete(e.databuf);
    page_buffer_delete(e.reader.block);
    if (e.file.handle != os_invalid_handle) file_close(&e.file);
    side_file_close(e.list);
    side_file_close(e.marker);
    return result;
}
