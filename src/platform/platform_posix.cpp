#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "file positions past 2 GiB need 64-bit off_t");

namespace {

int fd_of(os_handle handle) {
    return static_cast<int>(handle);
}

OsOpenFailure open_failure(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return os_open_failed_refused;
    case ETXTBSY:
    case EBUSY:
    case EAGAIN:
        return os_open_failed_in_use;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return os_open_failed_missing;
    default:
        return os_open_failed_other;
    }
}

}  // namespace

namespace {

// Opened without waiting (a FIFO would wait for its other end), and kept
// only when it is a regular file.
int regular_file_open(const char* name, int flags, OsOpenFailure* failure, struct stat* st) {
    int fd = open(name, flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *failure = errno == ELOOP && (flags & O_NOFOLLOW) ? os_open_failed_linked
                                                          : open_failure(errno);
        return -1;
    }
    // A directory opens read-only on POSIX but never on Windows; refuse it
    // here so both systems answer alike.
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        *failure = S_ISDIR(st->st_mode) ? os_open_failed_refused : os_open_failed_not_file;
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

os_handle os_file_open(const char* name, uint32_t access, OsOpenFailure* failure) {
    struct stat st;
    int fd = regular_file_open(name, (access & os_access_write) ? O_RDWR : O_RDONLY, failure, &st);
    if (fd < 0) return os_invalid_handle;
    // The walks read the file from front to back: the system's read-ahead
    // reaches further from a disk when it knows.
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

os_handle os_file_open_no_link(const char* name, uint32_t access, OsOpenFailure* failure) {
    struct stat st;
    int flags = (access & os_access_write) ? O_RDWR : O_RDONLY;
    int fd = regular_file_open(name, flags | O_NOFOLLOW, failure, &st);
    return fd < 0 ? os_invalid_handle : fd;
}

os_handle os_file_open_unlinked(const char* name, OsOpenFailure* failure) {
    struct stat st;
    int fd = regular_file_open(name, O_RDWR | O_NOFOLLOW, failure, &st);
    if (fd >= 0 && st.st_nlink > 1) {
        close(fd);
        *failure = os_open_failed_linked;
        return os_invalid_handle;
    }
    return fd < 0 ? os_invalid_handle : fd;
}

os_handle os_file_create(const char* name) {
    int fd = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd < 0 ? os_invalid_handle : fd;
}

uint32_t os_file_size(os_handle handle, uint32_t* high) {
    struct stat st;
    if (fstat(fd_of(handle), &st) != 0) {
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
    off_t result = lseek(fd_of(handle), static_cast<off_t>(joined), whence[origin]);
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
        ssize_t got = read(fd_of(handle), static_cast<char*>(buffer) + total, count - total);
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
        ssize_t put = write(fd_of(handle), static_cast<const char*>(buffer) + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<uint32_t>(put);
    }
    *done = total;
    return true;
}

bool os_file_read_at(os_handle handle, void* buffer, uint32_t count, int64_t offset,
                     uint32_t* done) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t got = pread(fd_of(handle), static_cast<char*>(buffer) + total, count - total,
                            static_cast<off_t>(offset + total));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
    }
    *done = total;
    return true;
}

bool os_file_write_at(os_handle handle, const void* buffer, uint32_t count, int64_t offset,
                      uint32_t* done) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t put = pwrite(fd_of(handle), static_cast<const char*>(buffer) + total,
                             count - total, static_cast<off_t>(offset + total));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<uint32_t>(put);
    }
    *done = total;
    return true;
}

bool os_file_sync(os_handle handle) {
    return fdatasync(fd_of(handle)) == 0;
}

