// What the two systems' views share: the one view each thread reads
// through, by which a fault in the file's pages is told from any other.
#pragma once
#include <cstdint>

#include "platform/platform.h"

inline thread_local OsFileView* thread_view = nullptr;

// The view that a system has mapped becomes the thread's.
inline void thread_view_take(OsFileView* view, const void* bytes, uint32_t length, int64_t offset) {
    view->bytes = static_cast<const uint8_t*>(bytes);
    view->length = length;
    view->offset = offset;
    view->fault_at = -1;
    thread_view = view;
}

// The thread's view no longer; false when it was closed already.
inline bool thread_view_drop(OsFileView* view) {
    if (view->bytes == nullptr) return false;
    if (thread_view == view) thread_view = nullptr;
    return true;
}

// The thread's view when `at` lies within it, else null: a fault anywhere
// else is none of the views' business.
inline OsFileView* thread_view_holding(uintptr_t at) {
    OsFileView* view = thread_view;
    if (view == nullptr) return nullptr;
    uintptr_t base = reinterpret_cast<uintptr_t>(view->bytes);
    return at >= base && at < base + view->length ? view : nullptr;
}
