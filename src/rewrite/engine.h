// The rewrite engine: one walk over the whole video file that overwrites
// the aspect nibble of every sequence header with the first header's
// picture size and frame rate (or lists them with -l).
#pragma once
#include <cstdint>

inline constexpr uint8_t mode_list = 0x80;          // -l
inline constexpr uint8_t mode_range_search = 0x40;  // -r

struct ConvertJob {
    char path[512];
    uint32_t target_aspect;  // 0-15; the low four bits are written
    uint8_t mode_flags;
};

// How many start offsets the -r search may try, plus one. Set by the run
// driver before the engine runs.
extern uint32_t header_range_length;

// Engine results: 0 done and the marker file created by this call, 1 done
// otherwise (always in list mode), negative when the walk stopped.
enum RewriteResult : int32_t {
    rewrite_done_marker_created = 0,
    rewrite_done = 1,
    rewrite_open_error = -1,
    rewrite_data_buffer_error = -2,
    rewrite_block_buffer_error = -3,
    rewrite_stream_id_error = -4,
    rewrite_marker_name_error = -5,
    rewrite_side_file_error = -6,
    rewrite_write_error = -7,
    rewrite_range_search_error = -8,
};

int32_t aspect_rewrite(const ConvertJob* job);

uint32_t be32_at(const uint8_t* bytes);
