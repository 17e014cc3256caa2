// What -o and the default mean for MPEG-1 and MPEG-2 video: a code of the
// aspect_ratio_information table.
#pragma once
#include <cstddef>
#include <cstdint>

#include "analysis/header_analysis.h"
#include "rewrite/engine.h"

struct CommandLine;

// The code to write: -o's, or the one a job settled for the file (a DVD
// title set's), or by default the other of 4:3 and 16:9 that the video was
// before the tool first changed it (MPEG-1: the Video CD code 12), so that
// a second run finishes the first and never swaps back. 0, or 1 after
// printing the error lines of an -o that names no code from 0 to 15.
int mpeg_target_choose(const CommandLine* line, const SequenceHeaderInfo* info,
                       const AspectOriginal* original, uint32_t* target);

// Whether the most common players would show the picture as they show it
// now after the change to `target`: they apply the aspect code to the size
// in the sequence_display_extension where the picture then shows exactly
// 4:3 or 16:9, otherwise to the coded size. Then *shown names that shape.
bool display_hides_change(const SequenceHeaderInfo* info, uint32_t target, char* shown, size_t capacity);
