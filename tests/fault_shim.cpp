// Preloaded into the tool by the tests (LD_PRELOAD), this brings about the
// failures a user's machine has, at a set point:
// - a read of the video that reaches a set file offset fails, as at a bad
//   sector, or ends there, as when another program cuts the file shorter
//   during the run. Reads that begin past the offset are left alone, so that
//   the analysis's tail window still reads as it did before the run began.
//     MORVALEN_FAULT_AT     the offset; only files larger than it are touched
//     MORVALEN_FAULT_SHORT  when set, reads end at the offset instead of failing
//   A view of the file mapped over the offset reads, from the offset's page
//   on, as pages the file does not hold: they fault as at a bad sector or
//   past the end of a file cut shorter.
// - the process is killed (SIGKILL, as by a crash or a power cut) just before
//   its Nth positioned write (each writes one place of the video, or one
//   run of a place split across packets).
//     MORVALEN_KILL_AT_WRITE  N
// - a power cut at the Nth positioned write: what was never made durable is
//   thrown away first. Files appended to are cut back to their length at
//   their last sync (removed when never synced); the positioned writes since
//   the last sync are kept or, with MORVALEN_CUT_KEEP=synced, undone.
//     MORVALEN_CUT_AT_WRITE  N
// - the Nth positioned write is cut before its last byte and the process
//   killed, as by a power cut in the middle of the write.
//     MORVALEN_TEAR_AT_WRITE  N
// - the Nth positioned write fails with EIO, as on a disk that goes bad.
//     MORVALEN_FAIL_AT_WRITE  N
// - another program cuts the video shorter right after the Nth positioned
//   write, to a set length.
//     MORVALEN_TRUNCATE_AFTER_WRITE  N
//     MORVALEN_TRUNCATE_TO           the length
// - every write and sync of a regular file (but standard output and error)
//   is logged in order, one line each: "W path offset count", "S path".
//     MORVALEN_JOURNAL  the log's path
// - the process is killed just before the Nth time it sets a file's
//   last-write time (a run puts the video's back after its last change).
//     MORVALEN_KILL_AT_TIME  N
// - every wait (the 50 ms before each attempt to open a file that another
//   program holds) ends at once, so that a run gives up on a held file in
//   moments, not in 50 s.
//     MORVALEN_NO_WAIT  when set

// The C library's own names for the calls, whatever file offsets the rest of
// the build asks for: pwrite stays pwrite, and pwrite64 is caught on its own.
#undef _FILE_OFFSET_BITS

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

typedef ssize_t (*ReadCall)(int, void*, size_t);
typedef ssize_t (*PreadCall)(int, void*, size_t, off_t);
typedef ssize_t (*Pread64Call)(int, void*, size_t, off64_t);
typedef ssize_t (*PwriteCall)(int, const void*, size_t, off_t);
typedef ssize_t (*Pwrite64Call)(int, const void*, size_t, off64_t);
typedef ssize_t (*WriteCall)(int, const void*, size_t);
typedef int (*SyncCall)(int);
typedef void* (*MmapCall)(void*, size_t, int, int, int, off_t);
typedef void* (*Mmap64Call)(void*, size_t, int, int, int, off64_t);
typedef int (*NanosleepCall)(const struct timespec*, struct timespec*);
typedef int (*FutimensCall)(int, const struct timespec*);

// The tool writes from two threads (the walk's appends to the side files,
// the committer's syncs and changes): one call at a time through here, so
// that the bookkeeping stays whole and nothing is written between a power
// cut and the kill.
pthread_mutex_t shim_lock = PTHREAD_MUTEX_INITIALIZER;
struct ShimLock {
    ShimLock() { pthread_mutex_lock(&shim_lock); }
    ~ShimLock() { pthread_mutex_unlock(&shim_lock); }
};

WriteCall real_write() {
    static WriteCall real = reinterpret_cast<WriteCall>(dlsym(RTLD_NEXT, "write"));
    return real;
}

