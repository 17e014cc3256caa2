#include "cli/run_driver.h"

#include "analysis/header_analysis.h"
#include "analysis/name_tables.h"
#include "analysis/trailing_zero.h"
#include "cli/batch.h"
#include "cli/command_line.h"
#include "cli/mpeg_target.h"
#include "cli/sps_target.h"
#include "cli/summary.h"
#include "console/console.h"
#include "console/messages.h"
#include "rewrite/engine.h"
#include "rewrite/side_files.h"

namespace {

constexpr uint32_t head_window = 0x200000;
constexpr uint32_t tail_window = 0x100000;

// The usage, and the error line that ends it when no name was given.
const char* const usage_lines[] = {
    msg_usage_1, msg_usage_2,  msg_usage_3,  msg_usage_u,  msg_usage_4,  msg_usage_5,  msg_usage_6,
    msg_usage_7, msg_usage_8,  msg_usage_9,  msg_usage_10, msg_usage_11, msg_usage_12, msg_usage_13,
};

struct Windows {
    FileBuffer headbuf;
    FileBuffer tailbuf;
};

bool listing(const ConvertJob* job) {
    return (job->mode_flags & mode_list) != 0;
}

bool undoing(const ConvertJob* job) {
    return (job->mode_flags & mode_undo) != 0;
}

void print_banner() {
    console_text(msg_banner_rule);
    console_line(msg_banner_title);
}

void print_usage() {
    for (const char* line : usage_lines) console_text(line);
}

// Places the head window at the start and the tail window so that it ends
// where the trailing zero bytes begin, never before the start of the file.
void windows_place(int64_t size, int64_t zeros, SequenceHeaderInfo* info) {
    int64_t data = size - zeros;
    info->head_len = size < head_window ? static_cast<uint32_t>(data) : head_window;
    info->tail_len = data < tail_window ? static_cast<uint32_t>(data) : tail_window;
    info->tail_base = data - info->tail_len;
}

// Reads both windows; returns the stop message, or null.
const char* windows_fill(FileHandleRec* file, const SequenceHeaderInfo* info, Windows* w) {
    bool head_made = file_buffer_make(&w->headbuf, info->head_len);
    bool tail_made = file_buffer_make(&w->tailbuf, info->tail_len);
    if (!head_made) return msg_headbuf_error;
    file_seek(file, 0, file_begin);
    if (file_read(file, w->headbuf.bytes, info->head_len) == 0) return msg_head_read_error;
    if (!tail_made) return msg_tailbuf_error;
    if (info->tail_len == 0) return nullptr;  // nothing but zeros before the tail
    file_seek(file, info->tail_base, file_begin);
    if (file_read(file, w->tailbuf.bytes, info->tail_len) < info->tail_len) {
        return msg_tail_read_error;
    }
    return nullptr;
}

// The stop message of an empty or unreadable file, or null; *zeros gets the
// run of zero bytes at its end.
const char* zeros_measure(const FileHandleRec* file, const char* path, int64_t* zeros) {
    *zeros = 0;
    if (file->size == 0) return msg_empty_file;
    if (trailing_zero_count(path, zeros) != 0) return msg_tail_unreadable;
    return *zeros == file->size ? msg_all_zero_file : nullptr;
}

// The engine's run between a capture and a restore of the last-write time,
// both on the run's own handle: the file the engine wrote into is the one
// locked. A run that finishes or undoes one cut short puts back the time
// the marker file recorded before the first change.
int rewrite_and_report(const ConvertJob* job, const FileHandleRec* file, bool read_only) {
    OsFileTime written = {0, 0};
    bool known = !read_only && os_last_write_get(file->handle, &written);
    RewriteReport report = {false, {0, 0}};
    int32_t result = aspect_rewrite(job, &report);
    report_result(result, job);
    if (report.time_known) written = report.written;
    if (!read_only && (known || report.time_known)) os_last_write_set(file->handle, &written);
    return exit_code_of(result, job);
}

// The video's first sequence header and what follows it, from the head
// window or, where it did not reach them, from the rest of the file. A head
// window that held the whole file and no header may have stopped at damage,
// which the engine's walk reports (or, with -r, walks past).
int32_t video_header_settle(const ConvertJob* job, int64_t size, SequenceHeaderInfo* info) {
    if (info->layout.codec != codec_mpeg) {
        return video_header_seek(job, &info->video, &info->program, &info->sps, nullptr);
    }
    bool whole_file_seen = info->head_len >= size && video_probe_found(&info->video);
    if (video_probe_settled(&info->video) || whole_file_seen) return 0;
    return video_header_seek(job, &info->video, &info->program, nullptr, nullptr);
}

// A transport stream's tables or video can lie past the head window (a
// recording that opens with null packets); tables there that name no
// MPEG-1/MPEG-2 video settle it.
bool transport_video_missing(const SequenceHeaderInfo* info, int64_t size) {
    return info->layout.kind == stream_transport && !info->program.found &&
           (info->program.tables_seen || info->head_len >= size);
}

// What the head and tail windows and, if need be, the rest of the file say
// about the stream. Returns an exit code, or -1 to go on.
int analyse(FileHandleRec* file, CommandLine* line, SequenceHeaderInfo* info) {
    Windows windows;
    int64_t zeros = 0;
    const char* stop = zeros_measure(file, line->job.path.c_str(), &zeros);
    windows_place(file->size, zeros, info);
    if (stop == nullptr) stop = windows_fill(file, info, &windows);
    if (stop != nullptr) {
        console_text(stop);
        return exit_usage;
    }
    header_seek(windows.headbuf.bytes, windows.tailbuf.bytes, info);
    if (info->not_mpeg != 0) {
        console_text(msg_not_mpeg);
        return exit_not_mpeg;
    }
    int32_t result = transport_video_missing(info, file->size)
                         ? rewrite_no_mpeg_video
                         : video_header_settle(&line->job, file->size, info);
    if (result == rewrite_no_mpeg_video) {
        console_text(info->program.scrambled ? msg_no_video_scrambled : msg_no_mpeg_video);
        return exit_not_mpeg;
    }
    bool sequence_header_missing = info->layout.codec == codec_mpeg && !video_probe_found(&info->video);
    if (result == 0 && sequence_header_missing) result = rewrite_no_sequence_header;
    if (result != 0) {
        report_error(result);
        return exit_engine_error;
    }
    header_parse(windows.headbuf.bytes, windows.tailbuf.bytes, info);
    return -1;
}

void summary_print(const SequenceHeaderInfo* info, int64_t size) {
    char summary[512] = {};
    format_summary_line(info, size, summary);
    console_print(fmt_line, summary);
}

// What the video was before the tool first changed it, where the default
// target needs it: a marker file made for it says so.
AspectOriginal original_find(const CommandLine* line) {
    AspectOriginal original = {};
    const ConvertJob* job = &line->job;
    if (listing(job) || undoing(job) || command_line_has_o(line)) return original;
    std::string marker = side_path(job->path.c_str(), marker_extension);
    if (file_exists(marker.c_str()) != 0) return original;
    if (video_header_seek(job, nullptr, nullptr, nullptr, &original) != 0) original.known = false;
    return original;
}

// The target equals the first header's code: there is still something to
// do when another header holds another code (an interrupted run, a file
// with parts of both shapes). Otherwise the run says why there is nothing:
// the file was converted from another shape already (original_name), -o or
// a title set named what it holds, or no other shape was given. Returns an
// exit code, or -1 to go on.
int same_target_check(const CommandLine* line, const char* already_format, const char* target_name,
                      const char* original_name) {
    int32_t needed = aspect_change_needed(&line->job);
    if (needed > 0) return -1;
    if (needed < 0) {
        report_error(needed);
        return exit_engine_error;
    }
    if (original_name != nullptr) {
        console_print(msg_already_converted, original_name, target_name);
    } else if (command_line_has_o(line) || line->set_target >= 0) {
        console_print(already_format, target_name);
    } else {
        console_text(msg_target_equals_source);
    }
    return exit_same_aspect;
}

// Whether a rewrite of H.264 or HEVC video to the target can be made in
// place at all, and is needed. Returns an exit code, or -1 to go on.
int sps_target_check(const CommandLine* line, const SpsInfo* sps, SarRatio target, const char* name,
                     const AspectOriginal* original) {
    SarRatio current = sps_sar(sps);
    if (!sps->aspect_present) {
        console_text(msg_sps_no_aspect_field);
        return exit_no_aspect_field;
    }
    bool same = current.width != 0 && sar_same(current, target);
    if (same || target.width == 0) {
        char before[sar_name_capacity] = {};
        bool converted = original->known && !command_line_has_o(line);
        if (converted) sar_name(sps, original->sar, before);
        return same_target_check(line, msg_sps_already_target, name, converted ? before : nullptr);
    }
    if (sps->idc != sar_explicit && sar_table_code(target) == 0) {
        console_print(msg_sps_no_table_code, target.width, target.height);
        return exit_sps_left;
    }
    return -1;
}

// The same for H.264 and HEVC video, whose target is a sample aspect.
int sps_video_rewrite(CommandLine* line, const SequenceHeaderInfo* info, const FileHandleRec* file,
                      bool read_only) {
    char name[sar_name_capacity] = {};
    SarRatio target = sps_sar(&info->sps);
    sar_name(&info->sps, target, name);
    console_print(msg_source_aspect, name);
    ConvertJob* job = &line->job;
    if (!undoing(job)) {
        AspectOriginal original = original_find(line);
        if (sps_target_choose(line, &info->sps, &original, &target) != 0) return exit_bad_option;
        job->target_sar = target;
        sar_name(&info->sps, target, name);
        console_print(msg_target_aspect, name);
        int stop = listing(job) ? -1 : sps_target_check(line, &info->sps, target, name, &original);
        if (stop >= 0) return stop;
    }
    char summary[512] = {};
    format_sps_summary_line(info, target, file->size, summary);
    console_print(fmt_line, summary);
    return rewrite_and_report(job, file, read_only);
}

// MPEG-1 and MPEG-2 video: the target is a code of the aspect table.
int mpeg_video_rewrite(CommandLine* line, const SequenceHeaderInfo* info, const FileHandleRec* file,
                       bool read_only) {
    int32_t version = info->mpeg_version;
    console_print(msg_source_aspect, aspect_name(version, info->aspect_code));
    ConvertJob* job = &line->job;
    if (!undoing(job)) {
        AspectOriginal original = original_find(line);
        uint32_t target = 0;
        if (mpeg_target_choose(line, info, &original, &target) != 0) return exit_bad_option;
        job->target_aspect = target;
        console_print(msg_target_aspect, aspect_name(version, target));
        char shown[16] = {};
        if (!listing(job) && display_hides_change(info, target, shown, sizeof shown)) {
            console_print(msg_display_unchanged, info->video.display_width, info->video.display_height, shown);
        }
        // Listing needs no target.
        if (info->aspect_code == target && !listing(job)) {
            bool converted = original.known && !command_line_has_o(line);
            const char* before = converted ? aspect_name(version, original.first_byte >> 4) : nullptr;
            int stop = same_target_check(line, msg_already_target, aspect_name(version, target), before);
            if (stop >= 0) return stop;
        }
    }
    summary_print(info, file->size);
    if (listing(job) && info->video.display == 1) {
        console_print(msg_display_size, info->video.display_width, info->video.display_height);
    }
    return rewrite_and_report(job, file, read_only);
}

// Analyses the open file, settles the target and runs the engine.
int analyse_and_rewrite(FileHandleRec* file, CommandLine* line, uint32_t failed, bool read_only) {
    SequenceHeaderInfo info = {};
    int stop = analyse(file, line, &info);
    if (stop >= 0) return stop;
    if (failed >= 1) console_print(msg_rw_count, failed);
    if (info.layout.codec != codec_mpeg) return sps_video_rewrite(line, &info, file, read_only);
    return mpeg_video_rewrite(line, &info, file, read_only);
}

// Opens the video as the job needs it: a listing, which writes nothing to
// the video, also reads a file that can never be written. Returns an exit
// code, or -1 to go on.
int video_open(FileHandleRec* file, const ConvertJob* job, uint32_t* failed, bool* read_only) {
    const OpenRetryOps platform_ops = {file_open, file_lock, file_close, os_sleep_ms};
    const char* path = job->path.c_str();
    int opened = open_with_retries(file, path, &platform_ops, failed);
    if (opened == open_refused && listing(job) && file_open(file, path, generic_read) == file_opened) {
        *read_only = true;
        if (file_lock(file) == 0) return -1;
        file_close(file);
        opened = open_held_by_run;
    }
    switch (opened) {
    case open_done: return -1;
    case open_held_by_run: console_print(msg_open_held_by_run, *failed); return exit_open_gave_up;
    case open_refused: console_text(msg_open_refused); return exit_open_gave_up;
    case open_not_file: console_text(msg_not_regular_file); return exit_no_file;
    case open_missing: console_text(msg_batch_missing); return exit_no_file;
    default: break;
    }
    char message[512] = {};
    text_format(message, sizeof message, msg_open_gave_up, *failed);
    console_line(message);
    return exit_open_gave_up;
}

}  // namespace

