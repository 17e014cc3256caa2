// What the layers below the command line have to tell the user, as plain
// records handed to a sink that the command line passes down: the one place
// that turns them into console lines. Nothing below it prints. A run's
// outcome goes the same way, and the sink answers it with the exit code.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "fileio/result.h"

enum NoticeKind : uint16_t {
    // A walk and its sites: the progress line (n: 0 walk kind, 1 header
    // position, 2 file position, 3 file size, 4 start tick; text: the
    // listing's line or null) and what the walk met on its way.
    notice_progress,
    notice_damage,           // n: position, three bytes
    notice_read_short,       // n: position, wanted, got
    notice_sync_lost,        // n: losses, bytes skipped
    notice_other_video,      // n: PID, headers
    notice_false_headers,    // n: count
    notice_file_cut,         // n: the file's length when a change was due past it
    notice_sets_left,        // n: total, no field, no code, escaping, across a repeat
    notice_sets_other,       // n: id, width, height, count
    notice_sets_other_more,  // n: count
    notice_marker_other_name,  // n: size; text: the video it names
    notice_marker_other_size,  // n: size
    notice_marker_other_rate,
    notice_break,              // a line break before what follows
    notice_restore_missed,     // n: count, then up to five positions
    notice_restore_altered,    // n: count, then up to five positions
    notice_restore_damaged,    // n: the result the walk stopped with
    // The run of one file.
    notice_rw_count,         // n: failed attempts
    notice_mpeg_aspects,     // n: version, code; text: "source" or "target" (null: source)
    notice_sar_aspect,       // n: width, height, sar width, sar height, 1 for the target
    notice_display_unchanged,  // n: display width, height, shown ratio numerator, denominator
    notice_display_size,     // n: width, height
    notice_other_tracks,     // n: the first one's track ID, how many
    notice_place_refused,    // n: SiteKind, SiteHolder, codec, position, AspectEdit
    // The summaries; text: the container's name where it is no MPEG stream's.
    notice_mpeg_summary,     // n: version, width, height, rate code, bit rate value, size; real: seconds
    notice_sar_summary,      // n: codec, width, height, sar w, sar h, target w, target h, size; real: seconds
    notice_mpeg_converted,   // n: version, original code, target code
    notice_sar_converted,    // n: width, height, original w, h, target w, h
    notice_mpeg_already,     // n: version, code
    notice_sar_already,      // n: width, height, sar w, h
    notice_target_equals_source,
    notice_code_out_of_range,     // n: 0 for MPEG, 1 for H.264/HEVC
    notice_code_given,            // n: the value
    notice_code_given_text,       // text: the -o argument
    notice_sets_no_aspect_field,
    notice_sets_no_table_code,    // n: sar width, height
    notice_stop,                  // n: which (StopNotice)
    notice_open_held_by_run,      // n: failed attempts
    notice_open_gave_up,          // n: failed attempts
    notice_error,                 // n: the result
    notice_outcome,               // the run's outcome: answered with its exit code
    // Jobs of many files.
    notice_file_name,        // text: the path
    notice_file_missing,
    notice_file_not_mpeg,
    notice_file_no_marker,
    notice_file_taken_before,
    notice_folder_unreadable,
    notice_folder_no_mpeg,
    notice_batch_total,      // n: total, changed, unchanged, failed, skipped
    notice_batch_failed,     // n: exit code; text: the path
    notice_dvd_title_set,    // n: number
    notice_dvd_no_title_vob,
    notice_dvd_not_mpeg2,
    notice_dvd_made_consistent,  // n: code
    notice_dvd_ifo_kept,
    notice_dvd_ifo_not_restored,
    notice_dvd_bup_differs,
    notice_dvd_ifo_already,      // n: code
    notice_dvd_aspects,          // n: the IFO's code, the first VOB's
};

// The texts that end a run before its walk, one notice_stop each.
enum StopNotice : int64_t {
    stop_empty_file,
    stop_all_zero_file,
    stop_tail_unreadable,
    stop_headbuf_error,
    stop_head_read_error,
    stop_tailbuf_error,
    stop_tail_read_error,
    stop_not_mpeg,
    stop_no_video,
    stop_no_video_scrambled,
    stop_open_refused,
    stop_not_regular_file,
    stop_no_file,
    stop_dvd_code_only,
    stop_video_encrypted,
    stop_video_mpeg4_part2,
};

struct Notice {
    NoticeKind kind;
    int64_t n[8];
    double real;
    const char* text;
    const struct RunOutcome* outcome;  // notice_outcome
};

struct NoticeSink {
    int32_t (*send)(void* context, const Notice* notice);
    void* context;
};

// What the run of one file came to, for the line that closes it and its
// exit code.
enum OutcomeMode : uint8_t { outcome_rewrite, outcome_list, outcome_undo };
struct RunOutcome {
    OutcomeMode mode;
    Result result;          // ok, or what stopped the run
    bool marker_created;    // a rewrite created the marker file
    bool sets_left;         // parameter sets kept their aspect
    bool restore_partial;   // an undo left listed positions as they were
};

int32_t notify(NoticeSink sink, NoticeKind kind, std::initializer_list<int64_t> numbers = {},
               const char* text = nullptr, double real = 0);
// Hands over the outcome; the exit code it has.
int32_t notify_outcome(NoticeSink sink, const RunOutcome* outcome);
