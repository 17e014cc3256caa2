// The rewrite engine: one walk over the whole video file that overwrites
// the aspect nibble of every sequence header with the first header's
// picture size and frame rate (or lists them with -l, or puts back what the
// marker file records with -u).
#pragma once
#include <cstdint>
#include <string>

#include "analysis/ts_demux.h"
#include "analysis/video_probe.h"
#include "fileio/fileio.h"

inline constexpr uint8_t mode_list = 0x80;          // -l
inline constexpr uint8_t mode_range_search = 0x40;  // -r
inline constexpr uint8_t mode_undo = 0x20;          // -u

struct ConvertJob {
    std::string path;        // UTF-8 (on POSIX systems: the file system's bytes)
    uint32_t target_aspect;  // 0-15; the low four bits are written
    SarRatio target_sar;     // H.264 and HEVC: the sample aspect written
    uint8_t mode_flags;
    // The run's handle, which holds its lock: the engine writes only into
    // the file it reaches. Null when no lock was taken.
    const FileHandleRec* locked;
};

// What a marker file made for the video says of it as it was before the
// tool first changed it.
struct AspectOriginal {
    bool known;
    uint8_t first_byte;  // MPEG video: byte 7 of the first sequence header
    SarRatio sar;        // H.264 and HEVC: the first parameter set's sample aspect
};

// What a finished run leaves its caller to do: the last-write time the
// marker file recorded before the first change, to be put back.
struct RewriteReport {
    bool time_known;
    OsFileTime written;
};

// Engine results: 0 done and the marker file created by this call, 1 done
// otherwise (always in list mode); an undo gives 0 when everything was put
// back (and the marker file removed), 2 when some listed positions held no
// header. A rewrite of H.264 or HEVC video that left parameter sets alone
// adds 4 to its result. Negative when the walk stopped.
enum RewriteResult : int32_t {
    rewrite_done_marker_created = 0,
    rewrite_done = 1,
    restore_partial = 2,
    rewrite_some_left = 4,
    rewrite_open_error = -1,
    rewrite_data_buffer_error = -2,
    rewrite_block_buffer_error = -3,
    rewrite_stream_id_error = -4,
    rewrite_side_file_error = -6,
    rewrite_write_error = -7,
    rewrite_read_error = -9,
    rewrite_marker_write_error = -10,
    rewrite_list_write_error = -11,
    rewrite_close_error = -12,
    rewrite_no_sequence_header = -13,
    rewrite_marker_unreadable = -14,
    rewrite_marker_missing = -15,
    rewrite_marker_remove_error = -16,
    rewrite_marker_foreign = -17,  // the marker file was made for another video
    rewrite_marker_linked = -18,   // a link, or a file with other names too
    rewrite_no_mpeg_video = -19,   // a transport stream without MPEG-1/MPEG-2 video
    rewrite_not_dvd_ifo = -20,     // a title set's IFO or BUP without its identifier
    rewrite_open_refused = -21,    // the file can never be opened for writing
    rewrite_no_sps = -22,          // H.264 or HEVC video without a parameter set that reads
    rewrite_file_replaced = -23,   // another file took the locked one's name
    rewrite_list_not_ours = -24,   // a file of the user's bears the list file's name
    rewrite_sps_unreadable = -25,  // parameter sets, but none this reader understands
    rewrite_video_pid_empty = -26, // the tables name a video PID that carries nothing
    rewrite_video_scrambled = -27, // the video's packets are scrambled
};

// The message that tells a negative result, or null for those that have
// none of their own.
const char* rewrite_result_message(int32_t result);

// Rewrites, lists (mode_list) or undoes (mode_undo) the job's file; the
// report, where one is given, says what the caller is to put back.
int32_t aspect_rewrite(const ConvertJob* job, RewriteReport* report);

// Whether a header with the first header's size and frame rate holds another
// aspect code than the target, so that a run has something to do although
// the first header already has the target: 1 yes, 0 no, or a negative
// engine result. Reads only.
int32_t aspect_change_needed(const ConvertJob* job);

// Looks through the whole file for its video's first sequence header and
// the start code after it, where the head window did not hold them (or for
// the first parameter set of H.264 or HEVC video), and in a transport
// stream for the program tables; where `original` is given, also what the
// marker file says of the video before the first change: 0, or a negative
// engine result. Reads only the video.
int32_t video_header_seek(const ConvertJob* job, VideoHeaderProbe* probe, TsProgram* program,
                          SpsInfo* sps, AspectOriginal* original);

inline uint32_t be32_at(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}
