// The looks a Blu-ray or AVCHD clip needs of its files before its run:
// what its stream shows, whatever its codec, and what its clip
// information file records, or why that file is refused.
#pragma once
#include <cstdint>

#include "edit/request.h"

// A clip's stream: the shape it shows now (2 for 4:3, 3 for 16:9, 0 for
// another), and the one it showed before the tool first changed it, as its
// marker file says (0 where none says).
struct StreamLook {
    bool found;
    uint32_t shape;
    uint32_t original;
};
StreamLook stream_look(const char* path, const RunRequest* request);

// A clip information file's aspect code (2, 3, or 0 for another value): 0,
// or why it is refused (result_clip_info_broken, result_no_mpeg_video
// where it records no video, result_open_error).
int32_t clip_info_look(const char* path, uint32_t* code);
