// The video attributes that a DVD-Video title set's IFO file, and its
// backup the BUP, record for the title VOBs: the display aspect a DVD
// player sets its output from. One byte is changed in place and recorded in
// a marker file beside the file ("NAME.IFO.ini"), as a video's changes are.
#pragma once
#include <cstdint>
#include <string>

// The title VOBs' video attributes (the menus' lie at 0x100).
inline constexpr int64_t ifo_title_video_attributes = 0x200;

struct IfoVideo {
    uint8_t attributes;  // the byte at 0x200
    bool mpeg2;          // coding mode 01
    uint32_t aspect;     // as a sequence header codes it: 2 (4:3), 3 (16:9), 0 (a reserved value)
};

// Nothing to change: the attributes say the target already.
inline constexpr int32_t ifo_already = 3;

// The title set's video attributes: 0, rewrite_open_error, rewrite_read_error
// or rewrite_not_dvd_ifo (no "DVDVIDEO-VTS" identifier).
int32_t ifo_video_read(const char* path, IfoVideo* video);

// The attributes byte that says `target` (2 or 3), the rest of it kept:
// aspect bits 00 with automatic pan-scan and letterbox both disallowed for
// 4:3, bits 11 with both allowed for 16:9, as authoring programs write them.
uint8_t ifo_attributes_for(uint8_t attributes, uint32_t target);

// Makes the attributes say `target`, keeping the file's last-write time:
// rewrite_done_marker_created or rewrite_done, ifo_already, or a negative
// result (rewrite_open_refused: the file can never be written).
int32_t ifo_aspect_set(const char* path, uint32_t target);
// Puts back the byte the marker file records, where the file holds what the
// tool wrote there, with the last-write time it records, and removes the
// marker: rewrite_done_marker_created, restore_partial (the byte holds
// something else, and the marker stays), or a negative result.
int32_t ifo_aspect_restore(const char* path);
// What the attributes said before the tool first changed them, as a marker
// file made for the IFO or BUP records: 2, 3, or 0 when none says.
uint32_t ifo_original_code(const char* path);
// The marker file's name for the IFO or BUP at path.
std::string ifo_marker_path(const char* path);
