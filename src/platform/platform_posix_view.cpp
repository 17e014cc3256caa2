#include "platform/platform.h"
#include "platform/view_thread.h"

#include <csignal>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A fault outside the thread's view is left to whoever handled it before.
struct sigaction earlier_bus_action;
// Read once before the handler is installed, so that the handler asks the
// system nothing that a signal handler may not.
uintptr_t page_size = 0;

uintptr_t page_floor(uintptr_t address) {
    return address & ~(page_size - 1);
}

// A page of the view the file no longer holds (cut shorter since it was
// mapped, or unreadable on the disk): it and the rest of the view become
// zeros, which the instruction that faulted then reads, and the view
// notes where. Only calls that a signal handler may make.
void view_fault(int, siginfo_t* info, void*) {
    uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    OsFileView* view = thread_view_holding(at);
    if (view != nullptr) {
        uintptr_t base = reinterpret_cast<uintptr_t>(view->bytes);
        uintptr_t from = page_floor(at);
        size_t rest = base + view->length - from;
        void* zeros = mmap(reinterpret_cast<void*>(from), rest, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            int64_t pos = view->offset + static_cast<int64_t>(from - base);
            if (view->fault_at < 0 || pos < view->fault_at) view->fault_at = pos;
            return;
        }
    }
    // Not the file's: the instruction faults again, and is handled as it
    // would have been without views.
    sigaction(SIGBUS, &earlier_bus_action, nullptr);
}

bool view_fault_handler_install() {
    page_size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = view_fault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &earlier_bus_action) == 0;
}

}  // namespace

uint32_t os_view_alignment() {
    return static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
}

// A 32-bit POSIX build reads instead. Such code runs here only under
// qemu-user, which delivers the fault of a mapped page imprecisely (a page
// late, and the second time without the thread's own storage), so the way
// back from a file cut shorter cannot be tried there, and is not taken.
constexpr bool views_taken = sizeof(void*) >= 8;

bool os_file_view_open(os_handle handle, int64_t offset, uint32_t length, OsFileView* view) {
    if (!views_taken) return false;
    static const bool handled = view_fault_handler_install();
    if (!handled || thread_view != nullptr || length == 0) return false;
    void* bytes = mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(handle), static_cast<off_t>(offset));
    if (bytes == MAP_FAILED) return false;
    thread_view_take(view, bytes, length, offset);
    return true;
}

void os_file_view_close(OsFileView* view) {
    if (!thread_view_drop(view)) return;
    munmap(const_cast<uint8_t*>(view->bytes), view->length);
    view->bytes = nullptr;
}
