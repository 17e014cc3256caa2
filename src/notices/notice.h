// What the layers below the command line have to tell the user: one record
// kind per notice, with named fields, handed to a sink that the command line
// passes down, the one place that turns them into console lines. Nothing
// below it prints. A run's outcome goes the same way, for its closing line.
// The records are those of a walk (walk_notices.h), of one file's run
// (file_notices.h) and of the jobs of many files (job_notices.h), and the
// facts a report for scripts reads (fact_notices.h).
#pragma once
#include <cstdint>

enum NoticeKind : uint16_t {
    // A walk and its sites: the progress line and what the walk met on its way.
    notice_progress,
    notice_damage,
    notice_read_short,
    notice_sync_lost,
    notice_other_video,
    notice_false_headers,
    notice_disc_sets_other,
    notice_file_cut,
    notice_cut_short,
    notice_sets_left,
    notice_sets_other,
    notice_sets_other_more,
    notice_marker_other_name,
    notice_marker_other_size,
    notice_marker_other_rate,  // carries nothing
    notice_break,              // a line break before what follows; carries nothing
    notice_restore_misses,
    notice_restore_damaged,
    // The run of one file.
    notice_opened_late,  // after waiting for another program; carries nothing
    notice_aspect,
    notice_display_unchanged,
    notice_display_size,
    notice_other_tracks,
    notice_foreign_video,
    notice_place_refused,
    notice_places_disagree,
    notice_no_default_target,
    notice_mpeg_summary,
    notice_sar_summary,
    notice_converted,
    notice_already,
    notice_target_equals_source,  // carries nothing
    notice_time_restored,         // the marker's time put back on a file found done; carries nothing
    notice_code_refused,
    notice_no_aspect_field,
    notice_first_silent,
    notice_codec_place_left,
    notice_container_placeless,   // an AVI without a vprp or room for one; carries nothing
    notice_pixel_aspect_missing,  // an MP4 or MOV without a pasp or room for one; carries nothing
    notice_no_container_place,    // -c on a file without a place of its container's own; carries nothing
    notice_container_only_hint,
    notice_sets_no_table_code,
    notice_stop,
    notice_open_failed,
    notice_error,
    notice_outcome,
    // Jobs of many files; those without a record carry nothing.
    notice_file_name,
    notice_file_missing,
    notice_file_no_video,
    notice_file_no_marker,
    notice_file_taken_before,
    notice_folder_unreadable,
    notice_folder_no_mpeg,
    notice_batch_total,
    notice_batch_failed,
    notice_dvd_title_set,
    notice_dvd_no_title_vob,
    notice_dvd_not_mpeg2,
    notice_dvd_made_consistent,
    notice_dvd_ifo_kept,
    notice_dvd_ifo_not_restored,
    notice_dvd_set_left,
    notice_dvd_bup_differs,
    notice_dvd_ifo_already,
    notice_dvd_aspects,
    notice_clip_title,
    notice_clip_left,
    notice_clip_disagrees,
    notice_clip_info_kept,
    notice_clip_aspects,
    notice_clip_set_left,
    // What a report for scripts needs beyond the console's lines
    // (fact_notices.h); the console passes them over.
    notice_place,
    notice_video_facts,
    notice_file_end,
    // DV: the frames a listing walked, and those whose packs disagree.
    notice_dv_frames,
    notice_pack_run,
};

// A notice as the sink receives it: its kind, and the record of that kind
// (null for a kind that carries nothing).
struct Notice {
    NoticeKind kind;
    const void* record;
};

struct NoticeSink {
    int32_t (*send)(void* context, const Notice* notice);
    void* context;
};

// A record as a notice, for as long as the record lives: each record type
// names its kind by a `static constexpr auto kind` member.
template <typename T>
Notice notice_of(const T& record) {
    return Notice{T::kind, &record};
}
// Sends a record.
template <typename T>
int32_t notify(NoticeSink sink, const T& record) {
    Notice notice = notice_of(record);
    return sink.send(sink.context, &notice);
}
// Sends a notice that carries nothing but its kind.
int32_t notify(NoticeSink sink, NoticeKind kind);

// The record of a notice whose kind is T's.
template <typename T>
const T& notice_record(const Notice* notice) {
    return *static_cast<const T*>(notice->record);
}

// A sink that drops every notice: a look that says nothing.
NoticeSink notice_sink_quiet();
