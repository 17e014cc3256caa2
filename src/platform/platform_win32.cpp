#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

const bool os_names_ignore_case = true;

static HANDLE native(os_handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

os_handle os_file_open(const char* name, uint32_t access) {
    HANDLE h = CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return os_invalid_handle;
    return reinterpret_cast<os_handle>(h);
}

uint32_t os_file_size(os_handle handle, uint32_t* high) {
    DWORD high_half = 0;
    DWORD low_half = GetFileSize(native(handle), &high_half);
    *high = high_half;
    return low_half;
}

bool os_file_seek(os_handle handle, uint32_t low, int32_t* high, uint32_t origin,
                  uint32_t* new_low) {
    LONG high_half = *high;
    DWORD result = SetFilePointer(native(handle), static_cast<LONG>(low), &high_half, origin);
    if (result == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    *new_low = result;
    *high = high_half;
    return true;
}

bool os_file_read(os_handle handle, void* buffer, uint32_t count, uint32_t* done) {
    DWORD got = 0;
    if (!ReadFile(native(handle), buffer, count, &got, NULL)) return false;
    *done = got;
    return true;
}

bool os_file_write(os_handle handle, const void* buffer, uint32_t count, uint32_t* done) {
    DWORD put = 0;
    if (!WriteFile(native(handle), buffer, count, &put, NULL)) return false;
    *done = put;
    return true;
}

int os_file_close(os_handle handle) {
    return CloseHandle(native(handle)) ? 1 : 0;
}

bool os_name_exists(const char* name) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(name, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool os_last_write_get(os_handle handle, OsFileTime* time) {
    FILETIME written;
    if (!GetFileTime(native(handle), NULL, NULL, &written)) return false;
    time->major = static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) |
                                       written.dwLowDateTime);
    time->minor = 0;
    return true;
}

bool os_last_write_set(os_handle handle, const OsFileTime* time) {
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(time->major));
    written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(time->major) >> 32);
    return SetFileTime(native(handle), NULL, NULL, &written) != 0;
}

void os_sleep_ms(uint32_t milliseconds) {
    Sleep(milliseconds);
}

uint32_t os_tick_ms() {
    return GetTickCount();
}

bool os_stdout_prepare() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void os_stdout_write(const char* bytes, size_t count) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (count > 0) {
        DWORD put = 0;
        DWORD chunk = count > 0x10000 ? 0x10000 : static_cast<DWORD>(count);
        if (!WriteFile(out, bytes, chunk, &put, NULL) || put == 0) return;
        bytes += put;
        count -= put;
    }
}
