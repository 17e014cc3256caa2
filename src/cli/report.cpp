#include "cli/report.h"

#include <string>

#include "cli/name_tables.h"
#include "cli/progress.h"
#include "cli/run_report.h"
#include "cli/summary.h"
#include "codecs/dv_dif.h"
#include "console/console.h"
#include "console/messages.h"
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

void misses_report(const RestoreMissesNotice& n) {
    console_print(n.altered ? msg_restore_altered : msg_restore_missed, static_cast<long long>(n.misses.count));
    for (size_t i = 0; i < n.misses.count && i < marker_misses_shown; ++i) {
        console_print(msg_restore_missed_position, ll(n.misses.first[i]));
    }
}

void progress_report(const ProgressNotice& n) {
    ProgressInput input = {n.packets ? walk_packets : walk_linear, static_cast<uint64_t>(n.header_pos), n.file_pos,
                           n.file_size, n.start_tick, os_tick_ms(), n.list_line};
    char line[progress_text_capacity] = {};
    progress_line_build(&input, line);
    console_print(fmt_progress_out, line);
}

void pack_run_report(const PackRunNotice& r) {
    if (r.line != nullptr) {
        line_after_break(r.line);
        return;
    }
    char packs[size_text_capacity] = {};
    format_size_text(static_cast<int64_t>(r.packs), packs);
    std::string text = text_string(msg_dv_pack_run, ll(static_cast<int64_t>(r.first_frame)), ll(static_cast<int64_t>(r.last_frame)), packs, r.shape);
    if (r.other) text += text_string(fmt_list_other_size, u(r.width), u(r.height));
    if (r.holder != nullptr) text += text_string(fmt_list_holder, r.holder);
    line_after_break(text);
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

// What a walk met on its way, and the way back.
// Headers of another video than the first's, named as their codec names
// them: a DV frame by its picture and rate (25 Mbit/s a channel).
void sets_other_report(const SetsOtherNotice& r) {
    if (r.site == site_video_object_layer) {
        line_after_break(text_string(msg_vol_other, u(r.width), u(r.height), u(r.count)));
    } else if (r.site == site_h263_picture) {
        line_after_break(text_string(msg_picture_other, u(r.width), u(r.height), u(r.count)));
    } else if (r.site == site_vc1_sequence) {
        line_after_break(text_string(msg_vc1_other, u(r.width), u(r.height), u(r.count)));
    } else if (r.site == site_dv_control) {
        uint32_t mbps = dv_frame_kind(r.form).mbps;
        line_after_break(text_string(msg_dv_other, u(r.width), u(r.height), u(mbps), u(r.count)));
    } else {
        line_after_break(text_string(msg_sps_other, u(r.sps_id), u(r.width), u(r.height), u(r.count)));
    }
}

bool walk_report(const Notice* n) {
    switch (n->kind) {
    case notice_progress: progress_report(notice_record<ProgressNotice>(n)); return true;
    case notice_damage: damage_report(notice_record<DamageNotice>(n)); return true;
    case notice_pack_run: pack_run_report(notice_record<PackRunNotice>(n)); return true;
    case notice_read_short: {
        const auto& r = notice_record<ReadShortNotice>(n);
        line_after_break(text_string(msg_read_short, ll(r.position), u(r.wanted), u(r.got)));
        return true;
    }
    case notice_sync_lost: {
        const auto& r = notice_record<SyncLostNotice>(n);
        line_after_break(text_string(msg_sync_lost, u(r.losses), ll(r.skipped)));
        return true;
    }
    case notice_other_video: {
        const auto& r = notice_record<OtherVideoNotice>(n);
        line_after_break(text_string(msg_other_video, u(r.pid), u(r.headers)));
        return true;
    }
    case notice_false_headers:
        line_after_break(text_string(msg_false_headers, u(notice_record<FalseHeadersNotice>(n).count)));
        return true;
    case notice_disc_sets_other: {
        const auto& r = notice_record<DiscSetsOtherNotice>(n);
        line_after_break(text_string(msg_disc_sets_other, u(r.first), u(r.count)));
        return true;
    }
    case notice_file_cut: line_after_break(text_string(msg_file_cut_at, ll(notice_record<FileCutNotice>(n).length))); return true;
    case notice_cut_short: {
        const auto& r = notice_record<CutShortNotice>(n);
        line_after_break(text_string(msg_cut_short, ll(r.length), ll(static_cast<int64_t>(r.beyond))));
        if (r.places > 0) console_print(fmt_line, text_string(msg_cut_short_places, u(r.places)).c_str());
        return true;
    }
    case notice_sets_left: {
        const auto& r = notice_record<SetsLeftNotice>(n);
        line_after_break(text_string(msg_sps_left, u(r.total), u(r.no_field), u(r.no_code), u(r.escaping),
                                     u(r.across_repeat)));
        return true;
    }
    case notice_sets_other: sets_other_report(notice_record<SetsOtherNotice>(n)); return true;
    case notice_dv_frames: {
        const auto& r = notice_record<DvFramesNotice>(n);
        line_after_break(text_string(msg_dv_frames, ll(static_cast<int64_t>(r.frames))));
        if (r.disagreeing > 0) {
            console_text(text_string(msg_dv_frames_disagree, ll(static_cast<int64_t>(r.disagreeing)),
                                     ll(static_cast<int64_t>(r.first_disagreeing))).c_str());
        }
        return true;
    }
    case notice_sets_other_more: {
        const auto& r = notice_record<SetsOtherMoreNotice>(n);
        const char* text = r.site == site_video_object_layer ? msg_vol_other_more
                           : r.site == site_h263_picture     ? msg_picture_other_more
                           : r.site == site_vc1_sequence     ? msg_vc1_other_more
                           : r.site == site_dv_control       ? msg_dv_other_more
                                                             : msg_sps_other_more;
        line_after_break(text_string(text, u(r.count)));
        return true;
    }
    default: return false;
    }
}

// The marker file and the way back.
bool marker_report(const Notice* n) {
    switch (n->kind) {
    case notice_marker_other_name: {
        const auto& r = notice_record<MarkerOtherNameNotice>(n);
        console_print(msg_marker_other_name, r.name, ll(r.size));
        return true;
    }
    case notice_marker_other_size:
        console_print(msg_marker_other_size, ll(notice_record<MarkerOtherSizeNotice>(n).size));
        return true;
    case notice_marker_other_rate: console_print(msg_marker_other_rate); return true;
    case notice_break: console_text("\n"); return true;
    case notice_restore_misses: misses_report(notice_record<RestoreMissesNotice>(n)); return true;
    case notice_restore_damaged: restore_damaged_report(notice_record<RestoreDamagedNotice>(n)); return true;
    default: return false;
    }
}

// Jobs of many files: names, skips, counts.
bool job_report(const Notice* n) {
    switch (n->kind) {
    case notice_file_name:
        console_print_name(msg_batch_file, notice_record<FileNameNotice>(n).path);
        return true;
    case notice_file_missing: console_text(msg_batch_missing); return true;
    case notice_file_no_video: console_text(msg_batch_no_video); return true;
    case notice_file_no_marker: console_text(msg_batch_no_marker); return true;
    case notice_file_taken_before: console_text(msg_batch_duplicate); return true;
    case notice_folder_unreadable: console_text(msg_folder_unreadable); return true;
    case notice_folder_no_mpeg: console_text(msg_folder_no_mpeg); return true;
    case notice_batch_total: {
        const auto& r = notice_record<BatchTotalNotice>(n);
        console_print(msg_batch_total, u(r.total), u(r.changed), u(r.unchanged), u(r.failed), u(r.skipped));
        return true;
    }
    case notice_batch_failed: {
        const auto& r = notice_record<BatchFailedNotice>(n);
        console_print_name(msg_batch_failed, r.path, static_cast<int>(r.exit_code));
        return true;
    }
    default: return false;
    }
}

// Blu-ray and AVCHD clips: false for a notice of another kind.
bool clip_report(const Notice* n) {
    switch (n->kind) {
    case notice_clip_title: console_print(msg_clip_title, notice_record<ClipNotice>(n).name); break;
    case notice_clip_left: console_text(msg_clip_left); break;
    case notice_clip_set_left: console_text(msg_clip_set_left); break;
    case notice_clip_info_kept: console_text(msg_clip_info_kept); break;
    case notice_clip_disagrees: {
        const auto& r = notice_record<ClipDisagreesNotice>(n);
        console_print(msg_clip_disagrees, aspect_code_name(naming_mpeg2_codes, r.clip_code),
                      aspect_code_name(naming_mpeg2_codes, r.stream_code), aspect_code_name(naming_mpeg2_codes, r.target));
        break;
    }
    case notice_clip_aspects: {
        const auto& r = notice_record<ClipAspectsNotice>(n);
        console_print(msg_clip_aspects, aspect_code_name(naming_mpeg2_codes, r.clip_code),
                      aspect_code_name(naming_mpeg2_codes, r.stream_code));
        break;
    }
    default: return false;
    }
    return true;
}

// DVD title sets.
void dvd_report(const Notice* n) {
    switch (n->kind) {
    case notice_dvd_title_set: console_print(msg_dvd_title_set, u(notice_record<TitleSetNotice>(n).number)); break;
    case notice_dvd_no_title_vob: console_text(msg_dvd_no_title_vob); break;
    case notice_dvd_not_mpeg2: console_text(msg_dvd_not_mpeg2); break;
    case notice_dvd_made_consistent:
        console_print(msg_dvd_made_consistent, aspect_code_name(naming_mpeg2_codes, notice_record<MadeConsistentNotice>(n).code));
        break;
    case notice_dvd_ifo_kept: console_text(msg_dvd_ifo_kept); break;
    case notice_dvd_ifo_not_restored: console_text(msg_dvd_ifo_not_restored); break;
    case notice_dvd_set_left: console_text(msg_dvd_set_left); break;
    case notice_dvd_bup_differs: console_text(msg_dvd_bup_differs); break;
    case notice_dvd_ifo_already: {
        const auto& r = notice_record<IfoAlreadyNotice>(n);
        console_print(r.clip_info ? msg_clip_info_already : msg_dvd_ifo_already, aspect_code_name(naming_mpeg2_codes, r.code));
        break;
    }
    case notice_dvd_aspects: {
        const auto& r = notice_record<DvdAspectsNotice>(n);
        console_print(msg_dvd_aspects, aspect_code_name(naming_mpeg2_codes, r.ifo_code), aspect_code_name(naming_mpeg2_codes, r.vob_code));
        break;
    }
    default: break;
    }
}

int32_t notice_report(void*, const Notice* n) {
    if (!walk_report(n) && !marker_report(n) && !run_notice_report(n) && !job_report(n) && !clip_report(n)) dvd_report(n);
    return 0;
}

}  // namespace

NoticeSink report_sink() {
    return NoticeSink{notice_report, nullptr};
}
