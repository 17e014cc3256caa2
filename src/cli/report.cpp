#include "cli/report.h"

#include <string>

#include "cli/name_tables.h"
#include "cli/progress.h"
#include "cli/summary.h"
#include "codecs/site.h"
#include "console/console.h"
#include "console/messages.h"
#include "run/exit_codes.h"

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
    case result_samples_unaccounted: return msg_engine_samples_unaccounted;
    case result_file_cut: return msg_engine_file_cut;
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

const char* stop_message(int64_t stop) {
    static const char* const messages[] = {
        msg_empty_file,     msg_all_zero_file,    msg_tail_unreadable,    msg_headbuf_error,
        msg_head_read_error, msg_tailbuf_error,   msg_tail_read_error,    msg_not_mpeg,
        msg_no_mpeg_video,  msg_no_video_scrambled, msg_open_refused,     msg_not_regular_file,
        msg_no_file,        msg_dvd_code_only,    msg_video_encrypted,
        msg_video_mpeg4_part2,
    };
    return messages[stop];
}

std::string sar_text(int64_t width, int64_t height, int64_t sar_width, int64_t sar_height) {
    char name[sar_name_capacity] = {};
    sar_name(u(width), u(height), SarRatio{u(sar_width), u(sar_height)}, name);
    return name;
}

std::string shape_text(int64_t num, int64_t den) {
    if (num * 3 == den * 4) return "4:3";
    if (num * 9 == den * 16) return "16:9";
    return text_string(fmt_display_ratio, static_cast<double>(num) / static_cast<double>(den));
}

// The summary line, after the container's name where the notice has one.
void summary_print(const Notice* n, const char* line) {
    if (n->text != nullptr) {
        console_print(fmt_line, text_string(fmt_container_summary, n->text, line).c_str());
    } else {
        console_print(fmt_line, line);
    }
}

// Which place of an MP4 or MOV file cannot take the target, and why.
void place_refused_report(const Notice* n) {
    SiteKind kind = static_cast<SiteKind>(n->n[0]);
    SiteHolder holder = static_cast<SiteHolder>(n->n[1]);
    const char* box = site_holder_name(holder, static_cast<VideoCodec>(n->n[2]));
    std::string place = kind == site_sequence_header ? msg_place_sequence_header
                        : kind != site_parameter_set ? box
                        : box != nullptr             ? text_string(msg_place_config_set, box)
                                                     : msg_place_sample_set;
    const char* why = msg_why_unread;
    if (n->n[4] == aspect_edit_no_field) why = msg_why_no_field;
    if (n->n[4] == aspect_edit_no_code) why = msg_why_no_code;
    if (n->n[4] == aspect_edit_escaping) why = msg_why_escaping;
    if (n->n[4] == aspect_edit_no_room) why = msg_why_no_room;
    console_print(msg_place_refused, ll(n->n[3]), place.c_str(), why);
}

void misses_report(const char* format, const Notice* n) {
    console_print(format, ll(n->n[0]));
    for (int64_t i = 0; i < n->n[0] && i < 5; ++i) console_print(msg_restore_missed_position, ll(n->n[1 + i]));
}

