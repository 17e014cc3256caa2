#include "fileio/fileio.h"

namespace {

int open_result(FileHandleRec* file, OsOpenFailure failure) {
    if (file->handle != os_invalid_handle) {
        file->size = file_size_now(file);
        return file_opened;
    }
    switch (failure) {
    case os_open_failed_refused: return file_open_refused;
    case os_open_failed_not_file: return file_open_not_file;
    case os_open_failed_linked: return file_open_linked;
    case os_open_failed_missing: return file_open_missing;
    default: return file_open_failed;
    }
}

}  // namespace

int64_t join_halves(uint32_t low, int32_t high) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
}

int file_open(FileHandleRec* file, const char* name, uint32_t access) {
    OsOpenFailure failure = os_open_failed_other;
    file->handle = os_file_open(name, access, &failure);
    return open_result(file, failure);
}

int file_open_no_link(FileHandleRec* file, const char* name, uint32_t access) {
    OsOpenFailure failure = os_open_failed_other;
    file->handle = os_file_open_no_link(name, access, &failure);
    return open_result(file, failure);
}

int file_open_unlinked(FileHandleRec* file, const char* name) {
    OsOpenFailure failure = os_open_failed_other;
    file->handle = os_file_open_unlinked(name, &failure);
    return open_result(file, failure);
}

int file_create(FileHandleRec* file, const char* name) {
    file->handle = os_file_create(name);
    if (file->handle == os_invalid_handle) return 1;
    file->position = 0;
    file->size = file_size_now(file);
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

uint32_t file_read_at(FileHandleRec* file, int64_t at, void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!os_file_read_at(file->handle, buffer, count, at, &done)) return 0;
    return done;
}

uint32_t file_write_at(FileHandleRec* file, int64_t at, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!os_file_write_at(file->handle, buffer, count, at, &done)) return 0;
    return done;
}

int file_sync(FileHandleRec* file) {
    return os_file_sync(file->handle) ? 0 : 1;
}

void file_write_out_start(FileHandleRec* file) {
    os_file_write_out_start(file->handle);
}

uint32_t file_read_at_cached(FileHandleRec* file, int64_t at, void* buffer, uint32_t count) {
    return os_file_read_cached(file->handle, buffer, count, at) ? count : 0;
}

void file_prefetch(FileHandleRec* file, int64_t at, uint64_t count) {
    os_file_prefetch(file->handle, at, count);
}

int64_t file_size_now(const FileHandleRec* file) {
    uint32_t high = 0;
    uint32_t low = os_file_size(file->handle, &high);
    return join_halves(low, static_cast<int32_t>(high));
}

uint32_t file_view_alignment() {
    return os_view_alignment();
}

bool file_view_open(FileHandleRec* file, int64_t at, uint32_t length, FileView* view) {
    return os_file_view_open(file->handle, at, length, view);
}

void file_view_close(FileView* view) {
    os_file_view_close(view);
}

bool file_buffer_make(FileBuffer* buffer, size_t size) {
    os_buffer_delete(buffer->bytes, buffer->size);
    buffer->bytes = os_buffer_new(size);
    buffer->size = buffer->bytes != nullptr ? size : 0;
    return buffer->bytes != nullptr;
}

int file_lock(FileHandleRec* file) {
    return os_file_lock(file->handle) ? 0 : 1;
}

int file_truncate(FileHandleRec* file, int64_t length) {
    return os_file_truncate(file->handle, length) ? 0 : 1;
}

int file_close(FileHandleRec* file) {
    return os_file_close(file->handle) ? 0 : 1;
}

int file_exists(const char* name) {
    return os_name_exists(name) ? 0 : 1;
}

int file_remove(const char* name) {
    return os_file_remove(name) ? 0 : 1;
}

int file_rename_over(const char* from, const char* to) {
    return os_file_rename_over(from, to) ? 0 : 1;
}

namespace {

bool ids_equal(const OsFileId& a, const OsFileId& b) {
    return a.volume == b.volume && a.index == b.index;
}

}  // namespace

bool file_same(const FileHandleRec* a, const FileHandleRec* b) {
    OsFileId first = {0, 0};
    OsFileId second = {0, 0};
    if (!os_file_id(a->handle, &first) || !os_file_id(b->handle, &second)) return true;
    return ids_equal(first, second);
}

bool file_name_is(const char* name, const FileHandleRec* file) {
    OsFileId named = {0, 0};
    OsFileId opened = {0, 0};
    if (!os_name_id(name, &named)) return false;  // nothing bears the name
    return !os_file_id(file->handle, &opened) || ids_equal(named, opened);
}
