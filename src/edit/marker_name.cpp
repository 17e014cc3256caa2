#include "edit/marker_name.h"

#include "edit/side_files.h"
#include "fileio/fileio.h"

namespace {

// Whether the file that bears the name is a marker made for another video.
// One that a run would not read (a link, a file with other names too) or
// cannot read is no other video's: the run that takes it up says what is
// wrong with it.
bool records_other_video(const std::string& name, const char* video_path) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_exists(name.c_str()) != 0) return false;
    if (file_open_unlinked(&file, name.c_str()) != file_opened) return false;
    MarkerHead head;
    bool read = marker_head_parse(&file, &head) == 0;
    file_close(&file);
    return read && !marker_names_video(&head, video_path);
}

}  // namespace

std::string marker_owner_name(const char* video_path) {
    return os_name_cp932(path_file_name(os_link_target(video_path).c_str()));
}

bool marker_names_video(const MarkerHead* head, const char* video_path) {
    return !head->owner.known || os_names_match(marker_owner_name(video_path).c_str(), head->owner.name);
}

std::string marker_path(const char* video_path, bool whole_name) {
    std::string video = os_link_target(video_path);
    std::string whole = video + marker_extension;
    if (whole_name) return whole;
    std::string stem = side_path(video.c_str(), marker_extension);
    if (file_exists(whole.c_str()) == 0 && !records_other_video(whole, video_path)) return whole;
    return records_other_video(stem, video_path) ? whole : stem;
}

std::string list_path(const char* video_path) {
    std::string whole = std::string(video_path) + list_extension;
    std::string stem = side_path(video_path, list_extension);
    bool whole_marker = marker_path(video_path, false) == os_link_target(video_path) + marker_extension;
    bool ours = false;
    // NAME.EXT.txt may be the stem list of another video (a.b.txt of a.b.c).
    bool whole_other = list_names_other(whole.c_str(), video_path, &ours);
    if (!whole_other && (whole_marker || ours)) return whole;
    return list_names_other(stem.c_str(), video_path, &ours) ? whole : stem;
}
