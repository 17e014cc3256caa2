#include "rewrite/engine.h"

#include <cstring>
#include <memory>
#include <new>

#include "analysis/header_analysis.h"
#include "console/console.h"
#include "console/messages.h"
#include "fileio/fileio.h"
#include "rewrite/change_batch.h"
#include "rewrite/header_scan.h"
#include "rewrite/marker.h"
#include "rewrite/progress.h"
#include "rewrite/side_files.h"
#include "rewrite/sps_scan.h"
#include "rewrite/walk.h"

namespace {

// As much of the file as the analysis's head window: where the transport
// stream's tables are looked for.
constexpr uint32_t head_window = 0x200000;

// Parameter sets of another id or picture size than the first (a join of
// two recordings), a kind at a time: left alone, and said.
struct SpsOther {
    uint32_t sps_id;
    uint32_t width;
    uint32_t height;
    uint32_t count;
};
constexpr uint32_t sps_other_kinds_most = 4;

// Parameter sets that were left alone, by reason.
struct SpsLeft {
    uint32_t no_field;
    uint32_t no_code;
    uint32_t escaping;  // or too long to be read whole
    uint32_t across_repeat;
    uint32_t other_kinds;
    SpsOther others[sps_other_kinds_most];
    uint32_t others_more;  // of kinds past the ones kept
};

enum EngineMode {
    engine_rewrite,
    engine_list,
    engine_restore,
    engine_change_search,  // is there a header to change?
    engine_probe,          // the first sequence header and what follows it
};

struct Engine {
    const ConvertJob* job;
    EngineMode mode;
    FileHandleRec file;
    FileBuffer block;
    OsWorker* committer;  // rewrites only
    StreamLayout layout;
    TsProgram program;       // transport streams
    VideoHeaderProbe probe;  // the video's first sequence header
    VideoHeaderProbe probe_before;  // as it was before the latest range
    HeaderScanner scanner;
    // H.264 and HEVC: the parameter sets, the first one, and those that
    // match it but cannot take the target in place.
    SpsScanner sps_scanner;
    bool reference_found;
    uint32_t sps_unread;  // parameter sets this reader does not understand
    SpsInfo reference_sps;
    SpsUnit reference_unit;  // as the file holds it
    SpsLeft sps_left;
    Walk walk;
    MarkerRec marker;
    ListFileRec list;
    bool list_lost;  // the list file could not be made: listed on the console only
    bool list_not_ours;  // because a file of the user's bears its name
    bool walked;  // the main walk ran
    ChangeBatches changes;
    bool video_written;   // an undo put a byte back
    uint32_t start_tick;
    const uint8_t* scan_buffer;  // the bytes being scanned
    int64_t scan_buffer_pos;     // and the file position of the first
    AspectOriginal original;     // a probe's: what the marker file says
    RewriteReport report;
};

bool reads_only(EngineMode mode) {
    return mode == engine_list || mode == engine_change_search || mode == engine_probe;
}

// The file the run locked, reached again by its name: another file renamed
// into its place meanwhile would be written without the lock and without
// the checks made on the first.
int32_t engine_open(Engine* e) {
    uint32_t access = reads_only(e->mode) ? generic_read : generic_read | generic_write;
    if (file_open(&e->file, e->job->path.c_str(), access) != file_opened) return rewrite_open_error;
    if (e->job->locked != nullptr && !file_same(&e->file, e->job->locked)) return rewrite_file_replaced;
    if (!file_buffer_make(&e->block, reader_buffer_size)) return rewrite_data_buffer_error;
    reader_init(&e->walk.reader, &e->file, e->block.bytes);
    if (e->mode == engine_rewrite) e->committer = os_worker_start();
    change_batches_init(&e->changes, &e->marker, &e->file, e->committer);
    return 0;
}

// Reads a window of the file at `at` into the buffer: 0, or the read
// failure.
int32_t window_read(Engine* e, int64_t at, uint8_t* window, uint32_t* got) {
    int64_t left = e->file.size - at;
    uint32_t want = left < head_window ? static_cast<uint32_t>(left) : head_window;
    file_seek(&e->file, at, file_begin);
    *got = file_read(&e->file, window, want);
    return *got == want ? 0 : reader_read_failed(&e->walk.reader, at, want, *got);
}

// A recording that opens with more null packets than the head window holds
// has its tables further on: windows that overlap by half, so that tables
// split between two are seen whole in one, until tables or a video stream
// turn up.
int32_t program_seek(Engine* e, uint8_t* window) {
    const TsLayout& ts = e->layout.ts;
    int64_t step = head_window / 2 / ts.stride * ts.stride;
    for (int64_t at = ts.first_sync + step; !e->program.found && !e->program.tables_seen &&
                                            at + ts_packet_size <= e->file.size;
         at += step) {
        uint32_t got = 0;
        int32_t result = window_read(e, at, window, &got);
        if (result != 0) return result;
        ts_program_find(window, got, TsLayout{ts.stride, 0}, &e->program);
    }
    return 0;
}

// The kind of file and, in a transport stream, the video PID, from the
// same head window the analysis saw, or from further on.
int32_t engine_layout(Engine* e) {
    FileBuffer window;
    if (!file_buffer_make(&window, head_window)) return rewrite_data_buffer_error;
    uint32_t got = 0;
    int32_t result = window_read(e, 0, window.bytes, &got);
    if (result != 0) return result;
    e->layout = stream_layout_detect(window.bytes, got);
    if (e->layout.kind == stream_not_mpeg) return rewrite_no_sequence_header;
    if (e->layout.kind != stream_transport) return 0;
    ts_program_find(window.bytes, got, e->layout.ts, &e->program);
    result = program_seek(e, window.bytes);
    if (result != 0) return result;
    e->layout.codec = e->program.codec;
    return e->program.found ? 0 : rewrite_no_mpeg_video;
}

Engine* engine_of(void* context) {
    return static_cast<Engine*>(context);
}

int32_t probe_feed(void* context, const uint8_t* buffer, int64_t buffer_pos,
                   const PayloadRange* ranges, uint32_t count) {
    Engine* e = engine_of(context);
    for (uint32_t i = 0; i < count; ++i) {
        const PayloadRange& r = ranges[i];
        if ((r.breaks & payload_repeat) != 0) {
            e->probe = e->probe_before;
        } else {
            if ((r.breaks & payload_gap) != 0) video_probe_gap(&e->probe);
            e->probe_before = e->probe;
        }
        video_probe_feed(&e->probe, buffer + r.first, r.end - r.first, buffer_pos + r.first);
        bool done = e->mode == engine_probe ? video_probe_settled(&e->probe)
                                            : video_probe_found(&e->probe);
        if (done) return walk_stop_found;
    }
    return 0;
}

// An undo walks on past damage by itself, from its first look at the file
// on: it must reach every header that a rewrite with -r reached.
bool range_searching(const Engine* e) {
    return (e->job->mode_flags & (mode_range_search | mode_undo)) != 0;
}

bool sps_video(const Engine* e) {
    return e->layout.codec != codec_mpeg;
}

int32_t sps_handle(void* context, const SpsUnit* unit);

int32_t sps_feed(void* context, const uint8_t* buffer, int64_t buffer_pos,
                 const PayloadRange* ranges, uint32_t count) {
    Engine* e = engine_of(context);
    return sps_scan(&e->sps_scanner, buffer, buffer_pos, ranges, count, sps_handle, e);
}

// One walk from the start of the file with the sink; a parameter set that
// the end of the stream ends is handed over too.
int32_t walk_with(Engine* e, WalkSink sink) {
    if (sps_video(e)) sps_scanner_init(&e->sps_scanner, e->layout.codec);
    walk_init(&e->walk, &e->file, e->block.bytes, e->layout, e->program.video_pid, range_searching(e), sink);
    int32_t result = walk_run(&e->walk);
    if (result == 0 && sps_video(e)) result = sps_scan_finish(&e->sps_scanner, sps_handle, e);
    return result;
}

// Why the walk found no reference, where the file says it: parameter sets
// this reader cannot read, a video PID named in the tables but never
// carried, or one whose packets are scrambled.
int32_t reference_missing(const Engine* e, int32_t none) {
    if (sps_video(e) && e->sps_unread > 0) return rewrite_sps_unreadable;
    if (e->layout.kind != stream_transport) return none;
    if (e->walk.video_packets == 0) return rewrite_video_pid_empty;
    return e->walk.scrambled_packets > 0 ? rewrite_video_scrambled : none;
}

// The walk as far as the video's first sequence header, or its first
// parameter set: the reference whose size (and frame rate, or id) every
// one to change must have.
int32_t engine_reference(Engine* e) {
    video_probe_init(&e->probe);
    WalkSink sink = sps_video(e) ? WalkSink{sps_feed, e} : WalkSink{probe_feed, e};
    int32_t result = walk_with(e, sink);
    if (result < 0) return result;
    bool found = sps_video(e) ? e->reference_found : video_probe_found(&e->probe);
    return found ? 0 : reference_missing(e, sps_video(e) ? rewrite_no_sps : rewrite_no_sequence_header);
}

int32_t list_open(Engine* e) {
    std::string name = side_path(e->job->path.c_str(), list_extension);
    ListCreate made = list_file_create(&e->list, name.c_str(), &e->file);
    if (made == list_is_video) return rewrite_side_file_error;
    // A read-only disc, or a file of the user's under the name: the listing
    // still goes to the console.
    e->list_lost = made != list_created;
    e->list_not_ours = made == list_not_ours;
    if (!e->list_lost && list_write_header(&e->list, e->job->path.c_str()) != 0) {
        return rewrite_list_write_error;
    }
    return 0;
}

// Says which video the marker file was made for, when not this one.
void marker_foreign_print(const MarkerRec* marker, MarkerFit fit) {
    console_text("\n");
    if (fit == marker_other_rate) {
        console_print(msg_marker_other_rate);
    } else if (fit == marker_other_name) {
        console_print(msg_marker_other_name, marker->head.owner.name,
                      static_cast<long long>(marker->head.owner.size));
    } else {
        console_print(msg_marker_other_size, static_cast<long long>(marker->head.owner.size));
    }
}

// The first line of a marker file begun now: the video's first header's
// byte 7, or its first parameter set's aspect_ratio_idc.
uint8_t marker_first_byte(const Engine* e) {
    return sps_video(e) ? e->reference_sps.idc : e->probe.header[7];
}

// A marker file made for another video must neither grow with this one's
// positions nor be undone into it. An undo still takes a file that grew
// after its rewrite: each listed position is checked where it stands. One
// whose last lines a power cut tore is taken as far as its whole lines go.
int32_t marker_open(Engine* e, const char* marker_name) {
    int32_t result = marker_load(&e->marker, marker_name, &e->file);
    if (result != 0) return result;
    e->marker.whole_bytes = sps_video(e);
    // A parameter set's first line holds no frame rate: the name and size
    // alone judge.
    uint8_t reference_byte = sps_video(e) ? e->marker.head.first_byte : e->probe.header[7];
    MarkerFit fit = marker_fit(&e->marker, &e->file, e->job->path.c_str(), reference_byte);
    if (fit != marker_fits && !(fit == marker_other_size && e->mode == engine_restore)) {
        marker_foreign_print(&e->marker, fit);
        return rewrite_marker_foreign;
    }
    if (e->mode != engine_rewrite) return e->marker.head.first_known ? 0 : rewrite_marker_unreadable;
    result = marker_mend(&e->marker, marker_first_byte(e), &e->file, e->job->path.c_str());
    // A run that finishes one cut short puts back the time before it began.
    const MarkerOwner& owner = e->marker.head.owner;
    if (result == 0) e->report = {owner.time_known, owner.written};
    return result;
}

int32_t engine_side_files(Engine* e) {
    std::string marker_name = side_path(e->job->path.c_str(), marker_extension);
    bool marker_found = file_exists(marker_name.c_str()) == 0;
    switch (e->mode) {
    case engine_list:
        return list_open(e);
    case engine_rewrite:
        if (marker_found) return marker_open(e, marker_name.c_str());
        e->marker.whole_bytes = sps_video(e);
        return marker_create(&e->marker, marker_name.c_str(), marker_first_byte(e), &e->file,
                             e->job->path.c_str());
    case engine_restore:
        return marker_found ? marker_open(e, marker_name.c_str()) : rewrite_marker_missing;
    case engine_change_search:
    case engine_probe:
        break;
    }
    return 0;
}

// The header's bytes 4 to 7 as the window holds them, then the file's four
// bytes ending at the matched one as the chunk or packet holds them (zero
// where they lie before it).
void list_record_fill(const Engine* e, int64_t pos, uint8_t* record) {
    record[0] = static_cast<uint8_t>(e->scanner.window >> 24);
    record[1] = static_cast<uint8_t>(e->scanner.window >> 16);
    record[2] = static_cast<uint8_t>(e->scanner.window >> 8);
    record[3] = e->scanner.captured;
    for (int k = 0; k < 4; ++k) {
        int64_t at = pos - 3 + k;
        if (at < e->scanner.range->unit_pos) {
            record[4 + k] = 0;
        } else if (at >= e->scan_buffer_pos) {
            record[4 + k] = e->scan_buffer[at - e->scan_buffer_pos];
        } else {
            // An earlier piece of the same chunk: the header's own bytes.
            record[4 + k] = record[k];
        }
    }
}

void progress_show(const Engine* e, const PayloadRange* range, int64_t pos, const char* list_line) {
    WalkKind kind = e->layout.kind == stream_elementary ? walk_linear : walk_packets;
    show_progress(kind, static_cast<uint64_t>(pos), range->progress_pos, e->file.size,
                  e->start_tick, list_line);
}

int32_t list_line_put(Engine* e, const PayloadRange* range, int64_t pos, const char* line) {
    progress_show(e, range, pos, line);
    if (e->list_lost) return 0;
    return text_file_print(&e->list.text, fmt_line, line) == 0 ? 0 : rewrite_list_write_error;
}

int32_t match_list(Engine* e, int64_t pos) {
    char line[list_line_capacity] = {};
    uint8_t record[8];
    list_record_fill(e, pos, record);
    format_list_line(line, static_cast<uint64_t>(pos), record);
    return list_line_put(e, e->scanner.range, pos, line);
}

int32_t byte_write(Engine* e, int64_t pos, uint8_t value) {
    e->video_written = true;
    return file_write_at(&e->file, pos, &value, 1) == 1 ? 0 : rewrite_write_error;
}

// Only real changes are written.
int32_t match_rewrite(Engine* e, int64_t pos, uint8_t found) {
    progress_show(e, e->scanner.range, pos, nullptr);
    uint8_t target = static_cast<uint8_t>(e->job->target_aspect & 0x0F);
    if ((found >> 4) == target) return 0;
    return change_add(&e->changes, pos, found, static_cast<uint8_t>((found & 0x0F) | (target << 4)));
}

// A listed header gets back the aspect nibble it held: one of the
// reference's size and frame rate stands there, which is what the tool
// writes into (its aspect code is whatever -o asked for).
int32_t match_restore(Engine* e, int64_t pos, uint8_t found) {
    progress_show(e, e->scanner.range, pos, nullptr);
    uint8_t original = 0;
    if (!marker_listed(&e->marker, pos, &original)) return 0;
    uint8_t value = static_cast<uint8_t>((found & 0x0F) | (original & 0xF0));
    return value == found ? 0 : byte_write(e, pos, value);
}

int32_t match_handle(void* context, uint32_t index) {
    Engine* e = engine_of(context);
    int64_t pos = e->scan_buffer_pos + index;
    uint8_t found = e->scan_buffer[index];  // the byte as the file holds it
    switch (e->mode) {
    case engine_list: return match_list(e, pos);
    case engine_rewrite: return match_rewrite(e, pos, found);
    case engine_restore: return match_restore(e, pos, found);
    case engine_change_search:
        return (found >> 4) != (e->job->target_aspect & 0x0F) ? walk_stop_found : 0;
    case engine_probe: break;
    }
    return 0;
}

int32_t scan_feed(void* context, const uint8_t* buffer, int64_t buffer_pos,
                  const PayloadRange* ranges, uint32_t count) {
    Engine* e = engine_of(context);
    e->scan_buffer = buffer;
    e->scan_buffer_pos = buffer_pos;
    return header_scan(&e->scanner, buffer, ranges, count, match_handle, e);
}

bool sps_matches(const SpsInfo* reference, const SpsInfo* info) {
    return info->sps_id == reference->sps_id && info->width == reference->width &&
           info->height == reference->height;
}

// "*" where the set's bytes lie across packets, as for a sequence header; a
// set of another id or size than the first is marked with its own.
int32_t sps_list(Engine* e, const SpsUnit* unit, const SpsInfo* info, bool other) {
    char line[list_line_capacity] = {};
    SarRatio sar = sps_sar(info);
    bool split = unit->pos[unit->length - 1] - unit->pos[0] != unit->length - 1;
    int n = text_format(line, sizeof line, fmt_list_sps_entry, static_cast<long long>(unit->pos[0]),
                        static_cast<unsigned long long>(unit->pos[0]), sar.width, sar.height,
                        split ? "*" : "-");
    if (other && n > 0 && static_cast<size_t>(n) < sizeof line) {
        text_format(line + n, sizeof line - n, fmt_list_sps_other, info->sps_id, info->width, info->height);
    }
    return list_line_put(e, e->sps_scanner.range, unit->pos[0], line);
}

SpsEdit sps_edit(const Engine* e, const SpsUnit* unit, SpsByteChange* changes, uint32_t* count) {
    // Bytes past those kept could change their escaping unseen.
    if (unit->cut) {
        *count = 0;
        return sps_edit_escaping;
    }
    return sps_aspect_edit(e->layout.codec, unit->bytes, unit->length, e->job->target_sar, changes,
                           count);
}

uint32_t sps_left_total(const SpsLeft* left) {
    uint32_t others = left->others_more;
    for (uint32_t k = 0; k < left->other_kinds; ++k) others += left->others[k].count;
    return left->no_field + left->no_code + left->escaping + left->across_repeat + others;
}

void sps_other_count(SpsLeft* left, const SpsInfo* info) {
    for (uint32_t k = 0; k < left->other_kinds; ++k) {
        SpsOther& o = left->others[k];
        if (o.sps_id == info->sps_id && o.width == info->width && o.height == info->height) {
            ++o.count;
            return;
        }
    }
    if (left->other_kinds == sps_other_kinds_most) {
        ++left->others_more;
        return;
    }
    left->others[left->other_kinds++] = {info->sps_id, info->width, info->height, 1};
}

void sps_left_count(SpsLeft* left, SpsEdit edit) {
    if (edit == sps_edit_no_field) ++left->no_field;
    if (edit == sps_edit_no_code) ++left->no_code;
    if (edit == sps_edit_escaping || edit == sps_edit_unread) ++left->escaping;
}

// The set's changed bytes go through the same record and batches as a
// sequence header's; one that cannot take the target in place is counted.
int32_t sps_rewrite(Engine* e, const SpsUnit* unit) {
    if (unit->across_repeat) {
        ++e->sps_left.across_repeat;
        return 0;
    }
    SpsByteChange changes[sps_changes_most];
    uint32_t count = 0;
    SpsEdit edit = sps_edit(e, unit, changes, &count);
    if (edit != sps_edit_changed) {
        sps_left_count(&e->sps_left, edit);
        return 0;
    }
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t at = changes[k].index;
        if (unit->pos[at] < unit->again_from) continue;  // changed with the first copy
        int32_t result = change_add(&e->changes, unit->pos[at], unit->bytes[at], changes[k].value);
        if (result != 0) return result;
    }
    return 0;
}

