#include "platform/platform.h"

#include <windows.h>

namespace {

// Views start on the system's allocation granularity, 64 KiB on every
// Windows.
constexpr uint32_t allocation_granularity = 0x10000;

// The view this thread reads through: a fault inside it is the file's, and
// one anywhere else goes on to the handlers after this one.
thread_local OsFileView* thread_view = nullptr;

// A page of the view the file no longer holds (a disk or a network share
// that fails there, or a file cut shorter where the system lets it be):
// the view gives way to zeros of its size, which the instruction that
// faulted then reads, and notes where.
LONG CALLBACK view_fault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    DWORD code = record->ExceptionCode;
    if ((code != EXCEPTION_IN_PAGE_ERROR && code != EXCEPTION_ACCESS_VIOLATION) || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    OsFileView* view = thread_view;
    uintptr_t at = record->ExceptionInformation[1];
    uintptr_t base = view != nullptr ? reinterpret_cast<uintptr_t>(view->bytes) : 0;
    bool reading = record->ExceptionInformation[0] == 0;
    if (view == nullptr || !reading || view->fault_at >= 0 || at < base || at >= base + view->length) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    void* start = reinterpret_cast<void*>(base);
    if (!UnmapViewOfFile(start)) return EXCEPTION_CONTINUE_SEARCH;
    if (VirtualAlloc(start, view->length, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) != start) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    view->fault_at = view->offset + static_cast<int64_t>((at & ~static_cast<uintptr_t>(0xFFF)) - base);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

uint32_t os_view_alignment() {
    return allocation_granularity;
}

bool os_file_view_open(os_handle handle, int64_t offset, uint32_t length, OsFileView* view) {
    static const PVOID handler = AddVectoredExceptionHandler(1, view_fault);
    if (handler == nullptr || thread_view != nullptr || length == 0) return false;
    HANDLE mapping = CreateFileMappingW(reinterpret_cast<HANDLE>(handle), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return false;
    uint64_t at = static_cast<uint64_t>(offset);
    void* bytes = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(at >> 32), static_cast<DWORD>(at), length);
    // The view keeps the mapping for as long as it lasts.
    CloseHandle(mapping);
    if (bytes == nullptr) return false;
    view->bytes = static_cast<const uint8_t*>(bytes);
    view->length = length;
    view->offset = offset;
    view->fault_at = -1;
    thread_view = view;
    return true;
}

void os_file_view_close(OsFileView* view) {
    if (view->bytes == nullptr) return;
    if (thread_view == view) thread_view = nullptr;
    void* start = const_cast<uint8_t*>(view->bytes);
    if (view->fault_at >= 0) {
        VirtualFree(start, 0, MEM_RELEASE);
    } else {
        UnmapViewOfFile(start);
    }
    view->bytes = nullptr;
}
