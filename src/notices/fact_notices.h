// The facts a report for scripts reads, which the console's lines do not
// carry whole: each place a walk took with what it held before and after,
// what the video showed before the run and after it, and how each file of
// the run ended. The first two are sent only where the request asks for
// them (detailed); the console passes all three over.
#pragma once
#include <cstdint>

#include "codecs/codec_table.h"
#include "codecs/site.h"
#include "formats/format.h"
#include "notices/notice.h"

// Why a walk left a place as it was where the run would have changed it.
enum PlaceLeft : uint8_t {
    left_none,          // changed, holding what the run asks already, or only listed
    left_no_field,      // no aspect information to change in place
    left_no_code,       // the target has no code in the place's table
    left_escaping,      // the new bits would change its length or other bytes
    left_unread,        // not bytes the tool understands
    left_no_room,       // fields to add, and no room for them
    left_across_repeat, // partly in a packet sent twice
    left_other_video,   // a parameter set of another id or picture size than the first
    left_altered,       // an undo: it holds what the tool never wrote
    left_no_place,      // it records no aspect and takes none (a track header of 0x0)
    left_container_only, // -c: a codec's own place
};

// One place the walk the request asked for took: a listing's, a rewrite's
// or an undo's. `after` is what its bytes say once the walk is done with it.
struct PlaceNotice {
    static constexpr auto kind = notice_place;
    SiteKind site; SiteHolder holder; int64_t pos;
    SiteReading before; SiteReading after; PlaceLeft left;
    const char* part = nullptr;  // the file inside a disc image that holds it
};

// What the analysis found of the video: before the walk, and again after a
// walk that wrote. The picture is 0x0 where the file does not say (a DVD
// IFO); the code is one of the codec's own table, where its row names its
// aspects by code (MPEG video, a DVD IFO's 2 or 3); the sample aspect is
// the one the video shows ({0, 0} for none).
struct VideoFactsNotice {
    static constexpr auto kind = notice_video_facts;
    bool after;
    StreamKind stream;
    const char* container;  // a container's own name ("MP4", "MKV", ...); null for the streams
    const char* codec;      // the codec's name; null where the video was never found
    AspectNaming naming;
    uint32_t width;
    uint32_t height;
    bool coded;
    uint32_t code;
    SarRatio sar;
};

// How the batch counts a file.
enum FileCount : uint8_t {
    count_changed,
    count_unchanged,  // nothing to do
    count_failed,
    count_skipped,    // no kind of file the tool takes, or taken already
};

// One file of the run has ended: its name, its exit code and its count.
struct FileEndNotice {
    static constexpr auto kind = notice_file_end;
    const char* path; int32_t exit_code; FileCount count;
};
