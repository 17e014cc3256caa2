// The one line that tells what a file holds before it is rewritten.
#pragma once
#include <cstdint>

#include "analysis/header_analysis.h"

inline constexpr unsigned size_text_capacity = 20;
inline constexpr unsigned duration_text_capacity = 16;

// Decimal digits with a comma between groups of three: 4,700,000,000.
void format_size_text(int64_t number, char* text);
// h:mm:ss.mmm; milliseconds are cut from "%f" of the fraction, so a
// fraction that prints as 1.000000 gives 000 and carries nothing.
void format_duration_text(double seconds, char* text);
// "MPEG-%d %dx%d %sfps %.2fkbps %s %s" into a text of 512 characters.
void format_summary_line(const SequenceHeaderInfo* info, int64_t file_size, char* line);
