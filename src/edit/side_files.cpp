#include "edit/side_files.h"

#include <cstring>
#include <vector>

#include "console/messages.h"
#include "edit/marker_text.h"

namespace {

constexpr unsigned list_new_name_tries = 100;
// A list's first line names its video; one longer than this is no list's.
constexpr uint32_t list_first_line_most = 0x10000;
constexpr char list_header_end[] = " sequence header list";

// Offset of the '.' that starts the last component's extension, or the
// path's length when it has none.
size_t extension_start(const char* path) {
    size_t length = std::strlen(path);
    size_t dot = length;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == '\\' || path[i] == '/') {
            dot = length;
        } else if (path[i] == '.') {
            dot = i;
        }
    }
    return dot;
}

// The name a new list has while it is written: the list's own, its
// extension's letters replaced by '~' and the attempt's two digits
// (NAME.~00), so that it fits wherever the list's name fits.
std::string list_new_name(const std::string& name, unsigned attempt) {
    size_t letters = std::strlen(list_extension) - 1;
    std::string number = std::to_string(attempt + list_new_name_tries).substr(1);
    return name.substr(0, name.size() - letters) + "~" + number;
}

bool ends_with(const char* text, size_t length, const char* end) {
    size_t n = std::strlen(end);
    return length >= n && std::memcmp(text + length - n, end, n) == 0;
}

// The video named by the first line of the file that bears the name, where
// that is a list the tool wrote, read without following a link: a link is
// the user's.
bool list_video_read(const char* name, std::string* video) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open_no_link(&file, name, generic_read) != file_opened) return false;
    std::vector<char> head(list_first_line_most);
    uint32_t got = file_read(&file, head.data(), list_first_line_most);
    file_close(&file);
    const char* end = static_cast<const char*>(std::memchr(head.data(), '\n', got));
    if (end == nullptr) return false;
    size_t length = static_cast<size_t>(end - head.data());
    if (length > 0 && head[length - 1] == '\r') --length;
    if (!ends_with(head.data(), length, list_header_end)) return false;
    video->assign(head.data(), length - std::strlen(list_header_end));
    return true;
}

bool list_is_ours(const char* name) {
    std::string video;
    return list_video_read(name, &video);
}

// The extension of the path's last component is `extension` ('.' and
// ASCII letters, in any case), or, with `digits`, that followed by two
// digits (a list being written: ".~00").
bool extension_is(const char* path, const char* extension, bool digits) {
    const char* dot = path + extension_start(path);
    size_t letters = std::strlen(extension);
    size_t length = std::strlen(dot);
    if (length != letters + (digits ? 2 : 0)) return false;
    for (size_t i = 0; i < letters; ++i) {
        char c = dot[i] >= 'A' && dot[i] <= 'Z' ? static_cast<char>(dot[i] + 32) : dot[i];
        if (c != extension[i]) return false;
    }
    for (size_t i = letters; i < length; ++i) {
        if (dot[i] < '0' || dot[i] > '9') return false;
    }
    return true;
}

// Whether the file reads as a marker file the tool wrote, as far as its
// lines before the positions go, its first line among them.
bool marker_is_ours(const char* name) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_open_no_link(&file, name, generic_read) != file_opened) return false;
    MarkerHead head;
    bool ours = marker_head_parse(&file, &head) == 0 && head.first_known;
    file_close(&file);
    return ours;
}

}  // namespace

bool list_names_other(const char* name, const char* video_path, bool* ours) {
    std::string video;
    *ours = list_video_read(name, &video);
    std::string own = os_name_cp932(video_path);
    return *ours && !os_names_match(path_file_name(video.c_str()), path_file_name(own.c_str()));
}

bool side_file_ours(const char* path) {
    if (extension_is(path, marker_extension, false)) return marker_is_ours(path);
    if (extension_is(path, list_extension, false) || extension_is(path, ".~", true)) return list_is_ours(path);
    return false;
}

std::string side_path(const char* path, const char* extension) {
    return std::string(path, extension_start(path)) + extension;
}

const char* path_file_name(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/') name = at + 1;
    }
    return name;
}

void format_list_line(char* out, uint64_t position, const uint8_t* record) {
    bool same = std::memcmp(record, record + 4, 4) == 0;
    text_format(out, list_line_capacity, fmt_list_entry, static_cast<long long>(position),
                static_cast<unsigned long long>(position), record[0], record[1], record[2],
                record[3], same ? "-" : "*");
}

ListCreate list_file_create(ListFileRec* list, const char* name, const FileHandleRec* video) {
    list->text = text_file_closed;
    if (file_name_is(name, video)) return list_is_video;
    OsFileId id = {0, 0};
    if (os_name_id(name, &id) && !list_is_ours(name)) return list_not_ours;
    list->name = name;
    // A name left by a run that was killed, or planted, is passed over.
    for (unsigned attempt = 0; attempt < list_new_name_tries; ++attempt) {
        list->new_name = list_new_name(list->name, attempt);
        if (text_file_create(&list->text, list->new_name.c_str()) == 0) return list_created;
    }
    return list_not_made;
}

int list_write_header(ListFileRec* list, const char* video_path) {
    // The list file is code page 932 text, whatever the name's characters.
    return text_file_print(&list->text, fmt_list_header, os_name_cp932(video_path).c_str());
}

int list_file_finish(ListFileRec* list) {
    if (!list->text.open) return 1;
    if (text_file_close(&list->text) == 0 &&
        file_rename_over(list->new_name.c_str(), list->name.c_str()) == 0) {
        return 0;
    }
    file_remove(list->new_name.c_str());
    return 1;
}
