#include "fileio/fileio.h"

int64_t join_halves(uint32_t low, int32_t high) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
}

int file_open(FileHandleRec* file, const char* name, uint32_t access) {
    file->handle = os_file_open(name, access);
    if (file->handle == os_invalid_handle) return 1;
    uint32_t high = 0;
    uint32_t low = os_file_size(file->handle, &high);
    file->size = join_halves(low, static_cast<int32_t>(high));
    return 0;
}

int64_t file_seek(FileHandleRec* file, int64_t distance, uint32_t origin) {
    uint32_t low = static_cast<uint32_t>(distance);
    int32_t high = static_cast<int32_t>(static_cast<uint64_t>(distance) >> 32);
    uint32_t new_low = 0;
    if (os_file_seek(file->handle, low, &high, origin, &new_low)) {
        file->position = join_halves(new_low, high);
    }
    return file->position;
}

uint32_t file_read(FileHandleRec* file, void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!os_file_read(file->handle, buffer, count, &done)) return 0;
    file->position += done;
    return done;
}

uint32_t file_write(FileHandleRec* file, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!os_file_write(file->handle, buffer, count, &done)) return 0;
    return done;
}

int file_close(FileHandleRec* file) {
    return os_file_close(file->handle);
}

int file_exists(const char* name) {
    return os_name_exists(name) ? 0 : 1;
}