// What a walk met on its way, and the way back.
bool walk_report(const Notice* n) {
    switch (n->kind) {
    case notice_progress: {
        ProgressInput input = {n->n[0] == 0 ? walk_linear : walk_packets, static_cast<uint64_t>(n->n[1]), n->n[2],
                               n->n[3], static_cast<uint32_t>(n->n[4]), os_tick_ms(), n->text};
        char line[progress_text_capacity] = {};
        progress_line_build(&input, line);
        console_print(fmt_progress_out, line);
        return true;
    }
    case notice_damage:
        line_after_break(text_string(msg_stream_id_bytes, u(n->n[1]), u(n->n[2]), u(n->n[3])));
        console_print(fmt_line, text_string(msg_stream_broken_at, ll(n->n[0])).c_str());
        return true;
    case notice_read_short: line_after_break(text_string(msg_read_short, ll(n->n[0]), u(n->n[1]), u(n->n[2]))); return true;
    case notice_sync_lost: line_after_break(text_string(msg_sync_lost, u(n->n[0]), ll(n->n[1]))); return true;
    case notice_other_video: line_after_break(text_string(msg_other_video, u(n->n[0]), u(n->n[1]))); return true;
    case notice_false_headers: line_after_break(text_string(msg_false_headers, u(n->n[0]))); return true;
    case notice_file_cut: line_after_break(text_string(msg_file_cut_at, ll(n->n[0]))); return true;
    case notice_sets_left:
        line_after_break(text_string(msg_sps_left, u(n->n[0]), u(n->n[1]), u(n->n[2]), u(n->n[3]), u(n->n[4])));
        return true;
    case notice_sets_other:
        line_after_break(text_string(msg_sps_other, u(n->n[0]), u(n->n[1]), u(n->n[2]), u(n->n[3])));
        return true;
    case notice_sets_other_more: line_after_break(text_string(msg_sps_other_more, u(n->n[0]))); return true;
    case notice_marker_other_name: console_print(msg_marker_other_name, n->text, ll(n->n[0])); return true;
    case notice_marker_other_size: console_print(msg_marker_other_size, ll(n->n[0])); return true;
    case notice_marker_other_rate: console_print(msg_marker_other_rate); return true;
    case notice_break: console_text("\n"); return true;
    case notice_restore_missed: misses_report(msg_restore_missed, n); return true;
    case notice_restore_altered: misses_report(msg_restore_altered, n); return true;
    case notice_restore_damaged: {
        const char* message = result_message(n->n[0]);
        console_text("\n");
        if (message != nullptr) console_line(message);
        return true;
    }
    default: return false;
    }
}

// What a run says of its file before the walk: aspects and summary.
bool file_report(const Notice* n) {
    switch (n->kind) {
    case notice_rw_count: console_print(msg_rw_count, static_cast<int>(n->n[0])); return true;
    case notice_mpeg_aspects:
        console_print(n->text != nullptr ? msg_target_aspect : msg_source_aspect,
                      aspect_name(static_cast<int>(n->n[0]), u(n->n[1])));
        return true;
    case notice_sar_aspect:
        console_print(n->n[4] == 1 ? msg_target_aspect : msg_source_aspect,
                      sar_text(n->n[0], n->n[1], n->n[2], n->n[3]).c_str());
        return true;
    case notice_display_unchanged:
        console_print(msg_display_unchanged, u(n->n[0]), u(n->n[1]), shape_text(n->n[2], n->n[3]).c_str());
        return true;
    case notice_display_size: console_print(msg_display_size, u(n->n[0]), u(n->n[1])); return true;
    case notice_other_tracks: console_print(msg_other_tracks, u(n->n[1]), u(n->n[0])); return true;
    case notice_mpeg_summary: {
        MpegSummary s = {static_cast<int32_t>(n->n[0]), static_cast<int32_t>(n->n[1]), static_cast<int32_t>(n->n[2]),
                         static_cast<uint8_t>(n->n[3]), u(n->n[4]), n->real, n->n[5]};
        char line[512] = {};
        format_summary_line(&s, line);
        summary_print(n, line);
        return true;
    }
    case notice_sar_summary: {
        SarSummary s = {static_cast<VideoCodec>(n->n[0]), u(n->n[1]), u(n->n[2]), {u(n->n[3]), u(n->n[4])},
                        {u(n->n[5]), u(n->n[6])}, n->real, n->n[7]};
        char line[512] = {};
        format_sar_summary_line(&s, line);
        summary_print(n, line);
        return true;
    }
    default: return false;
    }
}

// Why a run ends before its walk, or has nothing to do.
bool stop_report(const Notice* n) {
    int version = static_cast<int>(n->n[0]);
    switch (n->kind) {
    case notice_mpeg_converted:
        console_print(msg_already_converted, aspect_name(version, u(n->n[1])), aspect_name(version, u(n->n[2])));
        return true;
    case notice_sar_converted:
        console_print(msg_already_converted, sar_text(n->n[0], n->n[1], n->n[2], n->n[3]).c_str(),
                      sar_text(n->n[0], n->n[1], n->n[4], n->n[5]).c_str());
        return true;
    case notice_mpeg_already: console_print(msg_already_target, aspect_name(version, u(n->n[1]))); return true;
    case notice_sar_already:
        console_print(msg_sps_already_target, sar_text(n->n[0], n->n[1], n->n[2], n->n[3]).c_str());
        return true;
    case notice_target_equals_source: console_text(msg_target_equals_source); return true;
    case notice_code_out_of_range:
        console_text(n->n[0] == 0 ? msg_aspect_out_of_range : msg_sps_aspect_out_of_range);
        return true;
    case notice_code_given: console_print(msg_aspect_given, static_cast<int>(n->n[0])); return true;
    case notice_code_given_text: console_print(msg_aspect_given_text, os_name_cp932(n->text).c_str()); return true;
    case notice_sets_no_aspect_field: console_text(msg_sps_no_aspect_field); return true;
    case notice_sets_no_table_code: console_print(msg_sps_no_table_code, u(n->n[0]), u(n->n[1])); return true;
    case notice_place_refused: place_refused_report(n); return true;
    case notice_stop: console_text(stop_message(n->n[0])); return true;
    case notice_open_held_by_run: console_print(msg_open_held_by_run, static_cast<int>(n->n[0])); return true;
    case notice_open_gave_up: console_line(text_string(msg_open_gave_up, static_cast<int>(n->n[0])).c_str()); return true;
    case notice_error: error_report(n->n[0]); return true;
    default: return false;
    }
}

