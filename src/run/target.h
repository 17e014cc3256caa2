// What -o and the default mean: for MPEG-1 and MPEG-2 video a code of the
// aspect_ratio_information table, for H.264 and HEVC video a display
// aspect turned into the sample aspect of the picture after cropping.
#pragma once
#include <cstddef>
#include <cstdint>

#include "edit/editor.h"
#include "edit/request.h"
#include "notices/notice.h"
#include "run/analysis.h"

// How a target was chosen: from -o, a job or by default; not at all, -o
// naming no code the video takes (said); or, with neither, no default,
// where the video shows neither 4:3 nor 16:9 (the target is then the
// current aspect, which a listing shows).
enum TargetChoice {
    target_chosen,
    target_refused,
    target_none,
};

// The code to write: -o's, or the one a job settled for the file (a DVD
// title set's), or by default the other of 4:3 and 16:9 that the video
// showed before the tool first changed it (MPEG-1: the Video CD code 12),
// so that a second run finishes the first and never swaps back. A
// container's own field shows over the headers' code; where it shows
// neither shape there is no default. A stream of another code keeps it.
// DV video takes the same, but only 4:3 and 16:9, and has no default
// where it shows another shape.
TargetChoice mpeg_target_choose(const RunRequest* request, const SequenceHeaderInfo* info,
                                const AspectOriginal* original, NoticeSink notices, uint32_t* target);
// The code of the shape MPEG video shows: its container's field where that
// shows 4:3, 16:9 or 2.21:1, else its first header's code; and that of the
// shape it showed before the tool first changed it, as its marker file
// records it, else the one it shows now (0 for a container's field of
// another shape).
uint32_t mpeg_code_shown(const SequenceHeaderInfo* info);
// What a container's own field showed of MPEG-2 video before the tool
// first changed it, where its marker file records that, or shows now where
// there is no marker file: {0, 0} where the headers' code is all there is.
SarRatio mpeg_container_shown(const SequenceHeaderInfo* info, const AspectOriginal* original);
uint32_t mpeg_code_before(const SequenceHeaderInfo* info, const AspectOriginal* original);

// The sample aspect that an MPEG aspect code gives the coded picture, which
// a container's own fields record: {0, 0} for a code that names none.
SarRatio mpeg_code_sar(const SequenceHeaderInfo* info, uint32_t code);
// The sample aspect the video shows: its shown field, or MPEG video's own
// code where no container field says one.
SarRatio video_shown_sar(const SequenceHeaderInfo* info);

// Whether the most common players would show the picture as they show it
// now after the change to `target`: they apply the aspect code to the size
// in the sequence_display_extension where the picture then shows exactly
// 4:3 or 16:9, otherwise to the coded size. *shown gets that shape.
bool display_hides_change(const SequenceHeaderInfo* info, uint32_t target, uint64_t* shown_num,
                          uint64_t* shown_den);

// The display aspect that an H.264/HEVC -o code names: 1 square pixels (1:1
// samples), 2 4:3, 3 16:9, 4 2.21:1. False for any other code.
bool display_of_code(uint32_t code, uint32_t* width, uint32_t* height);
// The -o code of the display aspect that the sample aspect gives the
// picture, within the rounding of the usual sample aspects (10:11 at 720
// samples is 4:3): 2, 3 or 4, or 0 for another or none.
uint32_t display_code_of(const SpsInfo* sps, SarRatio sar);

// The sample aspect the video showed before the tool first changed it:
// what its marker file records it showed, else (markers of earlier builds)
// its first parameter set's then, else the current one.
SarRatio sar_before(const AspectOriginal* original, SarRatio current);
// The sample aspect to write: -o's, or by default the other of 4:3 and 16:9
// that the video showed before the tool first changed it (sar_before), so
// that a second run never swaps back. The current one is what the most
// common players show: a container's own field over the set's.
TargetChoice sps_target_choose(const RunRequest* request, const SpsInfo* sps, SarRatio current,
                               const AspectOriginal* original, NoticeSink notices, SarRatio* target);
// The picture the display shape of a sample aspect is judged on: the
// picture after cropping, or MPEG video's coded size.
SpsInfo picture_of(const SequenceHeaderInfo* info);
