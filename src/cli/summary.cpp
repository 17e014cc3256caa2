#include "cli/summary.h"

#include <cstdio>
#include <cstring>

#include "analysis/name_tables.h"
#include "console/console.h"
#include "console/messages.h"

void format_size_text(int64_t number, char* text) {
    char digits[size_text_capacity];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(number));
    size_t n = std::strlen(digits);
    size_t grouped = n > 3 ? n + (n - 1) / 3 : n;
    if (grouped >= size_text_capacity) grouped = size_text_capacity - 1;
    size_t out = grouped;
    text[grouped] = '\0';
    size_t copied = 0;
    while (n > 0 && out > 0) {
        text[--out] = digits[--n];
        if (++copied % 3 == 0 && n > 0 && out > 0) text[--out] = ',';
    }
}

void format_duration_text(double seconds, char* text) {
    int32_t t = static_cast<int32_t>(seconds);
    int32_t h = t / 3600;
    int32_t m = (t - 3600 * h) / 60;
    int32_t s = t - 3600 * h - 60 * m;
    double fraction = static_cast<double>(static_cast<long double>(seconds) -
                                          static_cast<long double>(3600 * h + 60 * m + s));
    char printed[64];
    std::snprintf(printed, sizeof printed, "%f", fraction);
    int32_t ms = 0;
    if (std::strlen(printed) >= 5) {
        ms = 100 * (printed[2] - '0') + 10 * (printed[3] - '0') + (printed[4] - '0');
    }
    text_format(text, duration_text_capacity, fmt_duration, h, m, s, ms);
}

void format_summary_line(const SequenceHeaderInfo* info, int64_t file_size, char* line) {
    char duration[duration_text_capacity] = {};
    char size[size_text_capacity] = {};
    format_duration_text(info->duration_sec, duration);
    format_size_text(file_size, size);
    double kbps = static_cast<double>(info->bit_rate_value) * 400 * 0.001;
    text_format(line, 512, fmt_summary, info->mpeg_version, info->horizontal_size,
                info->vertical_size, frame_rate_names[info->frame_rate_code & 0x0F], kbps,
                duration, size);
}
