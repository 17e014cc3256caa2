// The one line that tells what a file holds before it is rewritten, and the
// names of sample aspects that the console shows.
#pragma once
#include <cstdint>

#include "codecs/video_codec.h"
#include "notices/file_notices.h"

inline constexpr unsigned size_text_capacity = 20;
inline constexpr unsigned duration_text_capacity = 16;
inline constexpr unsigned sar_name_capacity = 64;

// Decimal digits with a comma between groups of three: 4,700,000,000.
void format_size_text(int64_t number, char* text);
// h:mm:ss.mmm; milliseconds are cut from "%f" of the fraction, so a
// fraction that prints as 1.000000 gives 000 and carries nothing.
void format_duration_text(double seconds, char* text);

// "MPEG-%d %dx%d %sfps %.2fkbps %s %s" into a text of 512 characters.
void format_summary_line(const MpegSummary* summary, char* line);

// "H.264 1440x1080 SAR 1:1->4:3 0:00:10.000 1,234,567" into a text of 512
// characters; for video whose container alone records the aspect, the
// codec's name and the shapes shown, "VP9 1280x720 表示 16:9->4:3 ...".
void format_sar_summary_line(const SarSummary* summary, char* line);

// "SAR 10:11(4:3)", or the word for none, for a picture of the size.
void sar_name(uint32_t width, uint32_t height, SarRatio sar, char* name);
