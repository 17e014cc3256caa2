// The lines of a marker file as the tool writes them, read back: the video's
// original byte, the video it names and its time, and the listed positions.
#pragma once
#include <cstddef>
#include <cstdint>

#include "fileio/fileio.h"

// The video a marker file was made for: its size and its file name (the
// last component, as code page 932 text), and its last-write time.
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
    int64_t torn_at;  // where the dropped lines begin; -1 when none
};

// The marker file's lines, read back: 0 with what its first lines say and
// each listed position before any dropped lines; 1 when the text is not
// what the tool writes. Positions go to visit(context, position << 8 |
// original byte).
int marker_parse(FileHandleRec* file, MarkerHead* head, void (*visit)(void* context, uint64_t entry),
                 void* context);
// Only the lines before the positions, as marker_parse reads them: 0, or 1
// when they are not what the tool writes.
int marker_head_parse(FileHandleRec* file, MarkerHead* head);
