// What the jobs of many files tell: the files' names, skips and counts,
// and DVD title sets.
#pragma once
#include <cstdint>

#include "notices/notice.h"

// Heads a file's lines in a batch.
struct FileNameNotice {
    static constexpr NoticeKind kind = notice_file_name;
    const char* path;
};

struct BatchTotalNotice {
    static constexpr NoticeKind kind = notice_batch_total;
    uint32_t total;
    uint32_t changed;
    uint32_t unchanged;
    uint32_t failed;
    uint32_t skipped;
};

struct BatchFailedNotice {
    static constexpr NoticeKind kind = notice_batch_failed;
    const char* path;
    int32_t exit_code;
};

struct TitleSetNotice {
    static constexpr NoticeKind kind = notice_dvd_title_set;
    uint32_t number;
};

// A title set's files made to agree on the code.
struct MadeConsistentNotice {
    static constexpr NoticeKind kind = notice_dvd_made_consistent;
    uint32_t code;
};

// A title set's IFO or BUP holds the code already.
struct IfoAlreadyNotice {
    static constexpr NoticeKind kind = notice_dvd_ifo_already;
    uint32_t code;
};

// What a listed title set's IFO and its first title VOB say.
struct DvdAspectsNotice {
    static constexpr NoticeKind kind = notice_dvd_aspects;
    uint32_t ifo_code;
    uint32_t vob_code;
};
