// The marker file beside the video (".ini"): the record that lets every
// change be undone. Its first line is byte 7 of the video's first sequence
// header as the file held it before any change; the second names the video
// it was made for, "video=SIZE NAME", and the third its last-write time
// before the first change, "time=SECONDS.NANOSECONDS" (markers made by
// earlier versions have neither); the fourth, where the video shows a
// sample aspect, is that aspect before the first change, "shown=W:H",
// which a later run's default target follows (earlier versions wrote
// none). Each further line is the position of one byte the tool changed,
// followed, when that byte's aspect code differed from the first line's
// before its first change, by a space and the byte it held. For H.264 and
// HEVC video the first line is the first parameter set's
// aspect_ratio_idc, and every position has the whole byte it held.
// Among the positions, each run that writes puts "target=CODE W:H" before
// its first: the aspect it wrote (an MPEG or DVD code, a sample aspect), so
// that an undo knows what the marker's runs can have left in each place
// (markers made by earlier versions have none).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/text_file.h"
#include "edit/marker_text.h"
#include "fileio/fileio.h"
#include "notices/walk_notices.h"

// How a marker file fits the video beside it.
enum MarkerFit {
    marker_fits,
    marker_other_name,  // made for another video with the same stem
    marker_other_size,  // the same name, but the file has another size now
    marker_grown,       // the same name, and the file is larger now: a recording that went on,
                        // where every listed position holds what the marker's runs wrote
    marker_other_rate,  // its headers have another frame rate than recorded
};

struct MarkerRec {
    TextFileRec text;    // open for appending while a run records
    std::string name;
    bool created;        // this run created it
    bool folder_synced;  // its name in the folder is durable
    MarkerHead head;
    bool whole_bytes;    // every position is recorded with its byte
    bool target_noted;   // this run's target is the last the file records
    bool grown;          // the video grew since: the next record says its size first
    // The listed positions, sorted, each as position << 8 | original byte.
    uint64_t* entries;
    size_t count;
    uint8_t* reached;  // for each entry, whether a site of the walk reached its position
    MarkerMisses missed;   // no header of the video stands there now
    MarkerMisses altered;  // what stands there is not what the tool wrote
};

void marker_init(MarkerRec* marker);
// Creates a marker file for the video and writes its first lines (the
// shown aspect's where it is not {0, 0}): 0, result_side_file_error or
// result_marker_write_error (the half-made file is removed again).
int32_t marker_create(MarkerRec* marker, const char* name, uint8_t first_byte, SarRatio shown,
                      const FileHandleRec* video, const char* video_path);
// Reads an existing marker file, which stays open for appending: 0,
// result_side_file_error (it cannot be opened, or it is the video itself),
// result_marker_linked (a link, or a file with other names too),
// result_marker_unreadable, or result_block_buffer_error (no memory).
int32_t marker_load(MarkerRec* marker, const char* name, const FileHandleRec* video);
// Before a loaded marker file grows: dropped lines are cut off, so that the
// next line starts a line; one that recorded nothing before it was cut is
// begun again, as marker_create begins one. 0 or result_marker_write_error.
int32_t marker_mend(MarkerRec* marker, uint8_t first_byte, SarRatio shown, const FileHandleRec* video,
                    const char* video_path);
// Whether the loaded marker file was made for this video, whose first
// sequence header's byte 7 is reference_byte. A video larger than the
// marker records is marker_grown: whether each listed position still holds
// what the marker's runs wrote, only a walk can tell.
MarkerFit marker_fit(const MarkerRec* marker, const FileHandleRec* video, const char* video_path,
                     uint8_t reference_byte);
// Before a run's first position: its target, unless the last target the
// file records is this one; and first, where the video grew, its size and
// last-write time now. 0 or result_marker_write_error.
int32_t marker_target_note(MarkerRec* marker, SiteAspect target, const FileHandleRec* video);
// Appends the position of a byte about to change, with the byte it holds:
// 0 or result_marker_write_error. The byte may change only once the
// record is committed.
int32_t marker_record(MarkerRec* marker, int64_t position, uint8_t original);
// A commit in two halves: the lines recorded so far handed to the file,
// then made durable (and, the first time, a new marker file's name in its
// folder): 0 or result_marker_write_error. The second touches only the
// file's handle and the folder's, and may run on another thread while more
// lines are recorded.
int32_t marker_flush(MarkerRec* marker);
int32_t marker_sync(MarkerRec* marker);
// Whether the position is listed, and then the byte it held first; the
// position counts as reached. A site may span others (an entry's size field
// and a box after its configuration), so positions come in any order.
bool marker_listed(MarkerRec* marker, int64_t position, uint8_t* original);
// Whether the position is listed, and then the byte it held first, in any
// order and without counting anything.
bool marker_lookup(const MarkerRec* marker, int64_t position, uint8_t* original);
// A listed position that holds what the tool never wrote: left alone.
void marker_altered(MarkerRec* marker, int64_t position);
// Counts the listed positions that no site reached as missed.
void marker_misses_finish(MarkerRec* marker);
// Closes the file and frees the positions: 0, or 1 when the close failed.
int marker_release(MarkerRec* marker);
