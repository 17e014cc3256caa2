// The editor's state through one walk, shared by its parts: the switch over
// the sites (editor.cpp), the marker file and the way back (restore.cpp),
// and the end of the walk (editor_finish.cpp).
#pragma once
#include <cstdint>
#include <string>

#include "codecs/site_scan.h"
#include "edit/editor.h"
#include "edit/journal.h"
#include "edit/marker.h"
#include "edit/side_files.h"
#include "formats/walk.h"
#include "notices/fact_notices.h"
#include "notices/walk_notices.h"

inline constexpr uint32_t sets_other_kinds_most = 4;

// Sites that kept their aspect, by reason.
struct SiteTally {
    uint32_t no_field;
    uint32_t no_code;
    uint32_t escaping;  // or too long to be read whole
    uint32_t across_repeat;
    uint32_t other_kinds;
    SetsOtherNotice others[sets_other_kinds_most];  // a kind at a time
    uint32_t others_more;  // of kinds past the ones kept
};

// A checksum over sites (a Matroska CRC-32), open while the walk is in the
// bytes it covers: what it held before the tool's first change, and what
// the covered bytes' differences from theirs make of it, before this run
// and after it.
struct OpenChecksum {
    ChecksumRegion region;
    bool listed[4];
    uint8_t original[4];
    uint32_t change_before;
    uint32_t change_after;
};
inline constexpr uint32_t open_checksums_most = 4;

// DV packs in a row, in frames in a row, that agree: what the console
// shows of them as one line, and the list line of the first, which is
// shown alone where it is the only one.
struct PackRun {
    uint64_t packs;  // 0 where no run is open
    uint64_t first_frame;
    uint64_t last_frame;
    uint8_t disp;
    uint8_t shape;  // the aspect code the DISP bits give
    bool other;
    SiteHolder holder;
    uint32_t width;
    uint32_t height;
    char first_line[list_line_capacity];
};

struct Editor {
    const ConvertJob* job;
    EditMode mode;
    FileHandleRec* file;
    const VideoLayout* video;
    NoticeSink notices;
    SiteAspect target;
    FileBuffer block;
    OsWorker* committer;  // rewrites only
    Walk walk;
    SiteScanner scanner;
    SiteTally tally;
    MarkerRec marker;
    std::string marker_name;
    bool marker_open;  // loaded, or created at the first change
    // A listing's, where the marker file was made for the video as it is:
    // whether a site still needs the last target it records.
    bool done_check;
    bool pending;
    ListFileRec list;
    bool list_lost;      // the list file could not be made: listed on the console only
    bool list_not_ours;  // because a file of the user's bears its name
    PackRun pack_run;
    uint64_t progress_frame;  // DV: the frame whose progress is shown next
    ChangeBatches changes;
    ReadWindow fed;   // the buffer the walk feeds the scanner, while it does
    PlaceEdit place;  // the place on its way to the journal or, in an undo, the file
    OpenChecksum checksums[open_checksums_most];
    uint32_t checksum_count;
    bool walked;         // the walk ran
    uint32_t start_tick;
    EditOutcome outcome;
};

// The marker file as the mode needs it before the walk: one made for this
// video taken up (a rewrite's is made at its first change), or the undo's;
// a listing and a search read one made for the video as it is for its time.
int32_t marker_take_up(Editor* e);
// The marker file ready for the first change's record, this run's target
// recorded in it.
int32_t marker_ready(Editor* e);
// Puts back the bytes the marker file records for the site, where they
// hold what the tool wrote there.
int32_t site_restore(Editor* e, const AspectSite* site);
// The DV packs of the open run told on the console as one line (or the
// one pack's own), and the run closed.
void pack_run_tell(Editor* e);

// The site's bytes as e->place, each to hold its value from `value`: those
// of a parameter set read again through a second copy only from where the
// copy is new (the first copy's went with the first).
void site_place(Editor* e, const AspectSite* site, const uint8_t* value);
// An undo's place, queued as a rewrite's are (an undo records nothing).
int32_t place_put(Editor* e);
// Tells a report that asks for them (the request's `detailed`) the place:
// what its bytes say now, what `after` says, and why it was left.
void place_tell(const Editor* e, const AspectSite* site, const uint8_t* after, PlaceLeft left);

// The walk's sink of checksum regions; those that end before `pos` are
// settled first. A rewrite's and an undo's keep their checksums right.
int32_t checksum_open(void* context, const ChecksumRegion* region);
// Settles the regions that end at or before pos (all at the end of the
// walk): the checksum becomes what the original's was, changed by the
// covered bytes that now differ from the original's.
int32_t checksums_close(Editor* e, int64_t pos);
// A byte of a site in the open regions: what it held before the tool's
// first change, holds now, and will hold.
void checksum_note(Editor* e, int64_t pos, uint8_t original, uint8_t now, uint8_t after);

inline bool in_container(const Editor* e) {
    return format_is_container(e->video->layout.kind);
}

// The progress line, with a listing's line where there is one.
void progress_show(Editor* e, const AspectSite* site, const char* list_line);
// A listing's line of the site: what it holds, and its key where it is
// another video's than the reference's.
int32_t site_list(Editor* e, const AspectSite* site, const SiteReading* reading, bool other);
// Opens the list file beside the video; where it cannot be made there (a
// read-only disc, a file of the user's under the name) the listing goes
// to the console alone.
int32_t list_open(Editor* e);

void tally_count(SiteTally* tally, AspectEdit edit);
void tally_other(SiteTally* tally, const AspectSite* site, const SiteReading* reading);
uint32_t tally_total(const SiteTally* tally);

// Sends what the walk met, closes the side files and settles the outcome.
void editor_finish(Editor* e, int32_t result);
