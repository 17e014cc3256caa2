#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT cp_japanese = 932;
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
    default:
        return os_open_failed_other;
    }
}

os_handle handle_of(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? os_invalid_handle : reinterpret_cast<os_handle>(h);
}

// Standard output: a console takes Unicode, anything else the bytes.
struct StdoutState {
    bool console = false;
    char carry = 0;
    bool carrying = false;
};

StdoutState stdout_state;

void write_bytes(HANDLE out, const char* bytes, size_t count) {
    while (count > 0) {
        DWORD put = 0;
        DWORD chunk = count > 0x10000 ? 0x10000 : static_cast<DWORD>(count);
        if (!WriteFile(out, bytes, chunk, &put, NULL) || put == 0) return;
        bytes += put;
        count -= put;
    }
}

// Length of the text's whole characters: a lead byte at the very end waits
// for its trail byte in the next call.
size_t whole_characters(const char* text, size_t count) {
    size_t i = 0;
    while (i < count) {
        size_t length = IsDBCSLeadByteEx(cp_japanese, static_cast<BYTE>(text[i])) ? 2 : 1;
        if (i + length > count) break;
        i += length;
    }
    return i;
}

void write_console(HANDLE out, const char* text, size_t count) {
    StdoutState& s = stdout_state;
    constexpr size_t piece = 1024;
    char joined[piece + 1];
    wchar_t wide[piece + 1];
    while (count > 0) {
        size_t held = s.carrying ? 1 : 0;
        joined[0] = s.carry;
        size_t take = count < piece ? count : piece;
        std::memcpy(joined + held, text, take);
        text += take;
        count -= take;
        size_t whole = whole_characters(joined, held + take);
        s.carrying = whole < held + take;
        s.carry = joined[whole];
        int units = os_cp932_to_utf16(joined, static_cast<int>(whole), wide, piece + 1);
        DWORD put = 0;
        if (units > 0) WriteConsoleW(out, wide, static_cast<DWORD>(units), &put, NULL);
    }
}

}  // namespace

os_handle os_file_open(const char* name, uint32_t access, OsOpenFailure* failure) {
    HANDLE h = CreateFileW(native_name(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) *failure = open_failure(GetLastError());
    return handle_of(h);
}

os_handle os_file_create(const char* name, bool must_be_new) {
    HANDLE h = CreateFileW(native_name(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           must_be_new ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
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

bool os_file_truncate(os_handle handle, int64_t length) {
    LONG high = static_cast<LONG>(static_cast<uint64_t>(length) >> 32);
    DWORD low = SetFilePointer(native(handle), static_cast<LONG>(length), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    return SetEndOfFile(native(handle)) != 0;
}

int os_file_close(os_handle handle) {
    return CloseHandle(native(handle)) ? 1 : 0;
}

bool os_file_remove(const char* name) {
    return DeleteFileW(native_name(name).c_str()) != 0;
}

bool os_file_id(os_handle handle, OsFileId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(native(handle), &info)) return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
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
    stdout_state.console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    return stdout_state.console;
}

void os_stdout_write(const char* text, size_t count) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (stdout_state.console) {
        write_console(out, text, count);
    } else {
        write_bytes(out, text, count);
    }
}

size_t os_name_to_cp932(const char* name, char* out, size_t capacity) {
    if (capacity == 0) return 0;
    std::wstring wide = utf8_to_wide(name);
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(cp_japanese, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                static_cast<int>(wide.size()), out,
                                static_cast<int>(capacity - 1), "?", &lossy);
    out[n > 0 ? n : 0] = '\0';
    return n > 0 ? static_cast<size_t>(n) : 0;
}

char** os_arguments_utf8(int argc, wchar_t** argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    for (int i = 0; i < argc; ++i) texts.push_back(wide_to_utf8(argv[i]));
    for (std::string& text : texts) pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    return pointers.data();
}

int os_cp932_to_utf16(const char* text, int count, wchar_t* out, int capacity) {
    if (count == 0) return 0;
    return MultiByteToWideChar(cp_japanese, 0, text, count, out, capacity);
}
