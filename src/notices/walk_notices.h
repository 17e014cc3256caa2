// What a walk and the editor over it tell: the progress line, and what the
// walk met on its way and the way back.
#pragma once
#include <cstdint>

#include "fileio/result.h"
#include "notices/notice.h"

// Where the walk is, for the progress line; a listing's line with it.
struct ProgressNotice {
    static constexpr NoticeKind kind = notice_progress;
    bool packets;         // a walk of packets, measured by the file position; else by the header's
    int64_t header_pos;   // byte 7 of the header
    int64_t file_pos;     // the end of the packet read
    int64_t file_size;
    uint32_t start_tick;
    const char* list_line;  // or null
};

// Where the walk stopped at damage, and the three bytes it found there.
struct DamageNotice {
    static constexpr NoticeKind kind = notice_damage;
    int64_t position;
    uint8_t bytes[3];
};

struct ReadShortNotice {
    static constexpr NoticeKind kind = notice_read_short;
    int64_t position;
    uint32_t wanted;
    uint32_t got;
};

struct SyncLostNotice {
    static constexpr NoticeKind kind = notice_sync_lost;
    uint32_t losses;
    int64_t skipped;  // bytes
};

// Video headers on another PID than the one walked.
struct OtherVideoNotice {
    static constexpr NoticeKind kind = notice_other_video;
    uint32_t pid;
    uint32_t headers;
};

struct FalseHeadersNotice {
    static constexpr NoticeKind kind = notice_false_headers;
    uint32_t count;
};

// Parameter sets of the reference's kind that kept their aspect, by reason.
struct SetsLeftNotice {
    static constexpr NoticeKind kind = notice_sets_left;
    uint32_t total;
    uint32_t no_field;
    uint32_t no_code;
    uint32_t escaping;
    uint32_t across_repeat;
};

// Parameter sets of another id or picture size, left alone: one kind.
struct SetsOtherNotice {
    static constexpr NoticeKind kind = notice_sets_other;
    uint32_t id;
    uint32_t width;
    uint32_t height;
    uint32_t count;
};

// Those of kinds past the ones said one by one.
struct SetsOtherMoreNotice {
    static constexpr NoticeKind kind = notice_sets_other_more;
    uint32_t count;
};

// A marker file made for another video: the one it names.
struct MarkerOtherNameNotice {
    static constexpr NoticeKind kind = notice_marker_other_name;
    int64_t size;
    const char* name;
};

// A marker file made for a video of another size.
struct MarkerOtherSizeNotice {
    static constexpr NoticeKind kind = notice_marker_other_size;
    int64_t size;
};

inline constexpr uint32_t restore_positions_shown = 5;

// Listed positions an undo left as they were: missed by the walk, or
// altered since the tool wrote them; the first few of them.
struct RestoreMissesNotice {
    static constexpr NoticeKind kind = notice_restore_misses;
    bool altered;
    int64_t count;
    int64_t first[restore_positions_shown];
};

// An undo that put back every listed position, although its walk stopped.
struct RestoreDamagedNotice {
    static constexpr NoticeKind kind = notice_restore_damaged;
    Result result;
};
