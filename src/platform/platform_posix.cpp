#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const bool os_names_ignore_case = false;

os_handle os_file_open(const char* name, uint32_t access) {
    int flags = (access & os_access_write) ? O_RDWR : O_RDONLY;
    int fd = open(name, flags);
    if (fd < 0) return os_invalid_handle;
    struct stat st;
    // A directory opens read-only on POSIX but never on Windows; refuse it
    // here so both systems answer alike.
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return os_invalid_handle;
    }
    return fd;
}

uint32_t os_file_size(os_handle handle, uint32_t* high) {
    struct stat st;
    if (fstat(static_cast<int>(handle), &st) != 0) {
        *high = 0xFFFFFFFFu;
        return 0xFFFFFFFFu;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    *high = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size);
}

bool os_file_seek(os_handle handle, uint32_t low, int32_t* high, uint32_t origin,
                  uint32_t* new_low) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin > os_origin_end) return false;
    uint64_t joined = (static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) | low;
    off_t result = lseek(static_cast<int>(handle), static_cast<off_t>(joined), whence[origin]);
    if (result < 0) return false;
    *new_low = static_cast<uint32_t>(result);
    *high = static_cast<int32_t>(static_cast<uint64_t>(result) >> 32);
    return true;
}

bool os_file_read(os_handle handle, void* buffer, uint32_t count, uint32_t* done) {
    // ReadFile on a disk file delivers the whole count unless the end comes
    // first; read() may stop short, so keep going until it does the same.
    uint32_t total = 0;
    while (total < count) {
        ssize_t got = read(static_cast<int>(handle), static_cast<char*>(buffer) + total,
                           count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
    }
    *done = total;
    return true;
}

bool os_file_write(os_handle handle, const void* buffer, uint32_t count, uint32_t* done) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t put = write(static_cast<int>(handle),
                            static_cast<const char*>(buffer) + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<uint32_t>(put);
    }
    *done = total;
    return true;
}

int os_file_close(os_handle handle) {
    return close(static_cast<int>(handle)) == 0 ? 1 : 0;
}

bool os_name_exists(const char* name) {
    struct stat st;
    return stat(name, &st) == 0;
}

bool os_last_write_get(os_handle handle, OsFileTime* time) {
    struct stat st;
    if (fstat(static_cast<int>(handle), &st) != 0) return false;
    time->major = static_cast<int64_t>(st.st_mtim.tv_sec);
    time->minor = static_cast<int64_t>(st.st_mtim.tv_nsec);
    return true;
}

bool os_last_write_set(os_handle handle, const OsFileTime* time) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the last-access time stays as it is
    times[1].tv_sec = static_cast<time_t>(time->major);
    times[1].tv_nsec = static_cast<long>(time->minor);
    return futimens(static_cast<int>(handle), times) == 0;
}

void os_sleep_ms(uint32_t milliseconds) {
    struct timespec wait;
    wait.tv_sec = milliseconds / 1000;
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

uint32_t os_tick_ms() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                  static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

bool os_stdout_prepare() {
    // Writes to a closed pipe then fail quietly instead of killing the
    // process between two rewritten headers.
    signal(SIGPIPE, SIG_IGN);
    return isatty(STDOUT_FILENO) == 1;
}

void os_stdout_write(const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t put = write(STDOUT_FILENO, bytes, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // nowhere else to report it
        bytes += put;
        count -= static_cast<size_t>(put);
    }
}
