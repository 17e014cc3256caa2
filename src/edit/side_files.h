// Names of the two text files kept beside the video, the marker file
// (".ini") and the list file (".txt") of -l, and the list file's lines.
#pragma once
#include <cstdint>
#include <string>

#include "console/text_file.h"
#include "fileio/fileio.h"

inline constexpr unsigned list_line_capacity = 512;
inline constexpr char marker_extension[] = ".ini";
inline constexpr char list_extension[] = ".txt";

// The video's path without its extension, followed by `extension`. Names
// are UTF-8 (or the file system's bytes), in which '.', '/' and '\' are
// never part of another character.
std::string side_path(const char* path, const char* extension);
// Whether the file is one the tool keeps beside a video, judged by its
// name and its first lines, so that a folder's run passes over it: a
// marker file (NAME.ini, NAME.EXT.ini), a list (NAME.txt) or a list that
// was being written (NAME.~00). A user's file under such a name, and a
// symbolic link, are not.
bool side_file_ours(const char* path);
// The path's last component: the file's own name.
const char* path_file_name(const char* path);

// "%12I64d %08I64x %02x %02x %02x %02x (%s)": the record's first four bytes
// and "-" when they equal its last four, "*" when not.
void format_list_line(char* out, uint64_t position, const uint8_t* record);

// The list file is written as a new file beside it and then takes its name,
// so that a link or another file planted under that name is replaced as a
// name and never written through.
struct ListFileRec {
    TextFileRec text;
    std::string name;
    std::string new_name;
};

// Whether the file that bears the name is a list the tool wrote (*ours)
// of another video than the one at the path, by the file name its first
// line gives.
bool list_names_other(const char* name, const char* video_path, bool* ours);

// What list_file_create made of the name.
enum ListCreate {
    list_created,
    list_not_made,   // the new file could not be made (a read-only disc)
    list_is_video,   // the name is the video itself: nothing was changed
    list_not_ours,   // a file of the user's bears the name: it is left alone
};

// Creates the new list file, unless the name is the video itself under
// another name (a hard link, or another letter case) or a file bears it
// that is no list the tool wrote (its first line says), a link among them.
ListCreate list_file_create(ListFileRec* list, const char* name, const FileHandleRec* video);
// The first line, naming the video: 0, or 1 when the write failed.
int list_write_header(ListFileRec* list, const char* video_path);
// Closes the list and gives it its name when every line reached it; else it
// goes, and any older list stays. 0, or 1 when the list was not completed
// (also when it never opened).
int list_file_finish(ListFileRec* list);