// Whether the set holds what the tool writes into `original`: a set of the
// reference's id and size whose aspect field alone says another sample
// aspect, as the in-place change writes it.
bool sps_written_by_tool(const Engine* e, const SpsUnit* unit, const uint8_t* original) {
    SpsInfo before;
    SpsInfo now;
    VideoCodec codec = e->layout.codec;
    if (!sps_read(codec, original, unit->length, &before) || !sps_matches(&e->reference_sps, &before) ||
        !sps_read(codec, unit->bytes, unit->length, &now)) {
        return false;
    }
    SpsByteChange changes[sps_changes_most];
    uint32_t count = 0;
    if (sps_aspect_edit(codec, original, unit->length, sps_sar(&now), changes, &count) != sps_edit_changed) {
        return false;
    }
    uint8_t edited[sps_bytes_most];
    std::memcpy(edited, original, unit->length);
    for (uint32_t k = 0; k < count; ++k) edited[changes[k].index] = changes[k].value;
    return std::memcmp(edited, unit->bytes, unit->length) == 0;
}

// The listed bytes of the set go back only where the set is what the tool
// made of them; a set that holds anything else keeps it, and is reported.
int32_t sps_restore(Engine* e, const SpsUnit* unit) {
    uint32_t indices[sps_changes_most];
    bool whole = !unit->cut && !unit->across_repeat;
    uint32_t count = whole ? sps_field_bytes(e->layout.codec, unit->bytes, unit->length, indices) : 0;
    uint8_t original[sps_bytes_most];
    std::memcpy(original, unit->bytes, unit->length);
    bool listed[sps_changes_most] = {};
    for (uint32_t k = 0; k < count; ++k) {
        // Bytes before again_from were put back with the first copy.
        int64_t pos = unit->pos[indices[k]];
        listed[k] = pos >= unit->again_from && marker_listed(&e->marker, pos, &original[indices[k]]);
    }
    if (std::memcmp(original, unit->bytes, unit->length) == 0) return 0;
    bool ours = sps_written_by_tool(e, unit, original);
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t at = indices[k];
        if (!listed[k]) continue;
        if (!ours) {
            marker_altered(&e->marker, unit->pos[at]);
        } else if (original[at] != unit->bytes[at]) {
            int32_t result = byte_write(e, unit->pos[at], original[at]);
            if (result != 0) return result;
        }
    }
    return 0;
}

