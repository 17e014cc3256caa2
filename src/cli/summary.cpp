#include "cli/summary.h"

#include <cstdio>
#include <cstring>

#include "cli/name_tables.h"
#include "codecs/shapes.h"
#include "console/text_file.h"
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

namespace {

// The playing time and the file's size that end every summary line.
struct SummaryTail {
    char duration[duration_text_capacity];
    char size[size_text_capacity];
};

SummaryTail summary_tail(double duration_sec, int64_t file_size) {
    SummaryTail tail = {};
    format_duration_text(duration_sec, tail.duration);
    format_size_text(file_size, tail.size);
    return tail;
}

// The names of the display aspects of the H.264/HEVC -o codes.
const char* const display_names[] = {"", "1:1", "4:3", "16:9", "2.21:1"};

}  // namespace

void format_summary_line(const MpegSummary* summary, char* line) {
    SummaryTail tail = summary_tail(summary->duration_sec, summary->file_size);
    double kbps = static_cast<double>(summary->bit_rate_value) * 400 * 0.001;
    text_format(line, 512, fmt_summary, summary->mpeg_version, summary->horizontal_size,
                summary->vertical_size, frame_rate_names[summary->frame_rate_code & 0x0F], kbps, tail.duration, tail.size);
}

namespace {

constexpr unsigned shown_capacity = 16;

// "4:3", "16:9", or the ratio the sample aspect gives the picture.
void shown_name(uint32_t width, uint32_t height, SarRatio sar, char* shown) {
    uint32_t shape = shape_of_sar(width, height, sar);
    if (sar.width == 0 || sar.height == 0) {
        text_format(shown, shown_capacity, "%s", "other");
    } else if (shape != 0) {
        text_format(shown, shown_capacity, "%s", display_names[shape]);
    } else {
        double ratio = static_cast<double>(sar.width) * width / (static_cast<double>(sar.height) * height);
        text_format(shown, shown_capacity, fmt_display_ratio, ratio);
    }
}

}  // namespace

void format_sar_summary_line(const SarSummary* summary, char* line) {
    SummaryTail tail = summary_tail(summary->duration_sec, summary->file_size);
    if (summary->style == summary_samples) {
        text_format(line, 512, fmt_summary_sps, summary->codec, summary->width, summary->height,
                    summary->current.width, summary->current.height, summary->target.width, summary->target.height,
                    tail.duration, tail.size);
        return;
    }
    // Packs that record only a shape, or frames that record no aspect the
    // tool changes: the shapes shown.
    char current[shown_capacity] = {};
    char target[shown_capacity] = {};
    shown_name(summary->width, summary->height, summary->current, current);
    shown_name(summary->width, summary->height, summary->target, target);
    const char* format = summary->style == summary_shapes ? fmt_summary_shapes : fmt_summary_container;
    text_format(line, 512, format, summary->codec, summary->width, summary->height, current, target, tail.duration,
                tail.size);
}

void sar_name(uint32_t width, uint32_t height, SarRatio sar, char* name) {
    if (sar.width == 0 || sar.height == 0) {
        text_format(name, sar_name_capacity, "%s", msg_sar_unspecified);
        return;
    }
    char shown[shown_capacity] = {};
    shown_name(width, height, sar, shown);
    text_format(name, sar_name_capacity, fmt_sar_name, sar.width, sar.height, shown);
}
