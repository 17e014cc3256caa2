// What -o and the default mean for a video, whatever its codec: its row
// says which codes -o takes and what its places take for each shape; the
// default is the other of 4:3 and 16:9 than the shape the video showed
// before the tool first changed it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "codecs/codec_table.h"
#include "edit/editor.h"
#include "edit/request.h"
#include "notices/file_notices.h"
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

// The target: -o's, or the one a job settled for the file (a DVD title
// set's), or by default the other of 4:3 and 16:9 than the shape the video
// showed before the tool first changed it, so that a second run finishes
// the first and never swaps back. A video of another shape has no default,
// unless its row keeps its own aspect (MPEG-2's codes, where no container's
// field shows another) or has a target of its own (MPEG-1's Video CD code).
// Where -o names no code the video takes, *refused says so.
TargetChoice target_choose(const RunRequest* request, const VideoFacts* facts, const AspectOriginal* original,
                           CodeRefusedNotice* refused, SiteAspect* target);

// What the video showed before the tool first changed it, as the row names
// it: the container's field its marker file records, else its first
// header's aspect then, else what it shows now.
SiteAspect shown_before(const VideoFacts* facts, const AspectOriginal* original);

// Whether an aspect of the row's own places is the target: codes by code,
// sample aspects exactly.
bool aspect_holds(const VideoFacts* facts, SiteAspect aspect, SiteAspect target);

// What a run changes the video from: what it shows now, or, where that is
// the target already and its marker file knows what it was before the tool
// first changed it (a run that finishes one cut off, or finds it done),
// what it showed then.
SiteAspect changed_from(const VideoFacts* facts, const AspectOriginal* original, SiteAspect target);

// Whether the most common players would show the picture as they show it
// now after the change to `target`: they apply the aspect code to the size
// in the sequence_display_extension where the picture then shows exactly
// 4:3 or 16:9, otherwise to the coded size. *shown gets that shape.
bool display_hides_change(const SequenceHeaderInfo* info, uint32_t target, uint64_t* shown_num,
                          uint64_t* shown_den);