// A written file as the power cut sees it.
struct TrackedFile {
    char path[512];
    long long synced_length;  // -1: never synced
    bool appended;            // written by write(), not positioned writes
    int undo_count;           // positioned writes since the last sync
    long long undo_at[4096];
    unsigned char undo_byte[4096];
};
TrackedFile tracked[8];
int tracked_count = 0;

bool path_of(int fd, char* path, size_t capacity) {
    if (fd <= STDERR_FILENO) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, capacity - 1);
    if (n <= 0) return false;
    path[n] = '\0';
    return true;
}

TrackedFile* tracked_of(int fd) {
    char path[512];
    if (!path_of(fd, path, sizeof path)) return nullptr;
    for (int i = 0; i < tracked_count; ++i) {
        if (std::strcmp(tracked[i].path, path) == 0) return &tracked[i];
    }
    if (tracked_count == 8) return nullptr;
    TrackedFile* t = &tracked[tracked_count++];
    std::strcpy(t->path, path);
    t->synced_length = -1;
    return t;
}

void journal(const char* kind, int fd, long long offset, size_t count) {
    const char* log = std::getenv("MORVALEN_JOURNAL");
    char path[512];
    if (log == nullptr || !path_of(fd, path, sizeof path) || std::strcmp(path, log) == 0) return;
    char line[700];
    int n = kind[0] == 'S' ? std::snprintf(line, sizeof line, "S %s\n", path)
                           : std::snprintf(line, sizeof line, "W %s %lld %zu\n", path, offset, count);
    int out = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) return;
    real_write()(out, line, static_cast<size_t>(n));
    close(out);
}

void power_cut() {
    bool keep_all = std::getenv("MORVALEN_CUT_KEEP") == nullptr ||
                    std::strcmp(std::getenv("MORVALEN_CUT_KEEP"), "synced") != 0;
    for (int i = 0; i < tracked_count; ++i) {
        TrackedFile& t = tracked[i];
        if (t.appended && t.synced_length < 0) {
            unlink(t.path);
        } else if (t.appended) {
            truncate(t.path, t.synced_length);
        } else if (!keep_all) {
            int fd = open(t.path, O_WRONLY | O_CLOEXEC);
            // Not through this library's pwrite: the lock is held.
            static PwriteCall real = reinterpret_cast<PwriteCall>(dlsym(RTLD_NEXT, "pwrite"));
            for (int k = t.undo_count - 1; k >= 0; --k) real(fd, &t.undo_byte[k], 1, t.undo_at[k]);
            close(fd);
        }
    }
    kill(getpid(), SIGKILL);
}

// Before a positioned write: counted, and what it replaces kept for a
// power cut.
void positioned_write(int fd, long long offset, size_t count) {
    static long writes = 0;
    journal("W", fd, offset, count);
    const char* cut = std::getenv("MORVALEN_CUT_AT_WRITE");
    if (cut == nullptr) return;
    if (++writes == std::atol(cut)) power_cut();
    TrackedFile* t = tracked_of(fd);
    for (size_t k = 0; t != nullptr && k < count && t->undo_count < 4096; ++k) {
        long long at = offset + static_cast<long long>(k);
        if (pread(fd, &t->undo_byte[t->undo_count], 1, at) == 1) t->undo_at[t->undo_count++] = at;
    }
}

void synced(int fd) {
    journal("S", fd, 0, 0);
    TrackedFile* t = std::getenv("MORVALEN_CUT_AT_WRITE") != nullptr ? tracked_of(fd) : nullptr;
    if (t == nullptr) return;
    struct stat st;
    if (fstat(fd, &st) == 0) t->synced_length = st.st_size;
    t->undo_count = 0;
}

bool fault_offset(int fd, off_t* at) {
    const char* text = std::getenv("MORVALEN_FAULT_AT");
    if (text == nullptr) return false;
    *at = static_cast<off_t>(std::atoll(text));
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > *at;
}

long positioned_writes = 0;

