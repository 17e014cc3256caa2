#include "rewrite/side_files.h"

#include <cstring>

#include "console/messages.h"

namespace {

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

}  // namespace

int make_side_path(const char* path, const char* extension, char* out) {
    size_t stem = extension_start(path);
    size_t extension_length = std::strlen(extension);
    if (stem + extension_length >= side_path_capacity) return 1;
    std::memcpy(out, path, stem);
    std::memcpy(out + stem, extension, extension_length + 1);
    return 0;
}

void format_list_line(char* out, uint64_t position, const uint8_t* record) {
    bool same = std::memcmp(record, record + 4, 4) == 0;
    text_format(out, side_path_capacity, fmt_list_entry, static_cast<long long>(position),
                static_cast<unsigned long long>(position), record[0], record[1], record[2],
                record[3], same ? "-" : "*");
}

int list_file_create(TextFileRec* list, const char* name, const FileHandleRec* video) {
    if (text_file_create(list, name, false) != 0) return 1;
    if (file_same(&list->file, video)) {
        text_file_close(list);
        return 2;
    }
    if (text_file_truncate(list) == 0) return 0;
    text_file_close(list);
    return 1;
}

int list_write_header(TextFileRec* list, const char* video_path) {
    // The list file is code page 932 text, whatever the name's characters.
    char name[2 * side_path_capacity];
    os_name_to_cp932(video_path, name, sizeof name);
    return text_file_print(list, fmt_list_header, name);
}
