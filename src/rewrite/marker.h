// The marker file beside the video (".ini"): the record that lets every
// change be undone. Its first line is byte 7 of the video's first sequence
// header as the file held it before any change; each further line is the
// position of one byte the tool changed, followed, when that byte's aspect
// code differed from the first line's before its first change, by a space
// and the byte it held.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/console.h"
#include "fileio/fileio.h"

// What a restore could not put back: how many listed positions, and the
// first few of them.
inline constexpr size_t marker_misses_shown = 5;

struct MarkerRec {
    TextFileRec text;    // open for appending while a run records
    bool created;        // this run created it
    uint8_t first_byte;  // its first line
    // The listed positions, sorted, each as position << 8 | original byte.
    uint64_t* entries;
    size_t count;
    size_t cursor;  // entries before it lie before the walk's position
    size_t misses;
    int64_t missed[marker_misses_shown];
};

void marker_init(MarkerRec* marker);
// Creates a marker file and writes its first line: 0, rewrite_side_file_error
// or rewrite_marker_write_error (the half-made file is removed again).
int32_t marker_create(MarkerRec* marker, const char* name, uint8_t first_byte);
// Reads an existing marker file, which stays open for appending: 0,
// rewrite_side_file_error (it cannot be opened, or it is the video itself),
// rewrite_marker_unreadable, or rewrite_block_buffer_error (no memory).
int32_t marker_load(MarkerRec* marker, const char* name, const FileHandleRec* video);
// Appends the position of a byte about to change, with the byte it holds,
// and writes it out before the byte changes: 0 or rewrite_marker_write_error.
int32_t marker_record(MarkerRec* marker, int64_t position, uint8_t original);
// Whether the position is listed, and then the byte it held first. Positions
// must come in rising order; listed ones passed over count as misses.
bool marker_listed(MarkerRec* marker, int64_t position, uint8_t* original);
// Counts the listed positions that the walk never reached as misses.
void marker_misses_finish(MarkerRec* marker);
// Closes the file and frees the positions: 0, or 1 when the close failed.
int marker_release(MarkerRec* marker);

// The marker file's lines, read back: 0 with the first line's byte and
// each listed position; 1 when the text is not what the tool writes.
// Positions go to visit(context, position << 8 | original byte).
int marker_parse(FileHandleRec* file, uint8_t* first_byte,
                 void (*visit)(void* context, uint64_t entry), void* context);
