// The lines of a marker file as the tool writes them, read back: the video's
// original byte, the video it names, its time and what it showed, the
// targets of its runs, the sizes it grew to, and the listed positions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/site.h"
#include "codecs/video_codec.h"
#include "fileio/fileio.h"

// The video a marker file was made for: its size and its file name (the
// last component, as code page 932 text), and its last-write time. Where
// the video grew (a recording that went on) and a run took it up again,
// the size and time are those the last "grown=" line records.
struct MarkerOwner {
    bool known;  // the marker names it
    int64_t size;
    char name[1024];
    bool time_known;
    OsFileTime written;
};

// What the lines before the positions say. A power cut before a batch's
// record was synced can leave its last lines cut, or zero bytes where the
// file system had extended the file: those lines are dropped (the bytes
// they record were never written, since they wait for the sync).
struct MarkerHead {
    bool first_known;  // the first line is whole
    uint8_t first_byte;
    MarkerOwner owner;
    // The target of each run that wrote, in order (a run that finished one
    // cut short with the same target need not say it again); whether
    // positions were listed before the first (by a build that named none).
    std::vector<SiteAspect> targets;
    bool untargeted;
    // The sample aspect the video showed before the first change, the line
    // after its time: "shown=W:H"; {0, 0} where the marker has none.
    SarRatio shown;
    int64_t torn_at;  // where the dropped lines begin; -1 when none
};

// The marker file's lines, read back: 0 with what its first lines and its
// targets say and each listed position before any dropped lines; 1 when the text is not
// what the tool writes. Positions go to visit(context, position << 8 |
// original byte).
int marker_parse(FileHandleRec* file, MarkerHead* head, void (*visit)(void* context, uint64_t entry),
                 void* context);
// Only the lines before the positions, as marker_parse reads them: 0, or 1
// when they are not what the tool writes.
int marker_head_parse(FileHandleRec* file, MarkerHead* head);
