// What a walk and the editor over it tell: the progress line, and what the
// walk met on its way and the way back.
#pragma once
#include <cstddef>
#include <cstdint>

#include "codecs/site.h"
#include "fileio/result.h"
#include "notices/notice.h"

// Where the walk is, for the progress line: a walk of packets is measured
// by the file position at the end of the packet read, any other by byte 7
// of the header. A listing's line goes with it (null otherwise).
struct ProgressNotice {
    static constexpr auto kind = notice_progress;
    bool packets; int64_t header_pos; int64_t file_pos; int64_t file_size; uint32_t start_tick; const char* list_line;
};

// Where the walk stopped at damage, and the three bytes it found there.
struct DamageNotice { static constexpr auto kind = notice_damage; int64_t position; uint8_t bytes[3]; };
struct ReadShortNotice {
    static constexpr auto kind = notice_read_short;
    int64_t position; uint32_t wanted; uint32_t got;
};
// Sync lost, and the bytes skipped to find it again.
struct SyncLostNotice { static constexpr auto kind = notice_sync_lost; uint32_t losses; int64_t skipped; };
// Video headers on another PID than the one walked.
struct OtherVideoNotice { static constexpr auto kind = notice_other_video; uint32_t pid; uint32_t headers; };
struct FalseHeadersNotice { static constexpr auto kind = notice_false_headers; uint32_t count; };
// A disc image's title sets of another video than the first set's, passed
// over whole: how many, and the first of them.
struct DiscSetsOtherNotice { static constexpr auto kind = notice_disc_sets_other; uint32_t first; uint32_t count; };
// The file's length when a change was due past it: another program cut it.
struct FileCutNotice { static constexpr auto kind = notice_file_cut; int64_t length; };
// A file that was cut short before the run (a recording stopped by a
// crash, a download stopped).
struct CutShortNotice {
    static constexpr auto kind = notice_cut_short;
    int64_t length;   // where it ends
    uint64_t beyond;  // the samples or frames that lay past that end
    uint32_t places;  // the parameter sets the end cut, which stay as they are
};

// The DV frames a walk met, and those whose packs record different shapes,
// with the index of the first.
struct DvFramesNotice {
    static constexpr auto kind = notice_dv_frames;
    uint64_t frames; uint64_t disagreeing; uint64_t first_disagreeing;
};

// DV packs in frames in a row that agree, as a listing's console shows
// them: one line for the run (the shape its DISP bits name, the picture of
// another video, the box that holds them), or the first pack's own line
// where it is the only one.
struct PackRunNotice {
    static constexpr auto kind = notice_pack_run;
    uint64_t first_frame; uint64_t last_frame; uint64_t packs; const char* shape; bool other;
    uint32_t width; uint32_t height; const char* holder; const char* line;
};

// Parameter sets of the reference's kind that kept their aspect.
struct SetsLeftNotice {
    static constexpr auto kind = notice_sets_left;
    uint32_t total;
    // How many for each reason: no aspect field, no table code for the
    // target, bits that would change the escaping, a set across a packet
    // sent twice.
    uint32_t no_field; uint32_t no_code; uint32_t escaping; uint32_t across_repeat;
};
// Headers of another video than the first's (a join of two recordings),
// left alone: parameter sets of another id or picture size, VOLs of
// another picture size, DV frames of another system or rate (`form`, the
// frame's size in bytes), one kind, and then how many of the kinds past
// those said one by one.
struct SetsOtherNotice {
    static constexpr auto kind = notice_sets_other;
    SiteKind site; uint32_t sps_id; uint32_t width; uint32_t height; uint32_t form; uint32_t count;
};
struct SetsOtherMoreNotice { static constexpr auto kind = notice_sets_other_more; SiteKind site; uint32_t count; };

// A marker file made for another video: the one it names, or its size.
struct MarkerOtherNameNotice { static constexpr auto kind = notice_marker_other_name; int64_t size; const char* name; };
struct MarkerOtherSizeNotice { static constexpr auto kind = notice_marker_other_size; int64_t size; };

inline constexpr size_t marker_misses_shown = 5;

// Listed positions that an undo passed over, and the first few of them.
struct MarkerMisses { size_t count; int64_t first[marker_misses_shown]; };
// Those an undo left as they were: missed by the walk, or altered since the
// tool wrote them.
struct RestoreMissesNotice { static constexpr auto kind = notice_restore_misses; bool altered; MarkerMisses misses; };
// An undo that put back every listed position, although its walk stopped.
struct RestoreDamagedNotice { static constexpr auto kind = notice_restore_damaged; Result result; };
