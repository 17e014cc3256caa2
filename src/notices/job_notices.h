// What the jobs of many files tell: the files' names, skips and counts,
// and DVD title sets.
#pragma once
#include <cstdint>

#include "notices/notice.h"

// Heads a file's lines in a batch.
struct FileNameNotice { static constexpr auto kind = notice_file_name; const char* path; };

// How the files of a batch ended, and each that failed.
struct BatchTotalNotice {
    static constexpr auto kind = notice_batch_total;
    uint32_t total; uint32_t changed; uint32_t unchanged; uint32_t failed; uint32_t skipped;
};
struct BatchFailedNotice { static constexpr auto kind = notice_batch_failed; const char* path; int32_t exit_code; };

// A DVD title set: its number; the code its files are made to agree on;
// the code its IFO or BUP holds already; what a listed set's IFO and first
// title VOB say.
struct TitleSetNotice { static constexpr auto kind = notice_dvd_title_set; uint32_t number; };
struct MadeConsistentNotice { static constexpr auto kind = notice_dvd_made_consistent; uint32_t code; };
// (A clip information file says it as its own.)
struct IfoAlreadyNotice { static constexpr auto kind = notice_dvd_ifo_already; uint32_t code; bool clip_info; };
struct DvdAspectsNotice { static constexpr auto kind = notice_dvd_aspects; uint32_t ifo_code; uint32_t vob_code; };

// A Blu-ray or AVCHD clip: its name (00001); a clip information file
// that says another aspect than its stream, and the code both are set to;
// what a listed clip's information and stream say.
struct ClipNotice { static constexpr auto kind = notice_clip_title; const char* name; };
struct ClipDisagreesNotice {
    static constexpr auto kind = notice_clip_disagrees;
    uint32_t clip_code; uint32_t stream_code; uint32_t target;
};
struct ClipAspectsNotice { static constexpr auto kind = notice_clip_aspects; uint32_t clip_code; uint32_t stream_code; };