// The match handler of H.264 and HEVC video: the first parameter set that
// reads is the reference, and every one with its id and picture size is
// listed, rewritten or put back.
int32_t sps_handle(void* context, const SpsUnit* unit) {
    Engine* e = engine_of(context);
    SpsInfo info;
    if (!sps_read(e->layout.codec, unit->bytes, unit->length, &info)) {
        ++e->sps_unread;
        return 0;
    }
    if (!e->reference_found) {
        e->reference_found = true;
        e->reference_sps = info;
        e->reference_unit = *unit;
        return walk_stop_found;
    }
    bool other = !sps_matches(&e->reference_sps, &info);
    // A set read again through a second copy is listed and counted once.
    if (e->mode == engine_list) return unit->again_from < 0 ? sps_list(e, unit, &info, other) : 0;
    if (other) {
        if (e->mode == engine_rewrite && unit->again_from < 0) sps_other_count(&e->sps_left, &info);
        return 0;
    }
    if (e->mode == engine_change_search) {
        SpsByteChange changes[sps_changes_most];
        uint32_t count = 0;
        bool changes_made = !unit->across_repeat && sps_edit(e, unit, changes, &count) == sps_edit_changed;
        return changes_made ? walk_stop_found : 0;
    }
    progress_show(e, e->sps_scanner.range, unit->pos[0], nullptr);
    if (e->mode == engine_rewrite) return sps_rewrite(e, unit);
    return e->mode == engine_restore ? sps_restore(e, unit) : 0;
}

