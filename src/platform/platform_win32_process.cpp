#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <new>
#include <string>

// The Win32 side of what is not a file: the standard output and the console
// text, buffers, the worker thread and the clock.

namespace {

// Standard output: a console takes Unicode, anything else the bytes.
struct StdoutState {
    HANDLE handle = NULL;  // none: nothing is written
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
        size_t length = IsDBCSLeadByteEx(os_text_code_page, static_cast<BYTE>(text[i])) ? 2 : 1;
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

// Text of the code page as UTF-16.
std::wstring wide_of(UINT code_page, const char* text, size_t count) {
    if (count == 0) return std::wstring();
    int length = MultiByteToWideChar(code_page, 0, text, static_cast<int>(count), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(code_page, 0, text, static_cast<int>(count), &wide[0], length);
    return wide;
}

}  // namespace

void os_standard_streams_secure() {
    // A handle that is not valid at the start could be handed to a file the
    // program opens later; it is never written to.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD flags = 0;
    stdout_state.handle = out != NULL && GetHandleInformation(out, &flags) ? out : NULL;
}

void os_sleep_ms(uint32_t milliseconds) {
    Sleep(milliseconds);
}

uint32_t os_tick_ms() {
    return GetTickCount();
}

bool os_stdout_prepare() {
    DWORD mode = 0;
    stdout_state.console = GetConsoleMode(stdout_state.handle, &mode) != 0;
    return stdout_state.console;
}

void os_stdout_write(const char* text, size_t count) {
    HANDLE out = stdout_state.handle;
    if (out == NULL) return;
    if (stdout_state.console) {
        write_console(out, text, count);
    } else {
        write_bytes(out, text, count);
    }
}

void os_stdout_write_utf8(const char* text, size_t count) {
    HANDLE out = stdout_state.handle;
    if (out == NULL) return;
    if (!stdout_state.console) {
        write_bytes(out, text, count);
        return;
    }
    std::wstring wide = wide_of(CP_UTF8, text, count);
    DWORD put = 0;
    if (!wide.empty()) WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &put, NULL);
}

void os_stdout_write_name(const char* name) {
    // A console takes the name as Unicode whatever its code page; a file or
    // a pipe gets code page 932, as every other text.
    if (stdout_state.console) {
        os_stdout_write_utf8(name, std::strlen(name));
    } else if (stdout_state.handle != NULL) {
        std::string text = os_name_cp932(name);
        write_bytes(stdout_state.handle, text.data(), text.size());
    }
}

std::string os_cp932_utf8(const char* text) {
    std::wstring wide = wide_of(os_text_code_page, text, std::strlen(text));
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string out(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], length, nullptr,
                            nullptr);
    }
    return out;
}

bool os_console_is_own() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void os_key_wait() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in == NULL || in == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) return;
    // Keys pressed during the run do not count.
    FlushConsoleInputBuffer(in);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(in, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
    }
}

int os_cp932_to_utf16(const char* text, int count, wchar_t* out, int capacity) {
    if (count == 0) return 0;
    return MultiByteToWideChar(os_text_code_page, 0, text, count, out, capacity);
}

uint8_t* os_buffer_new(size_t size) {
    return static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size > 0 ? size : 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void os_buffer_delete(uint8_t* buffer, size_t) {
    if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
}

// The two events hand the job over and back: each setting of one happens
// before the wait on it returns, so the record needs no lock of its own.
struct OsWorker {
    HANDLE thread;
    HANDLE posted;
    HANDLE finished;
    bool stopping;
    void (*job)(void* context);
    void* context;
};

namespace {

DWORD WINAPI worker_main(LPVOID context) {
    OsWorker* w = static_cast<OsWorker*>(context);
    for (;;) {
        WaitForSingleObject(w->posted, INFINITE);
        if (w->stopping) return 0;
        w->job(w->context);
        SetEvent(w->finished);
    }
}

}  // namespace

OsWorker* os_worker_start() {
    OsWorker* w = new (std::nothrow) OsWorker{};
    if (w == nullptr) return nullptr;
    w->posted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    w->finished = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (w->posted != nullptr && w->finished != nullptr) {
        w->thread = CreateThread(nullptr, 0, worker_main, w, 0, nullptr);
        if (w->thread != nullptr) return w;
    }
    if (w->posted != nullptr) CloseHandle(w->posted);
    if (w->finished != nullptr) CloseHandle(w->finished);
    delete w;
    return nullptr;
}

void os_worker_post(OsWorker* w, void (*job)(void* context), void* context) {
    w->job = job;
    w->context = context;
    SetEvent(w->posted);
}

void os_worker_wait(OsWorker* w) {
    WaitForSingleObject(w->finished, INFINITE);
}

bool os_worker_poll(OsWorker* w) {
    return WaitForSingleObject(w->finished, 0) == WAIT_OBJECT_0;
}

void os_worker_stop(OsWorker* w) {
    w->stopping = true;
    SetEvent(w->posted);
    WaitForSingleObject(w->thread, INFINITE);
    CloseHandle(w->thread);
    CloseHandle(w->posted);
    CloseHandle(w->finished);
    delete w;
}