// After a positioned write to fd: the file cut shorter where it is set to be.
void truncation_after(int fd) {
    const char* after = std::getenv("MORVALEN_TRUNCATE_AFTER_WRITE");
    const char* to = std::getenv("MORVALEN_TRUNCATE_TO");
    if (after != nullptr && to != nullptr && positioned_writes == std::atol(after)) {
        if (ftruncate(fd, static_cast<off_t>(std::atoll(to))) != 0) std::abort();
    }
}

// Before a positioned write: false when it is to fail.
bool write_allowed() {
    long writes = ++positioned_writes;
    const char* kill_at = std::getenv("MORVALEN_KILL_AT_WRITE");
    if (kill_at != nullptr && writes == std::atol(kill_at)) kill(getpid(), SIGKILL);
    const char* fail_at = std::getenv("MORVALEN_FAIL_AT_WRITE");
    if (fail_at == nullptr || writes != std::atol(fail_at)) return true;
    errno = EIO;
    return false;
}

// After write_allowed: when the write is the one to tear, all but its last
// byte are written and the process is killed.
template <typename Call, typename Offset>
void tear_if_due(Call real, int fd, const void* buffer, size_t count, Offset offset) {
    const char* tear_at = std::getenv("MORVALEN_TEAR_AT_WRITE");
    if (tear_at == nullptr || positioned_writes != std::atol(tear_at)) return;
    if (count > 1) real(fd, buffer, count - 1, offset);
    kill(getpid(), SIGKILL);
}

// A read of count bytes at pos that reaches the fault offset fails, or with
// MORVALEN_FAULT_SHORT ends there: false when it fails, else the count to
// read.
bool fault_read(int fd, off_t pos, size_t* count) {
    off_t at = 0;
    if (*count == 0 || pos < 0 || !fault_offset(fd, &at)) return true;
    if (pos > at || at >= pos + static_cast<off_t>(*count)) return true;
    if (std::getenv("MORVALEN_FAULT_SHORT") == nullptr) {
        errno = EIO;
        return false;
    }
    *count = static_cast<size_t>(at - pos);
    return true;
}

// The next mmap and mmap64 in line (a sanitizer's, or the C library's),
// found once the libraries are set up: a sanitizer's runtime maps memory
// before that, when a lookup would call into it half made, so until then
// the calls go straight to the system.
MmapCall next_mmap = nullptr;
Mmap64Call next_mmap64 = nullptr;

__attribute__((constructor)) void next_mmap_find() {
    next_mmap = reinterpret_cast<MmapCall>(dlsym(RTLD_NEXT, "mmap"));
    next_mmap64 = reinterpret_cast<Mmap64Call>(dlsym(RTLD_NEXT, "mmap64"));
}

void* system_mmap(void* address, size_t length, int protection, int flags, int fd, long long offset) {
#ifdef SYS_mmap2
    return reinterpret_cast<void*>(syscall(SYS_mmap2, address, length, protection, flags, fd, offset >> 12));
#else
    return reinterpret_cast<void*>(syscall(SYS_mmap, address, length, protection, flags, fd, offset));
#endif
}

// A view that reaches the fault offset: from the offset's page on, the
// pages of an empty file take the place of the file's.
void* fault_view(void* view, size_t length, int fd, long long offset) {
    off_t at = 0;
    if (view == MAP_FAILED || !fault_offset(fd, &at) || at < offset || at >= offset + static_cast<off_t>(length)) {
        return view;
    }
    off_t page = at & ~static_cast<off_t>(sysconf(_SC_PAGESIZE) - 1);
    size_t skip = static_cast<size_t>(page - offset);
    int empty = memfd_create("fault", MFD_CLOEXEC);
    if (empty < 0) return view;
    next_mmap(static_cast<char*>(view) + skip, length - skip, PROT_READ, MAP_SHARED | MAP_FIXED, empty, 0);
    close(empty);
    return view;
}

}  // namespace