int32_t engine_walk(Engine* e) {
    header_scanner_init(&e->scanner, e->probe.header);
    WalkSink sink = sps_video(e) ? WalkSink{sps_feed, e} : WalkSink{scan_feed, e};
    e->start_tick = os_tick_ms();
    e->walked = true;
    return walk_with(e, sink);
}

// The sample aspect of the first parameter set as it was: its bytes as the
// file holds them, with those the marker file lists put back.
SarRatio original_sar(const Engine* e) {
    SpsUnit* unit = new (std::nothrow) SpsUnit(e->reference_unit);
    if (unit == nullptr) return {0, 0};
    for (uint32_t k = 0; k < unit->length; ++k) marker_lookup(&e->marker, unit->pos[k], &unit->bytes[k]);
    SpsInfo info;
    SarRatio sar = sps_read(e->layout.codec, unit->bytes, unit->length, &info) ? sps_sar(&info) : SarRatio{0, 0};
    delete unit;
    return sar;
}

// What a marker file made for this video says of it before the first
// change; nothing when there is none, or one that does not fit.
void original_read(Engine* e) {
    std::string name = side_path(e->job->path.c_str(), marker_extension);
    if (file_exists(name.c_str()) != 0 || marker_load(&e->marker, name.c_str(), &e->file) != 0) return;
    uint8_t reference_byte = sps_video(e) ? e->marker.head.first_byte : e->probe.header[7];
    if (!e->marker.head.first_known ||
        marker_fit(&e->marker, &e->file, e->job->path.c_str(), reference_byte) != marker_fits) {
        return;
    }
    e->original.known = true;
    e->original.first_byte = e->marker.head.first_byte;
    if (sps_video(e)) e->original.sar = original_sar(e);
}

