// The formats of the side files' lines and of the console lines that several
// messages share: ASCII, part of the one message table (messages.h).
#pragma once

inline constexpr char fmt_line[] = "%s\n";
inline constexpr char fmt_stream_id_line[] = "\n%s\n";
inline constexpr char fmt_summary[] = "MPEG-%d %dx%d %sfps %.2fkbps %s %s";
inline constexpr char fmt_duration[] = "%d:%.2d:%.2d.%.3d";
inline constexpr char fmt_progress_line[] = "%s %s";
inline constexpr char fmt_progress_list_line[] = "%s %s %s";
inline constexpr char fmt_progress_out[] = "%s\r";
inline constexpr char fmt_marker_first[] = "%d\n";
inline constexpr char fmt_marker_position[] = "%I64d\n";
inline constexpr char fmt_marker_position_byte[] = "%I64d %d\n";
inline constexpr char fmt_marker_owner[] = "video=%I64d %s\n";
inline constexpr char fmt_marker_time[] = "time=%I64d.%09I64d\n";
inline constexpr char fmt_marker_target[] = "target=%u %u:%u\n";
inline constexpr char fmt_marker_shown[] = "shown=%u:%u\n";
inline constexpr char fmt_marker_grown[] = "grown=%I64d\n";
inline constexpr char fmt_marker_grown_time[] = "grown=%I64d %I64d.%09I64d\n";
inline constexpr char fmt_list_header[] = "%s sequence header list\n";
inline constexpr char fmt_list_entry[] = "%12I64d %08I64x %02x %02x %02x %02x (%s)";
inline constexpr char fmt_list_sps_entry[] = "%12I64d %08I64x SAR %u:%u (%s)";
inline constexpr char fmt_list_sps_other[] = " other id %u %ux%u";
// a VOL or DV frame of another video than the first's
inline constexpr char fmt_list_other_size[] = " other %ux%u";
inline constexpr char fmt_list_holder[] = " %s";
// A DVD title set's video attributes byte, and the shape it names.
inline constexpr char fmt_list_dvd_attributes[] = "%12I64d %08I64x %02x %s";
inline constexpr char fmt_list_display_size[] = "%12I64d %08I64x %s %ux%u SAR %u:%u";
inline constexpr char fmt_list_no_place[] = "%12I64d %08I64x %s 0x0 %s";
inline constexpr char fmt_list_holder_text[] = "%12I64d %08I64x %s %s";
inline constexpr char fmt_list_pixel_aspect[] = "%12I64d %08I64x %s SAR %u:%u";
inline constexpr char fmt_container_summary[] = "%s %s";
inline constexpr char fmt_summary_sps[] = "%s %ux%u SAR %u:%u->%u:%u %s %s";
inline constexpr char fmt_sar_name[] = "SAR %u:%u(%s)";
inline constexpr char fmt_display_ratio[] = "%.2f:1";
inline constexpr char fmt_version[] = "morvalencmd %s\n";
