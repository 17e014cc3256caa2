#include "rewrite/side_files.h"

#include <cstring>

#include "console/messages.h"

namespace {

constexpr unsigned list_new_name_tries = 100;

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

const char* path_file_name(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/') name = at + 1;
    }
    return name;
}

void format_list_line(char* out, uint64_t position, const uint8_t* record) {
    bool same = std::memcmp(record, record + 4, 4) == 0;
    text_format(out, side_path_capacity, fmt_list_entry, static_cast<long long>(position),
                static_cast<unsigned long long>(position), record[0], record[1], record[2],
                record[3], same ? "-" : "*");
}

int list_file_create(ListFileRec* list, const char* name, const FileHandleRec* video) {
    list->text = text_file_closed;
    if (file_name_is(name, video)) return 2;
    std::strcpy(list->name, name);
    // A name left by a run that was killed, or planted, is passed over.
    for (unsigned attempt = 0; attempt < list_new_name_tries; ++attempt) {
        text_format(list->new_name, sizeof list->new_name, fmt_list_new_name, name, attempt);
        if (text_file_create(&list->text, list->new_name) == 0) return 0;
    }
    return 1;
}

int list_write_header(ListFileRec* list, const char* video_path) {
    // The list file is code page 932 text, whatever the name's characters.
    char name[2 * side_path_capacity];
    os_name_to_cp932(video_path, name, sizeof name);
    return text_file_print(&list->text, fmt_list_header, name);
}

int list_file_finish(ListFileRec* list) {
    if (!list->text.open) return 1;
    if (text_file_close(&list->text) == 0 && file_rename_over(list->new_name, list->name) == 0) {
        return 0;
    }
    file_remove(list->new_name);
    return 1;
}