int32_t engine_run(Engine* e, bool original_wanted) {
    int32_t result = engine_open(e);
    if (result == 0) result = engine_layout(e);
    if (result == 0) result = engine_reference(e);
    if (result == 0 && original_wanted) original_read(e);
    if (result != 0 || e->mode == engine_probe) return result;
    result = engine_side_files(e);
    return result != 0 ? result : engine_walk(e);
}

// Where the walk stopped at damage or a failed read: an undo that had put
// back every listed position before it is complete all the same.
bool walk_damage(int32_t result) {
    return result == rewrite_stream_id_error || result == rewrite_read_error;
}

// Everything was put back: the marker file goes, so that the next run
// records afresh; otherwise it stays for another try.
int32_t restore_finish(Engine* e, int32_t walked) {
    marker_misses_finish(&e->marker);
    bool complete = e->marker.missed.count == 0 && e->marker.altered.count == 0;
    bool damaged = walked < 0;
    if (!complete && !damaged) marker_misses_print(&e->marker);
    if (complete) e->report = {e->marker.head.owner.time_known, e->marker.head.owner.written};
    if (marker_release(&e->marker) != 0) return rewrite_marker_write_error;
    if (!complete) return damaged ? walked : restore_partial;
    if (damaged) {
        const char* message = rewrite_result_message(walked);
        console_text("\n");
        if (message != nullptr) console_line(message);
    }
    return file_remove(e->marker.name.c_str()) == 0 ? rewrite_done_marker_created
                                            : rewrite_marker_remove_error;
}

