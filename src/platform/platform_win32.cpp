#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Names this long reach the file system only as absolute paths with the
// \\?\ prefix, which lifts the MAX_PATH limit of 260 characters.
constexpr size_t plain_path_limit = 248;

HANDLE native(os_handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::wstring utf8_to_wide(const char* text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::string wide_to_utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], n, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n - 1));
    return utf8;
}

std::wstring native_name(const char* name) {
    std::wstring wide = utf8_to_wide(name);
    if (wide.size() < plain_path_limit || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

OsOpenFailure open_failure(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return os_open_failed_in_use;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return os_open_failed_refused;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return os_open_failed_missing;
    default:
        return os_open_failed_other;
    }
}

os_handle handle_of(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? os_invalid_handle : reinterpret_cast<os_handle>(h);
}

// Closes a file the open must not keep, and says why.
HANDLE open_refuse(HANDLE h, OsOpenFailure reason, OsOpenFailure* failure) {
    CloseHandle(h);
    *failure = reason;
    return INVALID_HANDLE_VALUE;
}

// Kept only when it is a file on a disk, not a pipe, a console or a device.
HANDLE disk_file_open(const char* name, DWORD access, DWORD flags, OsOpenFailure* failure) {
    HANDLE h = CreateFileW(native_name(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_EXISTING, flags, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        *failure = open_failure(GetLastError());
    } else if (GetFileType(h) != FILE_TYPE_DISK) {
        h = open_refuse(h, os_open_failed_not_file, failure);
    }
    return h;
}

}  // namespace

os_handle os_file_open(const char* name, uint32_t access, OsOpenFailure* failure) {
    return handle_of(disk_file_open(name, access, FILE_ATTRIBUTE_NORMAL, failure));
}

namespace {

// The file itself, not what a reparse point leads to; with its links
// counted when asked.
HANDLE own_file_open(const char* name, DWORD access, bool one_name, OsOpenFailure* failure) {
    HANDLE h = disk_file_open(name, access, FILE_FLAG_OPEN_REPARSE_POINT, failure);
    BY_HANDLE_FILE_INFORMATION info;
    if (h != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandle(h, &info) || (one_name && info.nNumberOfLinks > 1) ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        h = open_refuse(h, os_open_failed_linked, failure);
    }
    return h;
}

}  // namespace

os_handle os_file_open_no_link(const char* name, uint32_t access, OsOpenFailure* failure) {
    return handle_of(own_file_open(name, access, false, failure));
}

os_handle os_file_open_unlinked(const char* name, OsOpenFailure* failure) {
    return handle_of(own_file_open(name, GENERIC_READ | GENERIC_WRITE, true, failure));
}

os_handle os_file_create(const char* name) {
    HANDLE h = CreateFileW(native_name(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    return handle_of(h);
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

bool os_file_read_at(os_handle handle, void* buffer, uint32_t count, int64_t offset,
                     uint32_t* done) {
    uint32_t total = 0;
    while (total < count) {
        OVERLAPPED at = {};
        uint64_t from = static_cast<uint64_t>(offset) + total;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD got = 0;
        if (!ReadFile(native(handle), static_cast<char*>(buffer) + total, count - total, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return false;
        }
        if (got == 0) break;
        total += got;
    }
    *done = total;
    return true;
}


bool os_file_write_at(os_handle handle, const void* buffer, uint32_t count, int64_t offset,
                      uint32_t* done) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD put = 0;
    if (!WriteFile(native(handle), buffer, count, &put, &at)) return false;
    *done = put;
    return true;
}

bool os_file_sync(os_handle handle) {
    return FlushFileBuffers(native(handle)) != 0;
}

// Windows has no call that starts the write-back without waiting for it;
// its cache manager starts one within a second anyway.
void os_file_write_out_start(os_handle) {}

// Windows has neither call for a file's handle; its cache manager reads
// ahead on its own.
bool os_file_read_cached(os_handle, void*, uint32_t, int64_t) {
    return false;
}

void os_file_prefetch(os_handle, int64_t, uint64_t) {}

bool os_folder_sync(const char*) {
    return true;
}

bool os_file_lock(os_handle handle) {
    // One byte far past any end of file: a lock there keeps no reader or
    // writer of the file's bytes waiting.
    OVERLAPPED at = {};
    at.Offset = 0xFFFFFFFEu;
    at.OffsetHigh = 0x7FFFFFFFu;
    return LockFileEx(native(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &at) != 0;
}

bool os_file_truncate(os_handle handle, int64_t length) {
    LONG high = static_cast<LONG>(static_cast<uint64_t>(length) >> 32);
    DWORD low = SetFilePointer(native(handle), static_cast<LONG>(length), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    return SetEndOfFile(native(handle)) != 0;
}

bool os_file_close(os_handle handle) {
    return CloseHandle(native(handle)) != 0;
}

bool os_file_remove(const char* name) {
    return DeleteFileW(native_name(name).c_str()) != 0;
}

bool os_file_rename_over(const char* from, const char* to) {
    return MoveFileExW(native_name(from).c_str(), native_name(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool os_file_id(os_handle handle, OsFileId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(native(handle), &info)) return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

namespace {

// No access asked, so that a file held by another program answers too.
bool id_by_name(const char* name, DWORD flags, OsFileId* id) {
    HANDLE h = CreateFileW(native_name(name).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, flags | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool known = os_file_id(handle_of(h), id);
    CloseHandle(h);
    return known;
}

}  // namespace

bool os_name_id(const char* name, OsFileId* id) {
    return id_by_name(name, FILE_FLAG_OPEN_REPARSE_POINT, id);
}

bool os_name_file_id(const char* name, OsFileId* id) {
    return id_by_name(name, 0, id);
}

bool os_name_exists(const char* name) {
    // FindFirstFile takes a pattern: "*.mpg" would find a file that no open
    // of that name can reach.
    if (std::strpbrk(name, "*?") != nullptr) return false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(native_name(name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool os_name_is_folder(const char* name) {
    DWORD attributes = GetFileAttributesW(native_name(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool os_folder_list(const char* folder, void (*visit)(void* context, const char* entry),
                    void* context) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((native_name(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0) {
            visit(context, wide_to_utf8(found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

std::string os_name_resolve(const char* name) {
    size_t n = std::strlen(name);
    // A \\?\ name reaches the file system as it is; "." and ".." stay.
    bool literal = std::strncmp(name, "\\\\?\\", 4) == 0;
    // "VIDEO_TS\" names the folder, which a search by name would not find;
    // a drive's root keeps its separator.
    while (n > 1 && (name[n - 1] == '\\' || name[n - 1] == '/') && name[n - 2] != ':') --n;
    size_t component = n;
    while (component > 0 && name[component - 1] != '\\' && name[component - 1] != '/') --component;
    size_t end = n;
    while (!literal && end > component && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
    if (end == component) end = n;  // nothing but dots and spaces
    return std::string(name, end);
}

std::string os_link_target(const char* name) {
    return name;
}

bool os_names_match(const char* first, const char* second) {
    constexpr int longest = 1024;  // a name's code page 932 bytes, and more
    wchar_t a[longest];
    wchar_t b[longest];
    int na = MultiByteToWideChar(os_text_code_page, 0, first, -1, a, longest);
    int nb = MultiByteToWideChar(os_text_code_page, 0, second, -1, b, longest);
    if (na == 0 || nb == 0) return std::strcmp(first, second) == 0;
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

namespace {

// A FILETIME counts 100 ns ticks from 1601.
constexpr uint64_t ticks_per_second = 10000000;
constexpr int64_t seconds_1601_to_1970 = 11644473600;

}  // namespace

bool os_last_write_get(os_handle handle, OsFileTime* time) {
    FILETIME written;
    if (!GetFileTime(native(handle), NULL, NULL, &written)) return false;
    uint64_t ticks = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    time->seconds = static_cast<int64_t>(ticks / ticks_per_second) - seconds_1601_to_1970;
    time->nanoseconds = static_cast<int64_t>(ticks % ticks_per_second) * 100;
    return true;
}

bool os_last_write_set(os_handle handle, const OsFileTime* time) {
    uint64_t ticks = static_cast<uint64_t>(time->seconds + seconds_1601_to_1970) * ticks_per_second +
                     static_cast<uint64_t>(time->nanoseconds / 100);
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(ticks);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return SetFileTime(native(handle), NULL, NULL, &written) != 0;
}

std::string os_name_cp932(const char* name) {
    std::wstring wide = utf8_to_wide(name);
    if (wide.empty()) return std::string();
    BOOL lossy = FALSE;
    int units = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(os_text_code_page, WC_NO_BEST_FIT_CHARS, wide.c_str(), units, nullptr, 0,
                                "?", &lossy);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(os_text_code_page, WC_NO_BEST_FIT_CHARS, wide.c_str(), units, &out[0], n, "?", &lossy);
    return out;
}

char** os_arguments_utf8(int argc, wchar_t** argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    for (int i = 0; i < argc; ++i) texts.push_back(wide_to_utf8(argv[i]));
    for (std::string& text : texts) pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    return pointers.data();
}
