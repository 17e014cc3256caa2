// The runs and looks a DVD-Video title set needs of its files: a title
// VOB's first header and what it was before, and the IFO and BUP's video
// attributes, set or put back through the same editor as any video.
#pragma once
#include <cstdint>

#include "edit/request.h"
#include "notices/notice.h"
#include "run/file_run.h"

// A disc folder's part named as one of the named-only kinds (a DVD title
// set's IFO or BUP, a Blu-ray clip's information file) set to the target
// (2 or 3) or, with -u, put back, on the held file where there is one: its
// exit code.
int disc_part_run(const char* path, StreamKind kind, const RunRequest* request, uint32_t target, NoticeSink notices,
                  HeldFile* held);

// What a title VOB's first sequence header says, and what the set's files
// said before the tool first changed them, for a DVD title set's target.
struct VideoLook {
    bool found;
    bool mpeg2;
    uint32_t code;           // its aspect code now
    uint32_t original_code;  // before the first change, from its marker file; 0 when unknown
};
VideoLook video_look(const char* path, const RunRequest* request);
// The aspect code an IFO or BUP says (2, 3, or 0 for a reserved value):
// false when it cannot be read as one.
bool ifo_look(const char* path, uint32_t* code);
// What an IFO or BUP said before the tool first changed it, as a marker
// file made for it records: 2, 3, or 0 when none says.
uint32_t ifo_original_code(const char* path);
