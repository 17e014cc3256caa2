#include "cli/progress.h"

#include "console/console.h"
#include "console/messages.h"

namespace {

float percent_done(const ProgressInput* input) {
    uint64_t done = input->walk == walk_packets ? static_cast<uint64_t>(input->file_position)
                                                : input->header_pos;
    double ratio = static_cast<double>(done) / static_cast<double>(static_cast<uint64_t>(input->file_size));
    return static_cast<float>(ratio * 100.0);
}

void time_text_build(float p, uint32_t elapsed, char* text) {
    if (!(p > 1.0f)) return;  // too early for an estimate
    uint32_t remaining = static_cast<uint32_t>((100.0 - p) / p * elapsed);
    uint32_t rm = remaining / 60;
    if (rm > 0) {
        text_format(text, progress_text_capacity, msg_progress_minutes, elapsed / 60, elapsed % 60,
                    rm + 1);
    } else {
        text_format(text, progress_text_capacity, msg_progress_seconds, elapsed / 60, elapsed % 60,
                    remaining % 60);
    }
}

}  // namespace

void progress_line_build(const ProgressInput* input, char* line) {
    char percent_text[progress_text_capacity] = {};
    char time_text[progress_text_capacity] = {};
    float p = percent_done(input);
    uint32_t elapsed = (input->now_tick - input->start_tick) / 1000;
    time_text_build(p, elapsed, time_text);
    text_format(percent_text, sizeof percent_text, msg_progress_percent, static_cast<int>(p));
    if (input->list_line != nullptr) {
        text_format(line, progress_text_capacity, fmt_progress_list_line, percent_text, time_text,
                    input->list_line);
    } else {
        text_format(line, progress_text_capacity, fmt_progress_line, percent_text, time_text);
    }
}
