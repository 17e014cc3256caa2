// File access with 64-bit sizes and positions over the platform's handles.
#pragma once
#include <cstdint>

#include "platform/platform.h"

struct FileHandleRec {
    os_handle handle;
    // Set by file_seek, advanced by file_read; file_open and file_write leave
    // it alone, so writers seek before and after they write.
    int64_t position;
    // Taken once at open; a file that changes size later keeps this value.
    int64_t size;
};

inline constexpr uint32_t generic_read = os_access_read;
inline constexpr uint32_t generic_write = os_access_write;

inline constexpr uint32_t file_begin = os_origin_begin;
inline constexpr uint32_t file_current = os_origin_current;
inline constexpr uint32_t file_end = os_origin_end;

// file_open's results.
inline constexpr int file_opened = 0;
inline constexpr int file_open_failed = 1;   // may open on a later attempt
inline constexpr int file_open_refused = 2;  // never will: no permission, read-only
inline constexpr int file_open_not_file = 3;  // a FIFO, a device, a socket
inline constexpr int file_open_linked = 4;    // a side file behind a link, or with other names
inline constexpr int file_open_missing = 5;   // nothing bears the name (any longer)

// Opens a regular file; never creates or truncates it. The size is untouched
// unless the file opened.
int file_open(FileHandleRec* file, const char* name, uint32_t access);
// Opens an existing file by its own name, never through a symbolic link
// (file_open_linked).
int file_open_no_link(FileHandleRec* file, const char* name, uint32_t access);
// Opens an existing side file for reading and writing by its one own name
// only (file_open_linked otherwise).
int file_open_unlinked(FileHandleRec* file, const char* name);
// Creates a new side file for reading and writing; an existing name (a link
// too) fails. 0 or 1.
int file_create(FileHandleRec* file, const char* name);
// Returns the new position. A move the platform refuses leaves the position
// as it was and returns it.
int64_t file_seek(FileHandleRec* file, int64_t distance, uint32_t origin);
// Bytes read; 0 on failure (position untouched) or at the end of the file.
uint32_t file_read(FileHandleRec* file, void* buffer, uint32_t count);
// Bytes written; 0 on failure. The position does not move.
uint32_t file_write(FileHandleRec* file, const void* buffer, uint32_t count);
// Reads at a position without moving the tracked position: bytes read,
// fewer only at the end of the file, 0 on failure.
uint32_t file_read_at(FileHandleRec* file, int64_t at, void* buffer, uint32_t count);
// Writes at a position with one system call; bytes written, 0 on failure.
// The tracked position stays, but the next read must seek first.
uint32_t file_write_at(FileHandleRec* file, int64_t at, const void* buffer, uint32_t count);
// Makes what was written durable; 0 on success.
int file_sync(FileHandleRec* file);
// Starts the write-back of what was written, without waiting for it.
void file_write_out_start(FileHandleRec* file);
// Reads the bytes only where the system has them all in its cache: count,
// or 0 when it does not (or cannot tell).
uint32_t file_read_at_cached(FileHandleRec* file, int64_t at, void* buffer, uint32_t count);
// Starts reading the bytes into the system's cache, without waiting.
void file_prefetch(FileHandleRec* file, int64_t at, uint64_t count);
// The size the file has now (`size` is the one it had at open); -1 when
// the system cannot tell.
int64_t file_size_now(const FileHandleRec* file);
// A piece of the file seen in place, without a copy (see OsFileView):
// `at` a multiple of file_view_alignment(), the piece within the file.
// False when the system will not map it: the caller reads instead.
typedef OsFileView FileView;
uint32_t file_view_alignment();
bool file_view_open(FileHandleRec* file, int64_t at, uint32_t length, FileView* view);
void file_view_close(FileView* view);
// Takes the lock of a run of the tool on the file, without waiting: 0, or 1
// while another run holds it.
int file_lock(FileHandleRec* file);
// Cuts the file to the length; 0 on success.
int file_truncate(FileHandleRec* file, int64_t length);
// 0 when the handle closed.
int file_close(FileHandleRec* file);
// 0 when the name is found (a directory too), 1 when it is not.
int file_exists(const char* name);
// 0 when the file was removed.
int file_remove(const char* name);
// 0 when `from` now bears the name `to`, in place of whatever bore it.
int file_rename_over(const char* from, const char* to);
// Whether two open handles reach one file, whatever names they were opened
// by; true also when the platform cannot tell, so that nothing is risked.
bool file_same(const FileHandleRec* a, const FileHandleRec* b);
// Whether the name itself (a link as a link) is the open file.
bool file_name_is(const char* name, const FileHandleRec* file);

// Memory that reads of a file go into, freed with its owner: a window or a
// walk's block.
struct FileBuffer {
    uint8_t* bytes = nullptr;
    size_t size = 0;
    FileBuffer() = default;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;
    ~FileBuffer() { os_buffer_delete(bytes, size); }
};
// Gives the buffer `size` bytes in place of what it held: false when there
// is no memory for them.
bool file_buffer_make(FileBuffer* buffer, size_t size);

// Joins two 32-bit halves; the low half never subtracts.
int64_t join_halves(uint32_t low, int32_t high);