// A transport stream is never stopped by damage alone, but the user hears
// of it.
void sync_losses_print(const Walk* walk) {
    if (walk->sync_losses == 0) return;
    char message[512] = {};
    text_format(message, sizeof message, msg_sync_lost, walk->sync_losses,
                static_cast<long long>(walk->sync_skipped));
    console_print(fmt_stream_id_line, message);
}

// A join of two recordings can bring its video on another PID, which is
// left alone: the user hears of it.
void other_video_print(const Walk* walk) {
    if (walk->other_video.headers == 0) return;
    char message[512] = {};
    text_format(message, sizeof message, msg_other_video, walk->other_video.pid,
                walk->other_video.headers);
    console_print(fmt_stream_id_line, message);
}

// Parameter sets that kept their aspect: the user hears how many and why,
// and which other sets there were.
void sps_left_print(const SpsLeft* left) {
    uint32_t same_kind = left->no_field + left->no_code + left->escaping + left->across_repeat;
    if (same_kind > 0) {
        console_print(fmt_stream_id_line, text_string(msg_sps_left, same_kind, left->no_field, left->no_code,
                                                      left->escaping, left->across_repeat).c_str());
    }
    for (uint32_t k = 0; k < left->other_kinds; ++k) {
        const SpsOther& o = left->others[k];
        console_print(fmt_stream_id_line, text_string(msg_sps_other, o.sps_id, o.width, o.height, o.count).c_str());
    }
    if (left->others_more > 0) {
        console_print(fmt_stream_id_line, text_string(msg_sps_other_more, left->others_more).c_str());
    }
}

