// What -o means for H.264 and HEVC video: a display aspect, turned into the
// sample aspect of the picture after cropping; the names the run prints for
// sample aspects, and its summary line.
#pragma once
#include <cstdint>

#include "analysis/header_analysis.h"
#include "rewrite/engine.h"

struct CommandLine;

inline constexpr unsigned sar_name_capacity = 64;

// The display aspect that an -o code names: 1 square pixels (1:1 samples),
// 2 4:3, 3 16:9, 4 2.21:1. False for any other code.
bool display_of_code(uint32_t code, uint32_t* width, uint32_t* height);

// The -o code of the display aspect that the sample aspect gives the
// picture, within the rounding of the usual sample aspects (10:11 at 720
// samples is 4:3): 2, 3 or 4, or 0 for another or none.
uint32_t display_code_of(const SpsInfo* sps, SarRatio sar);

// The sample aspect to write: -o's, or by default the other of 4:3 and 16:9
// that the video showed before the tool first changed it (the current one
// where it showed neither), so that a second run never swaps back. 0, or 1
// after printing the error lines of a code that is not 1 to 4.
int sps_target_choose(const CommandLine* line, const SpsInfo* sps, const AspectOriginal* original,
                      SarRatio* target);

// "SAR 10:11(4:3)", or the word for none.
void sar_name(const SpsInfo* sps, SarRatio sar, char* name);

// "H.264 1440x1080 SAR 1:1->4:3 0:00:10.000 1,234,567" into a text of 512
// characters.
void format_sps_summary_line(const SequenceHeaderInfo* info, SarRatio target, int64_t file_size,
                             char* line);
