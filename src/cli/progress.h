// The one console line that each matching header overwrites: how far the
// walk has come, how long it has run and roughly how long it still needs.
#pragma once
#include <cstdint>

enum WalkKind { walk_linear, walk_packets };

struct ProgressInput {
    WalkKind walk;
    uint64_t header_pos;    // byte 7 of the header (linear scan measure)
    int64_t file_position;  // end of the packet read (packet walk measure)
    int64_t file_size;
    uint32_t start_tick;
    uint32_t now_tick;
    const char* list_line;  // in list mode the header's list line, else null
};

inline constexpr unsigned progress_text_capacity = 512;

// The line as printed, without its closing "\r".
void progress_line_build(const ProgressInput* input, char* line);
