#include "rewrite/side_files.h"

#include <cstring>

#include "console/console.h"
#include "console/messages.h"
#include "platform/platform.h"

namespace {

bool is_lead_byte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Offset of the '.' that starts the extension, or the path's length.
size_t extension_start(const char* path) {
    size_t length = std::strlen(path);
    size_t dot = length;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (is_lead_byte(c) && i + 1 < length) {
            ++i;
        } else if (c == '\\' || c == '/') {
            dot = length;
        } else if (c == '.') {
            dot = i;
        }
    }
    return dot;
}

char fold_ascii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
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

bool side_names_same(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        bool same = os_names_ignore_case ? fold_ascii(*a) == fold_ascii(*b) : *a == *b;
        if (!same) return false;
    }
    return *a == *b;
}

void format_list_line(char* out, uint64_t position, const uint8_t* record) {
    bool same = std::memcmp(record, record + 4, 4) == 0;
    text_format(out, side_path_capacity, fmt_list_entry, static_cast<long long>(position),
                static_cast<unsigned long long>(position), record[0], record[1], record[2],
                record[3], same ? "-" : "*");
}

std::FILE* side_file_create(const char* name) {
    return std::fopen(name, "wb");
}

void side_file_close(std::FILE* file) {
    if (file != nullptr) std::fclose(file);
}

void marker_write_first(std::FILE* marker, uint8_t byte7) {
    text_file_print(marker, fmt_marker_first, byte7);
}

void marker_write_position(std::FILE* marker, int64_t position) {
    text_file_print(marker, fmt_marker_position, static_cast<long long>(position));
}

void list_write_header(std::FILE* list, const char* video_path) {
    text_file_print(list, fmt_list_header, video_path);
}

void list_write_line(std::FILE* list, const char* line) {
    text_file_print(list, fmt_line, line);
}
