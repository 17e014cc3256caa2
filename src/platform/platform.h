// The operating system, reduced to the few calls the tool needs. Everything
// else in the program is the same on Windows and POSIX systems; only this
// module includes <windows.h> or POSIX headers.
#pragma once
#include <cstddef>
#include <cstdint>

// A native file handle; -1 is invalid on both systems (INVALID_HANDLE_VALUE
// and a failed open() both come out as -1).
typedef intptr_t os_handle;
inline constexpr os_handle os_invalid_handle = -1;

// Access bits with the values of Windows' GENERIC_READ and GENERIC_WRITE.
inline constexpr uint32_t os_access_read = 0x80000000u;
inline constexpr uint32_t os_access_write = 0x40000000u;

// Seek origins with the values of FILE_BEGIN, FILE_CURRENT and FILE_END.
inline constexpr uint32_t os_origin_begin = 0;
inline constexpr uint32_t os_origin_current = 1;
inline constexpr uint32_t os_origin_end = 2;

// Whether the file system treats names that differ only in ASCII letter case
// as the same file.
extern const bool os_names_ignore_case;

// Opens an existing file, never creating or truncating it, and lets other
// handles read and write it meanwhile.
os_handle os_file_open(const char* name, uint32_t access);
// The size as two 32-bit halves: returns the low half, stores the high half.
uint32_t os_file_size(os_handle handle, uint32_t* high);
// Moves the file pointer by the distance given as halves (low, *high) from
// the origin. On success returns true with the new position's low half in
// *new_low and its high half in *high.
bool os_file_seek(os_handle handle, uint32_t low, int32_t* high, uint32_t origin,
                  uint32_t* new_low);
bool os_file_read(os_handle handle, void* buffer, uint32_t count, uint32_t* done);
bool os_file_write(os_handle handle, const void* buffer, uint32_t count, uint32_t* done);
// Returns non-zero on success, as CloseHandle does.
int os_file_close(os_handle handle);
// True when the name finds a file or directory.
bool os_name_exists(const char* name);

// A file's last-write time, opaque to the rest of the program.
struct OsFileTime {
    int64_t major;
    int64_t minor;
};
bool os_last_write_get(os_handle handle, OsFileTime* time);
bool os_last_write_set(os_handle handle, const OsFileTime* time);

void os_sleep_ms(uint32_t milliseconds);
// Milliseconds from an arbitrary start, wrapping at 2^32.
uint32_t os_tick_ms();

// Readies standard output for the program's writes (a reader that goes away
// must not end the run halfway through a file) and tells whether it is a
// terminal.
bool os_stdout_prepare();
void os_stdout_write(const char* bytes, size_t count);
