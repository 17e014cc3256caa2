#include "cli/report.h"

#include <string>

#include "cli/name_tables.h"
#include "cli/progress.h"
#include "cli/summary.h"
#include "codecs/site.h"
#include "console/console.h"
#include "console/messages.h"
#include "notices/file_notices.h"
#include "notices/job_notices.h"
#include "notices/walk_notices.h"

namespace {

unsigned u(int64_t n) {
    return static_cast<unsigned>(n);
}

long long ll(int64_t n) {
    return static_cast<long long>(n);
}

// A line set off by a line break before it, as the walk's reports are.
void line_after_break(const std::string& text) {
    console_print(fmt_stream_id_line, text.c_str());
}

const char* result_message(int64_t result) {
    switch (result) {
    case result_open_error: return msg_engine_open;
    case result_data_buffer_error: return msg_engine_buffer_1;
    case result_block_buffer_error: return msg_engine_buffer_2;
    case result_stream_id_error: return msg_engine_stream_id;
    case result_side_file_error: return msg_engine_ini_create;
    case result_write_error: return msg_engine_write;
    case result_read_error: return msg_engine_read;
    case result_marker_write_error: return msg_engine_marker_write;
    case result_list_write_error: return msg_engine_list_write;
    case result_close_error: return msg_engine_close;
    case result_no_sequence_header: return msg_engine_no_sequence_header;
    case result_marker_unreadable: return msg_engine_marker_unreadable;
    case result_marker_missing: return msg_engine_marker_missing;
    case result_marker_remove_error: return msg_engine_marker_remove;
    case result_marker_foreign: return msg_engine_marker_foreign;
    case result_marker_linked: return msg_engine_marker_linked;
    case result_not_dvd_ifo: return msg_engine_not_dvd_ifo;
    case result_no_sps: return msg_engine_no_sps;
    case result_list_not_ours: return msg_engine_list_not_ours;
    case result_sps_unreadable: return msg_engine_sps_unreadable;
    case result_video_pid_empty: return msg_engine_video_pid_empty;
    case result_video_scrambled: return msg_engine_video_scrambled;
    case result_no_movie: return msg_engine_no_movie;
    case result_box_broken: return msg_engine_box_broken;
    case result_samples_outside: return msg_engine_samples_outside;
    case result_element_broken: return msg_engine_element_broken;
    default: return nullptr;
    }
}

// The message of a result, then the closing line with its number.
void error_report(int64_t result) {
    std::string closing = text_string(msg_error_end, static_cast<int>(result));
    const char* message = result_message(result);
    console_text("\n");
    console_text(message != nullptr ? message : closing.c_str());
    console_text("\n");
    console_line(closing.c_str());
}

const char* stop_message(StopReason stop) {
    static const char* const messages[] = {
        msg_empty_file,     msg_all_zero_file,    msg_tail_unreadable,    msg_headbuf_error,
        msg_head_read_error, msg_tailbuf_error,   msg_tail_read_error,    msg_not_mpeg,
        msg_no_mpeg_video,  msg_no_video_scrambled, msg_open_refused,     msg_not_regular_file,
        msg_no_file,        msg_dvd_code_only,    msg_video_encrypted,
        msg_video_mpeg4_part2,
    };
    return messages[stop];
}

std::string sar_text(uint32_t width, uint32_t height, SarRatio sar) {
    char name[sar_name_capacity] = {};
    sar_name(width, height, sar, name);
    return name;
}

std::string shape_text(uint64_t num, uint64_t den) {
    if (num * 3 == den * 4) return "4:3";
    if (num * 9 == den * 16) return "16:9";
    return text_string(fmt_display_ratio, static_cast<double>(num) / static_cast<double>(den));
}

// The summary line, after the container's name where the notice has one.
void summary_print(const char* container, const char* line) {
    if (container != nullptr) {
        console_print(fmt_line, text_string(fmt_container_summary, container, line).c_str());
    } else {
        console_print(fmt_line, line);
    }
}

// Which place of an MP4 or MOV file cannot take the target, and why.
void place_refused_report(const PlaceRefusedNotice& n) {
    const char* box = site_holder_name(n.holder, n.codec);
    std::string place = n.site == site_sequence_header ? msg_place_sequence_header
                        : n.site != site_parameter_set ? box
                        : box != nullptr               ? text_string(msg_place_config_set, box)
                                                       : msg_place_sample_set;
    const char* why = msg_why_unread;
    if (n.why == aspect_edit_no_field) why = msg_why_no_field;
    if (n.why == aspect_edit_no_code) why = msg_why_no_code;
    if (n.why == aspect_edit_escaping) why = msg_why_escaping;
    if (n.why == aspect_edit_no_room) why = msg_why_no_room;
    console_print(msg_place_refused, ll(n.position), place.c_str(), why);
}

void misses_report(const RestoreMissesNotice& n) {
    console_print(n.altered ? msg_restore_altered : msg_restore_missed, ll(n.count));
    for (int64_t i = 0; i < n.count && i < restore_positions_shown; ++i) {
        console_print(msg_restore_missed_position, ll(n.first[i]));
    }
}

void progress_report(const ProgressNotice& n) {
    ProgressInput input = {n.packets ? walk_packets : walk_linear, static_cast<uint64_t>(n.header_pos), n.file_pos,
                           n.file_size, n.start_tick, os_tick_ms(), n.list_line};
    char line[progress_text_capacity] = {};
    progress_line_build(&input, line);
    console_print(fmt_progress_out, line);
}

void damage_report(const DamageNotice& n) {
    line_after_break(text_string(msg_stream_id_bytes, u(n.bytes[0]), u(n.bytes[1]), u(n.bytes[2])));
    console_print(fmt_line, text_string(msg_stream_broken_at, ll(n.position)).c_str());
}

void restore_damaged_report(const RestoreDamagedNotice& n) {
    const char* message = result_message(n.result);
    console_text("\n");
    if (message != nullptr) console_line(message);
}

template <typename T>
const T& record(const Notice* n) {
    return notice_record<T>(n);
}

// What a walk met on its way, and the way back.
bool walk_report(const Notice* n) {
    switch (n->kind) {
    case notice_progress: progress_report(record<ProgressNotice>(n)); return true;
    case notice_damage: damage_report(record<DamageNotice>(n)); return true;
    case notice_read_short: {
        const auto& r = record<ReadShortNotice>(n);
        line_after_break(text_string(msg_read_short, ll(r.position), u(r.wanted), u(r.got)));
        return true;
    }
    case notice_sync_lost: {
        const auto& r = record<SyncLostNotice>(n);
        line_after_break(text_string(msg_sync_lost, u(r.losses), ll(r.skipped)));
        return true;
    }
    case notice_other_video: {
        const auto& r = record<OtherVideoNotice>(n);
        line_after_break(text_string(msg_other_video, u(r.pid), u(r.headers)));
        return true;
    }
    case notice_false_headers:
        line_after_break(text_string(msg_false_headers, u(record<FalseHeadersNotice>(n).count)));
        return true;
    case notice_sets_left: {
        const auto& r = record<SetsLeftNotice>(n);
        line_after_break(text_string(msg_sps_left, u(r.total), u(r.no_field), u(r.no_code), u(r.escaping),
                                     u(r.across_repeat)));
        return true;
    }
    case notice_sets_other: {
        const auto& r = record<SetsOtherNotice>(n);
        line_after_break(text_string(msg_sps_other, u(r.id), u(r.width), u(r.height), u(r.count)));
        return true;
    }
    case notice_sets_other_more:
        line_after_break(text_string(msg_sps_other_more, u(record<SetsOtherMoreNotice>(n).count)));
        return true;
    default: return false;
    }
}

// The marker file and the way back.
bool marker_report(const Notice* n) {
    switch (n->kind) {
    case notice_marker_other_name: {
        const auto& r = record<MarkerOtherNameNotice>(n);
        console_print(msg_marker_other_name, r.name, ll(r.size));
        return true;
    }
    case notice_marker_other_size: console_print(msg_marker_other_size, ll(record<MarkerOtherSizeNotice>(n).size)); return true;
    case notice_marker_other_rate: console_print(msg_marker_other_rate); return true;
    case notice_break: console_text("\n"); return true;
    case notice_restore_misses: misses_report(record<RestoreMissesNotice>(n)); return true;
    case notice_restore_damaged: restore_damaged_report(record<RestoreDamagedNotice>(n)); return true;
    default: return false;
    }
}

void mpeg_summary_report(const MpegSummaryNotice& n) {
    char line[512] = {};
    format_summary_line(&n.summary, line);
    summary_print(n.container, line);
}

void sar_summary_report(const SarSummaryNotice& n) {
    char line[512] = {};
    format_sar_summary_line(&n.summary, line);
    summary_print(n.container, line);
}

// What a run says of its file before the walk: aspects and summary.
bool file_report(const Notice* n) {
    switch (n->kind) {
    case notice_opened_late: console_print(msg_rw_count, static_cast<int>(record<OpenedLateNotice>(n).failed)); return true;
    case notice_mpeg_aspect: {
        const auto& r = record<MpegAspectNotice>(n);
        console_print(r.target ? msg_target_aspect : msg_source_aspect, aspect_name(r.version, r.code));
        return true;
    }
    case notice_sar_aspect: {
        const auto& r = record<SarAspectNotice>(n);
        console_print(r.target ? msg_target_aspect : msg_source_aspect, sar_text(r.width, r.height, r.sar).c_str());
        return true;
    }
    case notice_display_unchanged: {
        const auto& r = record<DisplayUnchangedNotice>(n);
        console_print(msg_display_unchanged, u(r.width), u(r.height), shape_text(r.shown_num, r.shown_den).c_str());
        return true;
    }
    case notice_display_size: {
        const auto& r = record<DisplaySizeNotice>(n);
        console_print(msg_display_size, u(r.width), u(r.height));
        return true;
    }
    case notice_other_tracks: {
        const auto& r = record<OtherTracksNotice>(n);
        console_print(msg_other_tracks, u(r.count), static_cast<unsigned>(r.first_id));
        return true;
    }
    case notice_mpeg_summary: mpeg_summary_report(record<MpegSummaryNotice>(n)); return true;
    case notice_sar_summary: sar_summary_report(record<SarSummaryNotice>(n)); return true;
    default: return false;
    }
}

// -o names no code the video takes: the range, then what was given.
void code_refused_report(const CodeRefusedNotice& n) {
    console_text(n.sample_aspect ? msg_sps_aspect_out_of_range : msg_aspect_out_of_range);
    if (n.digits) {
        console_print(msg_aspect_given, static_cast<int>(n.code));
    } else {
        console_print(msg_aspect_given_text, os_name_cp932(n.text).c_str());
    }
}

void open_failed_report(const OpenFailedNotice& n) {
    if (n.held_by_run) {
        console_print(msg_open_held_by_run, static_cast<int>(n.failed));
    } else {
        console_line(text_string(msg_open_gave_up, static_cast<int>(n.failed)).c_str());
    }
}

// Why a run has nothing to do: the target is there already.
bool same_report(const Notice* n) {
    switch (n->kind) {
    case notice_mpeg_converted: {
        const auto& r = record<MpegConvertedNotice>(n);
        console_print(msg_already_converted, aspect_name(r.version, r.original), aspect_name(r.version, r.target));
        return true;
    }
    case notice_sar_converted: {
        const auto& r = record<SarConvertedNotice>(n);
        console_print(msg_already_converted, sar_text(r.width, r.height, r.original).c_str(),
                      sar_text(r.width, r.height, r.target).c_str());
        return true;
    }
    case notice_mpeg_already: {
        const auto& r = record<MpegAlreadyNotice>(n);
        console_print(msg_already_target, aspect_name(r.version, r.code));
        return true;
    }
    case notice_sar_already: {
        const auto& r = record<SarAlreadyNotice>(n);
        console_print(msg_sps_already_target, sar_text(r.width, r.height, r.sar).c_str());
        return true;
    }
    case notice_target_equals_source: console_text(msg_target_equals_source); return true;
    default: return false;
    }
}

// Why a run ends before its walk.
bool stop_report(const Notice* n) {
    switch (n->kind) {
    case notice_code_refused: code_refused_report(record<CodeRefusedNotice>(n)); return true;
    case notice_sets_no_aspect_field: console_text(msg_sps_no_aspect_field); return true;
    case notice_sets_no_table_code: {
        const SarRatio& sar = record<SetsNoTableCodeNotice>(n).sar;
        console_print(msg_sps_no_table_code, u(sar.width), u(sar.height));
        return true;
    }
    case notice_place_refused: place_refused_report(record<PlaceRefusedNotice>(n)); return true;
    case notice_stop: console_text(stop_message(record<StopNotice>(n).reason)); return true;
    case notice_open_failed: open_failed_report(record<OpenFailedNotice>(n)); return true;
    case notice_error: error_report(record<ErrorNotice>(n).result); return true;
    default: return false;
    }
}

// The closing lines of the walk's outcome.
void outcome_report(const RunOutcome& outcome) {
    if (outcome.result < 0) {
        error_report(outcome.result);
        return;
    }
    switch (outcome.ending) {
    case ending_listed: console_text(msg_list_done); return;
    case ending_restored:
    case ending_restored_partly:
        console_text("\n");
        console_line(outcome.ending == ending_restored_partly ? msg_restore_partial : msg_restored);
        return;
    default:
        console_text("\n");
        console_line(outcome.marker_created ? msg_converted_ini_created : msg_converted);
        return;
    }
}

// Jobs of many files: names, skips, counts.
bool job_report(const Notice* n) {
    switch (n->kind) {
    case notice_file_name: console_print(msg_batch_file, os_name_cp932(record<FileNameNotice>(n).path).c_str()); return true;
    case notice_file_missing: console_text(msg_batch_missing); return true;
    case notice_file_not_mpeg: console_text(msg_batch_not_mpeg); return true;
    case notice_file_no_marker: console_text(msg_batch_no_marker); return true;
    case notice_file_taken_before: console_text(msg_batch_duplicate); return true;
    case notice_folder_unreadable: console_text(msg_folder_unreadable); return true;
    case notice_folder_no_mpeg: console_text(msg_folder_no_mpeg); return true;
    case notice_batch_total: {
        const auto& r = record<BatchTotalNotice>(n);
        console_print(msg_batch_total, u(r.total), u(r.changed), u(r.unchanged), u(r.failed), u(r.skipped));
        return true;
    }
    case notice_batch_failed: {
        const auto& r = record<BatchFailedNotice>(n);
        console_print(msg_batch_failed, os_name_cp932(r.path).c_str(), static_cast<int>(r.exit_code));
        return true;
    }
    default: return false;
    }
}

// DVD title sets.
void dvd_report(const Notice* n) {
    switch (n->kind) {
    case notice_dvd_title_set: console_print(msg_dvd_title_set, u(record<TitleSetNotice>(n).number)); break;
    case notice_dvd_no_title_vob: console_text(msg_dvd_no_title_vob); break;
    case notice_dvd_not_mpeg2: console_text(msg_dvd_not_mpeg2); break;
    case notice_dvd_made_consistent:
        console_print(msg_dvd_made_consistent, aspect_name(2, record<MadeConsistentNotice>(n).code));
        break;
    case notice_dvd_ifo_kept: console_text(msg_dvd_ifo_kept); break;
    case notice_dvd_ifo_not_restored: console_text(msg_dvd_ifo_not_restored); break;
    case notice_dvd_bup_differs: console_text(msg_dvd_bup_differs); break;
    case notice_dvd_ifo_already: console_print(msg_dvd_ifo_already, aspect_name(2, record<IfoAlreadyNotice>(n).code)); break;
    case notice_dvd_aspects: {
        const auto& r = record<DvdAspectsNotice>(n);
        console_print(msg_dvd_aspects, aspect_name(2, r.ifo_code), aspect_name(2, r.vob_code));
        break;
    }
    default: break;
    }
}

int32_t notice_report(void*, const Notice* n) {
    if (n->kind == notice_outcome) {
        outcome_report(record<RunOutcome>(n));
    } else if (!walk_report(n) && !marker_report(n) && !file_report(n) && !same_report(n) && !stop_report(n) &&
               !job_report(n)) {
        dvd_report(n);
    }
    return 0;
}

}  // namespace

NoticeSink report_sink() {
    return NoticeSink{notice_report, nullptr};
}