void os_file_write_out_start(os_handle handle) {
#ifdef SYNC_FILE_RANGE_WRITE
    // Length 0: to the end of the file. A failure here shows again, and is
    // reported, at the sync.
    sync_file_range(fd_of(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)handle;
#endif
}

bool os_file_read_cached(os_handle handle, void* buffer, uint32_t count, int64_t offset) {
#ifdef RWF_NOWAIT
    struct iovec piece = {buffer, count};
    return preadv2(fd_of(handle), &piece, 1, static_cast<off_t>(offset), RWF_NOWAIT) == static_cast<ssize_t>(count);
#else
    (void)handle, (void)buffer, (void)count, (void)offset;
    return false;
#endif
}

void os_file_prefetch(os_handle handle, int64_t offset, uint64_t length) {
    posix_fadvise(fd_of(handle), static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_WILLNEED);
}

bool os_folder_sync(const char* file_name) {
    const char* slash = std::strrchr(file_name, '/');
    std::string folder = slash == nullptr ? std::string(".") : std::string(file_name, slash + 1);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

bool os_file_lock(os_handle handle) {
    // flock belongs to the open file, not the process, and is advisory:
    // players and editors never see it.
    for (;;) {
        if (flock(fd_of(handle), LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EINTR) return false;
    }
}

bool os_file_truncate(os_handle handle, int64_t length) {
    return ftruncate(fd_of(handle), static_cast<off_t>(length)) == 0;
}

bool os_file_close(os_handle handle) {
    return close(fd_of(handle)) == 0;
}

bool os_file_remove(const char* name) {
    return unlink(name) == 0;
}

bool os_file_rename_over(const char* from, const char* to) {
    return rename(from, to) == 0;
}

namespace {

bool id_of(int looked, const struct stat& st, OsFileId* id) {
    if (looked != 0) return false;
    id->volume = static_cast<uint64_t>(st.st_dev);
    id->index = static_cast<uint64_t>(st.st_ino);
    return true;
}

}  // namespace

bool os_file_id(os_handle handle, OsFileId* id) {
    struct stat st;
    return id_of(fstat(fd_of(handle), &st), st, id);
}

bool os_name_id(const char* name, OsFileId* id) {
    struct stat st;
    return id_of(lstat(name, &st), st, id);
}

bool os_name_file_id(const char* name, OsFileId* id) {
    struct stat st;
    return id_of(stat(name, &st), st, id);
}


bool os_name_exists(const char* name) {
    struct stat st;
    return stat(name, &st) == 0;
}

bool os_name_is_folder(const char* name) {
    struct stat st;
    return stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

bool os_folder_list(const char* folder, void (*visit)(void* context, const char* entry),
                    void* context) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) return false;
    while (const struct dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            visit(context, entry->d_name);
        }
    }
    closedir(dir);
    return true;
}

std::string os_name_resolve(const char* name) {
    return name;
}

std::string os_link_target(const char* name) {
    std::string path = name;
    // As many links as the system itself follows before it gives up.
    for (int links = 0; links < 40; ++links) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) return name;
        if (!S_ISLNK(st.st_mode)) return path;
        // Some file systems give a link no size: a path's room then.
        std::string target(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096, '\0');
        ssize_t n = readlink(path.c_str(), &target[0], target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return name;
        target.resize(static_cast<size_t>(n));
        size_t folder_end = path.rfind('/');
        bool relative = target[0] != '/' && folder_end != std::string::npos;
        path = relative ? path.substr(0, folder_end + 1) + target : target;
    }
    return name;
}

bool os_names_match(const char* first, const char* second) {
    return std::strcmp(first, second) == 0;
}

bool os_last_write_get(os_handle handle, OsFileTime* time) {
    struct stat st;
    if (fstat(fd_of(handle), &st) != 0) return false;
    time->seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    time->nanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
    return true;
}

bool os_last_write_set(os_handle handle, const OsFileTime* time) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the last-access time stays as it is
    times[1].tv_sec = static_cast<time_t>(time->seconds);
    times[1].tv_nsec = static_cast<long>(time->nanoseconds);
    return futimens(fd_of(handle), times) == 0;
}