// The last batch goes out, whatever stopped the walk (the changes before a
// stop stay made and recorded), and then the video is made durable: before
// the result is reported and the last-write time put back.
int32_t changes_finish(Engine* e, int32_t result) {
    int32_t committed = changes_flush(&e->changes);
    if (result >= 0 && committed != 0) result = committed;
    bool written = e->video_written || e->changes.written;
    if (written && file_sync(&e->file) != 0 && result >= 0) result = rewrite_write_error;
    return result;
}

// Closes the side files and turns a finished walk into the call's result.
int32_t engine_finish(Engine* e, int32_t result) {
    result = changes_finish(e, result);
    if (result == rewrite_read_error) reader_failure_print(&e->walk.reader);
    if (e->mode != engine_change_search && e->mode != engine_probe) {
        sync_losses_print(&e->walk);
        other_video_print(&e->walk);
        sps_left_print(&e->sps_left);
    }
    int32_t closed = 0;
    bool list_made = e->list.text.open || e->list_lost;
    if (e->mode == engine_list && list_made && list_file_finish(&e->list) != 0) {
        closed = e->list_not_ours ? rewrite_list_not_ours : rewrite_list_write_error;
    }
    if (e->mode == engine_restore && (result >= 0 || (e->walked && walk_damage(result)))) {
        return restore_finish(e, result);
    }
    if (marker_release(&e->marker) != 0) closed = rewrite_marker_write_error;
    if (result < 0) return result;
    if (closed != 0) return closed;
    switch (e->mode) {
    case engine_rewrite: {
        int32_t done = e->marker.created ? rewrite_done_marker_created : rewrite_done;
        return sps_left_total(&e->sps_left) > 0 ? done | rewrite_some_left : done;
    }
    case engine_change_search: return result == walk_stop_found ? 1 : 0;
    case engine_probe: return 0;
    default: return rewrite_done;
    }
}