// Jobs of many files: names, skips, counts, DVD title sets.
void job_report(const Notice* n) {
    switch (n->kind) {
    case notice_file_name: console_print(msg_batch_file, os_name_cp932(n->text).c_str()); break;
    case notice_file_missing: console_text(msg_batch_missing); break;
    case notice_file_not_mpeg: console_text(msg_batch_not_mpeg); break;
    case notice_file_no_marker: console_text(msg_batch_no_marker); break;
    case notice_file_taken_before: console_text(msg_batch_duplicate); break;
    case notice_folder_unreadable: console_text(msg_folder_unreadable); break;
    case notice_folder_no_mpeg: console_text(msg_folder_no_mpeg); break;
    case notice_batch_total:
        console_print(msg_batch_total, u(n->n[0]), u(n->n[1]), u(n->n[2]), u(n->n[3]), u(n->n[4]));
        break;
    case notice_batch_failed:
        console_print(msg_batch_failed, os_name_cp932(n->text).c_str(), static_cast<int>(n->n[0]));
        break;
    case notice_dvd_title_set: console_print(msg_dvd_title_set, u(n->n[0])); break;
    case notice_dvd_no_title_vob: console_text(msg_dvd_no_title_vob); break;
    case notice_dvd_not_mpeg2: console_text(msg_dvd_not_mpeg2); break;
    case notice_dvd_made_consistent: console_print(msg_dvd_made_consistent, aspect_name(2, u(n->n[0]))); break;
    case notice_dvd_ifo_kept: console_text(msg_dvd_ifo_kept); break;
    case notice_dvd_ifo_not_restored: console_text(msg_dvd_ifo_not_restored); break;
    case notice_dvd_bup_differs: console_text(msg_dvd_bup_differs); break;
    case notice_dvd_ifo_already: console_print(msg_dvd_ifo_already, aspect_name(2, u(n->n[0]))); break;
    case notice_dvd_aspects:
        console_print(msg_dvd_aspects, aspect_name(2, u(n->n[0])), aspect_name(2, u(n->n[1])));
        break;
    default: break;
    }
}

int32_t notice_report(void*, const Notice* n) {
    if (n->kind == notice_outcome) return outcome_report(n->outcome);
    if (!walk_report(n) && !file_report(n) && !stop_report(n)) job_report(n);
    return 0;
}

int outcome_exit_code(const RunOutcome* outcome) {
    Result result = outcome->result;
    if (outcome->mode == outcome_undo) {
        if (result == result_marker_missing || result == result_marker_unreadable ||
            result == result_marker_foreign || result == result_marker_linked) {
            return exit_no_marker;
        }
        if (outcome->restore_partial) return exit_restore_partial;
    }
    if (result < 0) return exit_engine_error;
    return outcome->sets_left ? exit_sps_left : exit_ok;
}

}  // namespace

NoticeSink report_sink() {
    return NoticeSink{notice_report, nullptr};
}

int outcome_report(const RunOutcome* outcome) {
    if (outcome->result < 0) {
        error_report(outcome->result);
    } else if (outcome->mode == outcome_list) {
        console_text(msg_list_done);
    } else if (outcome->mode == outcome_undo) {
        console_text("\n");
        console_line(outcome->restore_partial ? msg_restore_partial : msg_restored);
    } else {
        console_text("\n");
        console_line(outcome->marker_created ? msg_converted_ini_created : msg_converted);
    }
    return outcome_exit_code(outcome);
}