void report_error(int32_t result) {
    char closing[512] = {};
    text_format(closing, sizeof closing, msg_error_end, result);
    const char* message = rewrite_result_message(result);
    console_text("\n");
    console_text(message != nullptr ? message : closing);
    console_text("\n");
    console_line(closing);
}

void report_result(int32_t result, const ConvertJob* job) {
    if (result < 0) {
        report_error(result);
    } else if (listing(job)) {
        console_text(msg_list_done);
    } else if (undoing(job)) {
        console_text("\n");
        console_line(result == restore_partial ? msg_restore_partial : msg_restored);
    } else {
        int32_t done = result & ~rewrite_some_left;
        console_text("\n");
        console_line(done == rewrite_done_marker_created ? msg_converted_ini_created : msg_converted);
    }
}

int exit_code_of(int32_t result, const ConvertJob* job) {
    if (undoing(job)) {
        if (result == rewrite_marker_missing || result == rewrite_marker_unreadable ||
            result == rewrite_marker_foreign || result == rewrite_marker_linked) {
            return exit_no_marker;
        }
        if (result == restore_partial) return exit_restore_partial;
    }
    if (result < 0) return exit_engine_error;
    return (result & rewrite_some_left) != 0 ? exit_sps_left : exit_ok;
}

int open_with_retries(FileHandleRec* file, const char* path, const OpenRetryOps* ops,
                      uint32_t* failed) {
    *failed = 0;
    bool opened = false;
    bool locked_out = false;
    for (;;) {
        ops->sleep(open_wait_ms);
        if (opened || *failed > open_retry_bound) break;
        int result = ops->open(file, path, generic_read | generic_write);
        // Waiting would not help these.
        if (result == file_open_refused) return open_refused;
        if (result == file_open_not_file) return open_not_file;
        if (result == file_open_missing) return open_missing;
        locked_out = result == file_opened && ops->lock(file) != 0;
        if (locked_out) ops->close(file);
        if (result == file_opened && !locked_out) {
            opened = true;
        } else {
            ++*failed;
        }
    }
    if (opened) return open_done;
    return locked_out ? open_held_by_run : open_gave_up;
}

