// The two text files kept beside the video: the marker file (".ini"), which
// records what a rewrite changed, and the list file (".txt") of -l.
#pragma once
#include <cstdint>
#include <cstdio>

inline constexpr unsigned side_path_capacity = 512;
inline constexpr char marker_extension[] = ".ini";
inline constexpr char list_extension[] = ".txt";

// The video's path without its extension, followed by `extension`. The
// whole path counts; code page 932 double-byte characters are units, so a
// trail byte 0x5C is no separator. 0 on success, 1 when it does not fit.
int make_side_path(const char* path, const char* extension, char* out);
// Whether two names denote the same file by the platform's rule of case.
bool side_names_same(const char* a, const char* b);

// "%12I64d %08I64x %02x %02x %02x %02x (%s)": the record's first four bytes
// and "-" when they equal its last four, "*" when not.
void format_list_line(char* out, uint64_t position, const uint8_t* record);

// Creates or empties a side file; null when it cannot.
std::FILE* side_file_create(const char* name);
void side_file_close(std::FILE* file);
void marker_write_first(std::FILE* marker, uint8_t byte7);
void marker_write_position(std::FILE* marker, int64_t position);
void list_write_header(std::FILE* list, const char* video_path);
void list_write_line(std::FILE* list, const char* line);