extern "C" void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    if (next_mmap == nullptr) return system_mmap(address, length, protection, flags, fd, offset);
    return fault_view(next_mmap(address, length, protection, flags, fd, offset), length, fd, offset);
}

extern "C" void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
    if (next_mmap64 == nullptr) return system_mmap(address, length, protection, flags, fd, offset);
    return fault_view(next_mmap64(address, length, protection, flags, fd, offset), length, fd, offset);
}

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static ReadCall real = reinterpret_cast<ReadCall>(dlsym(RTLD_NEXT, "read"));
    if (!fault_read(fd, lseek(fd, 0, SEEK_CUR), &count)) return -1;
    return count == 0 ? 0 : real(fd, buffer, count);
}

// The walks read at positions, from a thread of their own.
extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    static PreadCall real = reinterpret_cast<PreadCall>(dlsym(RTLD_NEXT, "pread"));
    if (!fault_read(fd, offset, &count)) return -1;
    return count == 0 ? 0 : real(fd, buffer, count, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
    static Pread64Call real = reinterpret_cast<Pread64Call>(dlsym(RTLD_NEXT, "pread64"));
    if (!fault_read(fd, static_cast<off_t>(offset), &count)) return -1;
    return count == 0 ? 0 : real(fd, buffer, count, offset);
}

// A build with 64-bit file offsets calls pwrite64 under either name.
extern "C" ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    static PwriteCall real = reinterpret_cast<PwriteCall>(dlsym(RTLD_NEXT, "pwrite"));
    ShimLock lock;
    if (!write_allowed()) return -1;
    tear_if_due(real, fd, buffer, count, offset);
    positioned_write(fd, offset, count);
    ssize_t written = real(fd, buffer, count, offset);
    truncation_after(fd);
    return written;
}

extern "C" ssize_t pwrite64(int fd, const void* buffer, size_t count, off64_t offset) {
    static Pwrite64Call real = reinterpret_cast<Pwrite64Call>(dlsym(RTLD_NEXT, "pwrite64"));
    ShimLock lock;
    if (!write_allowed()) return -1;
    tear_if_due(real, fd, buffer, count, offset);
    positioned_write(fd, offset, count);
    ssize_t written = real(fd, buffer, count, offset);
    truncation_after(fd);
    return written;
}

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
    ShimLock lock;
    if (fd > STDERR_FILENO) {
        off_t at = lseek(fd, 0, SEEK_CUR);
        journal("W", fd, at, count);
        TrackedFile* t = std::getenv("MORVALEN_CUT_AT_WRITE") != nullptr ? tracked_of(fd) : nullptr;
        if (t != nullptr) t->appended = true;
    }
    return real_write()(fd, buffer, count);
}

extern "C" int fdatasync(int fd) {
    static SyncCall real = reinterpret_cast<SyncCall>(dlsym(RTLD_NEXT, "fdatasync"));
    ShimLock lock;
    int result = real(fd);
    if (result == 0) synced(fd);
    return result;
}

extern "C" int fsync(int fd) {
    static SyncCall real = reinterpret_cast<SyncCall>(dlsym(RTLD_NEXT, "fsync"));
    ShimLock lock;
    int result = real(fd);
    if (result == 0) synced(fd);
    return result;
}

extern "C" int nanosleep(const struct timespec* wait, struct timespec* left) {
    static NanosleepCall real = reinterpret_cast<NanosleepCall>(dlsym(RTLD_NEXT, "nanosleep"));
    if (std::getenv("MORVALEN_NO_WAIT") != nullptr) return 0;
    return real(wait, left);
}

extern "C" int futimens(int fd, const struct timespec* times) {
    static FutimensCall real = reinterpret_cast<FutimensCall>(dlsym(RTLD_NEXT, "futimens"));
    static long settings = 0;
    const char* kill_at = std::getenv("MORVALEN_KILL_AT_TIME");
    if (kill_at != nullptr && ++settings == std::atol(kill_at)) kill(getpid(), SIGKILL);
    return real(fd, times);
}