int file_run(CommandLine* line) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    uint32_t failed = 0;
    bool read_only = false;
    int stop = video_open(&file, &line->job, &failed, &read_only);
    if (stop >= 0) return stop;
    // The handle holds the run's lock until the run ends.
    line->job.locked = &file;
    int code = analyse_and_rewrite(&file, line, failed, read_only);
    line->job.locked = nullptr;
    file_close(&file);
    return code;
}

int run_main(int argc, char** argv) {
    print_banner();
    if (argc <= 1) {
        print_usage();
        console_text(msg_usage_14);
        return exit_usage;
    }
    CommandLine line;
    bool named = command_line_scan(argc, argv, &line) == 0;
    if (line.unknown_option != nullptr) {
        print_usage();
        console_print(msg_unknown_option, os_name_cp932(line.unknown_option).c_str());
        return exit_bad_option;
    }
    if (line.help) {
        print_usage();
        return exit_ok;
    }
    if (!named) {
        console_text(msg_no_file);
        return exit_no_file;
    }
    if (line.late_option != nullptr) {
        console_print(msg_option_after_name, os_name_cp932(line.late_option).c_str());
        return exit_bad_option;
    }
    if (undoing(&line.job) && (listing(&line.job) || command_line_has_o(&line))) {
        console_text(msg_undo_conflict);
        return exit_bad_option;
    }
    return batch_run(&line);
}
