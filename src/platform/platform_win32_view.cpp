#include "platform/platform.h"
#include "platform/view_thread.h"

#include <windows.h>

namespace {

// Views start on the system's allocation granularity, 64 KiB on every
// Windows.
constexpr uint32_t allocation_granularity = 0x10000;

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
    uintptr_t at = record->ExceptionInformation[1];
    // A fault outside the thread's view goes on to the handlers after this one.
    OsFileView* view = thread_view_holding(at);
    bool reading = record->ExceptionInformation[0] == 0;
    if (view == nullptr || !reading || view->fault_at >= 0) return EXCEPTION_CONTINUE_SEARCH;
    uintptr_t base = reinterpret_cast<uintptr_t>(view->bytes);
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
    thread_view_take(view, bytes, length, offset);
    return true;
}

void os_file_view_close(OsFileView* view) {
    if (!thread_view_drop(view)) return;
    void* start = const_cast<uint8_t*>(view->bytes);
    if (view->fault_at >= 0) {
        VirtualFree(start, 0, MEM_RELEASE);
    } else {
        UnmapViewOfFile(start);
    }
    view->bytes = nullptr;
}
