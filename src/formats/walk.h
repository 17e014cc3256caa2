// The walk over a whole file, or over a window of it in memory, by its
// format: the video stream's payload bytes are handed, as ranges of a
// buffer with their file positions, to a sink (a codec's scanner, above
// which the editor takes the sites). What the walk met on its way is
// noted here for the caller to tell.
#pragma once
#include <cstdint>

#include "codecs/payload.h"
#include "codecs/site.h"
#include "formats/format.h"
#include "formats/reader.h"

// How a checksum is kept: a Matroska CRC-32 element's, or an Ogg page's.
enum ChecksumForm : uint8_t { checksum_crc32, checksum_ogg_crc };

// A unit that keeps a checksum of its bytes (Matroska's CRC-32 element, an
// Ogg page, whose CRC lies among the bytes it covers and counts as zero
// there): where the checksum lies and what it holds now (4 bytes,
// little-endian), and the bytes it covers. Handed before the sites that
// lie in those bytes.
struct ChecksumRegion {
    ChecksumForm form;
    int64_t pos;
    uint8_t bytes[4];
    int64_t start;
    int64_t end;
};
// The checksum's four bytes as read at pos, over the bytes [start, end).
inline ChecksumRegion checksum_region_make(ChecksumForm form, int64_t pos, const uint8_t* bytes, int64_t start,
                                           int64_t end) {
    return {form, pos, {bytes[0], bytes[1], bytes[2], bytes[3]}, start, end};
}

struct WalkSink {
    // Takes ranges of the buffer, in order; buffer[0] lies at file position
    // buffer_pos. A non-zero result stops the walk and is its result.
    int32_t (*feed)(void* context, const uint8_t* buffer, int64_t buffer_pos,
                    const PayloadRange* ranges, uint32_t count);
    void* context;
    // Takes the sites a format finds itself, in the order of their
    // positions with those of the payload: a container's own fields, and
    // parameter sets framed by length fields; a disc image's IFO and BUP
    // come after the title set's VOBs, wherever they lie.
    SiteHandler site;
    // Takes each checksum region; null where the sink keeps none.
    int32_t (*checksum)(void* context, const ChecksumRegion* region);
    // Where the sink's places may begin in raw bytes: a transport stream's
    // walk that has it hands over only the packets that can hold one (and
    // those that a header across packets needs around them).
    PayloadSearch search = {nullptr, 0};
};

// A video stream on another PID than the one rewritten (a join of two
// recordings): the first that carries sequence headers, and how many.
struct OtherVideo {
    uint16_t pid;
    uint32_t headers;
    uint32_t window;  // the last four payload bytes
};

// What a walk met on its way, whatever its format, for the caller to tell.
// Each format keeps what it needs to get there in a record of its own.
struct WalkMet {
    // Where damage stopped the walk (a program stream's, without -r), and
    // the three bytes that stand there instead of a start code prefix; -1
    // when none, as it is until a walk says otherwise (a walk that never
    // ran met no damage).
    int64_t damage_at = -1;
    uint8_t damage_bytes[3];
    // Stretches passed over to find the stream again, and their bytes.
    uint32_t sync_losses;
    int64_t sync_skipped;
    OtherVideo other_video;
    // Why a walk to the end may have handed over no video, where its format
    // can tell (a transport stream's video PID that carries no packet, or
    // only scrambled ones): a result, or 0.
    int32_t video_unseen;
    // A file cut short (a recording stopped by a crash, a download stopped
    // before its end): where it ends, -1 for a whole file; the samples or
    // frames that lay past that end, wholly or in part, and the places that
    // end cut, which stay as they are.
    int64_t cut_at = -1;
    uint64_t cut_beyond;
    uint32_t cut_places;
    // A disc image's title sets of another video than the first set's,
    // passed over: how many, and the number of the first.
    uint32_t sets_other;
    uint32_t first_set_other;
};

// Notes that the file ends before `beyond` more samples or frames.
void walk_cut_note(Walk* walk, uint64_t beyond);

struct Walk {
    BlockReader reader;
    StreamLayout layout;
    uint16_t video_pid;  // transport streams
    bool range_search;   // -r: program streams look ahead for the next start code
    WalkSink sink;
    WalkMet met;
    // Where a program stream's walk begins: 0, or the start of a file
    // inside a disc image, whose name the walk holds meanwhile (null
    // for a file of its own).
    int64_t from;
    const char* part;
};

void walk_init(Walk* walk, FileHandleRec* file, uint8_t* block, StreamLayout layout,
               uint16_t video_pid, bool range_search, WalkSink sink);
// A walk over bytes already in memory, as if they were the whole file.
void walk_init_window(Walk* walk, const uint8_t* window, uint32_t length, StreamLayout layout,
                      uint16_t video_pid, bool range_search, WalkSink sink);

// From the start of the file to its end, as its format walks it: 0, or the
// first non-zero result of the sink or of the walk itself.
int32_t walk_run(Walk* walk);

// Hands one range over on its own.
int32_t walk_feed_one(Walk* walk, const uint8_t* buffer, int64_t buffer_pos, uint32_t first,
                      uint32_t end, int64_t unit_pos, int64_t progress_pos);
