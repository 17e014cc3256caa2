// The results every layer passes up, from a read of the file to the run of
// one file: one value each, none shared. The errors keep the numbers the
// closing line shows ("エラー終了(-13)").
#pragma once
#include <cstdint>

enum Result : int32_t {
    result_ok = 0,
    result_found = 1,  // a walk's sink found what it was looking for, and stopped it
    result_open_error = -1,
    result_data_buffer_error = -2,
    result_block_buffer_error = -3,
    result_stream_id_error = -4,  // damage in a program stream, without -r
    result_side_file_error = -6,
    result_write_error = -7,
    result_read_error = -9,
    result_marker_write_error = -10,
    result_list_write_error = -11,
    result_close_error = -12,
    result_no_sequence_header = -13,
    result_marker_unreadable = -14,
    result_marker_missing = -15,
    result_marker_remove_error = -16,
    result_marker_foreign = -17,  // the marker file was made for another video
    result_marker_linked = -18,   // a link, or a file with other names too
    result_no_mpeg_video = -19,   // a transport stream without video the tool takes
    result_not_dvd_ifo = -20,     // a title set's IFO or BUP without its identifier
    result_open_refused = -21,    // the file can never be opened for writing
    result_no_sps = -22,          // H.264 or HEVC video without a parameter set that reads
    result_list_not_ours = -24,   // a file of the user's bears the list file's name
    result_sps_unreadable = -25,  // parameter sets, but none this reader understands
    result_video_pid_empty = -26, // the tables name a video PID that carries nothing
    result_video_scrambled = -27, // the video's packets are scrambled
    result_no_movie = -28,        // an ISO media file without its movie box: cut before it was written
    result_box_broken = -29,      // a box whose size runs past what holds it, or a table past its box
    result_samples_outside = -30, // a sample table that points past the end of the file
    result_element_broken = -31,  // a Matroska element whose size runs past what holds it
    result_samples_unaccounted = -32,  // a sample table that does not account for every sample
    result_file_cut = -33,  // the file was cut shorter than a change due past its new end
    result_no_vol = -34,    // MPEG-4 video without a VOL header that reads
    result_no_dv_pack = -35,  // DV frames without a source control pack
    result_chunk_broken = -36,  // an AVI chunk whose size runs past what holds it
    // A clip information file whose layout is not the one its version says.
    result_clip_info_broken = -37,
    result_object_broken = -38,  // an ASF object or record past what holds it, or half an aspect pair
    result_klv_broken = -39,     // an MXF KLV, a set's item or a primer pack past what holds it
    result_tag_broken = -40,    // an FLV tag whose type or sizes do not read
    result_no_h263_picture = -41,  // H.263 video without a picture header that names its format
    result_page_broken = -42,   // an Ogg page whose head does not read where one must begin
    // Disc images: no DVD-Video in it (no VIDEO_TS, or another kind of disc);
    // a file of VIDEO_TS in more than one extent; UDF and ISO 9660 that
    // place its files apart; a file system whose structures do not read.
    result_disc_other = -43,
    result_disc_split = -44,
    result_disc_disagree = -45,
    result_disc_broken = -46,
    result_least = result_disc_broken,  // the lowest: what a check of range reaches down to
};

// Damage to a container's units, which the reader that met it places.
inline bool result_of_broken_unit(int32_t result) {
    return result == result_box_broken || result == result_element_broken || result == result_chunk_broken ||
           result == result_object_broken || result == result_klv_broken || result == result_tag_broken ||
           result == result_page_broken;
}