// Where the caller wants them, what the walk found and what it leaves to do.
struct EngineOut {
    VideoHeaderProbe* probe;
    TsProgram* program;
    SpsInfo* sps;
    AspectOriginal* original;
    RewriteReport* report;
};

int32_t engine_call(const ConvertJob* job, EngineMode mode, const EngineOut& out) {
    std::unique_ptr<Engine> e(new (std::nothrow) Engine{});
    if (!e) return rewrite_data_buffer_error;
    e->job = job;
    e->mode = mode;
    e->file.handle = os_invalid_handle;
    e->program = ts_program_none;
    marker_init(&e->marker);
    e->list.text = text_file_closed;
    int32_t result = engine_finish(e.get(), engine_run(e.get(), out.original != nullptr));
    if (e->committer != nullptr) os_worker_stop(e->committer);
    // A network share reports a failed write-back only here.
    if (e->file.handle != os_invalid_handle && file_close(&e->file) == 0 && result >= 0 &&
        !reads_only(mode)) {
        result = rewrite_close_error;
    }
    if (out.probe != nullptr) *out.probe = e->probe;
    if (out.program != nullptr) *out.program = e->program;
    if (out.sps != nullptr) *out.sps = e->reference_sps;
    if (out.original != nullptr) *out.original = e->original;
    if (out.report != nullptr) *out.report = e->report;
    return result;
}

}  // namespace

const char* rewrite_result_message(int32_t result) {
    switch (result) {
    case rewrite_open_error: return msg_engine_open;
    case rewrite_data_buffer_error: return msg_engine_buffer_1;
    case rewrite_block_buffer_error: return msg_engine_buffer_2;
    case rewrite_stream_id_error: return msg_engine_stream_id;
    case rewrite_side_file_error: return msg_engine_ini_create;
    case rewrite_write_error: return msg_engine_write;
    case rewrite_read_error: return msg_engine_read;
    case rewrite_marker_write_error: return msg_engine_marker_write;
    case rewrite_list_write_error: return msg_engine_list_write;
    case rewrite_close_error: return msg_engine_close;
    case rewrite_no_sequence_header: return msg_engine_no_sequence_header;
    case rewrite_marker_unreadable: return msg_engine_marker_unreadable;
    case rewrite_marker_missing: return msg_engine_marker_missing;
    case rewrite_marker_remove_error: return msg_engine_marker_remove;
    case rewrite_marker_foreign: return msg_engine_marker_foreign;
    case rewrite_marker_linked: return msg_engine_marker_linked;
    case rewrite_not_dvd_ifo: return msg_engine_not_dvd_ifo;
    case rewrite_no_sps: return msg_engine_no_sps;
    case rewrite_file_replaced: return msg_engine_file_replaced;
    case rewrite_list_not_ours: return msg_engine_list_not_ours;
    case rewrite_sps_unreadable: return msg_engine_sps_unreadable;
    case rewrite_video_pid_empty: return msg_engine_video_pid_empty;
    case rewrite_video_scrambled: return msg_engine_video_scrambled;
    default: return nullptr;
    }
}

int32_t aspect_rewrite(const ConvertJob* job, RewriteReport* report) {
    EngineOut out = {nullptr, nullptr, nullptr, nullptr, report};
    if ((job->mode_flags & mode_list) != 0) return engine_call(job, engine_list, out);
    if ((job->mode_flags & mode_undo) != 0) return engine_call(job, engine_restore, out);
    return engine_call(job, engine_rewrite, out);
}

int32_t aspect_change_needed(const ConvertJob* job) {
    return engine_call(job, engine_change_search, EngineOut{});
}

int32_t video_header_seek(const ConvertJob* job, VideoHeaderProbe* probe, TsProgram* program,
                          SpsInfo* sps, AspectOriginal* original) {
    return engine_call(job, engine_probe, EngineOut{probe, program, sps, original, nullptr});
}
