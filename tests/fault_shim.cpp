// Preloaded into the tool by the tests (LD_PRELOAD), this brings about the
// failures a user's machine has, at a set point:
// - a read of the video that reaches a set file offset fails, as at a bad
//   sector, or ends there, as when another program cuts the file shorter
//   during the run. Reads that begin past the offset are left alone, so that
//   the analysis's tail window still reads as it did before the run began.
//     MORVALEN_FAULT_AT     the offset; only files larger than it are touched
//     MORVALEN_FAULT_SHORT  when set, reads end at the offset instead of failing
// - the process is killed (SIGKILL, as by a crash or a power cut) just before
//   its Nth positioned write, which is the Nth byte written to the video.
//     MORVALEN_KILL_AT_WRITE  N

// The C library's own names for the calls, whatever file offsets the rest of
// the build asks for: pwrite stays pwrite, and pwrite64 is caught on its own.
#undef _FILE_OFFSET_BITS

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace {

typedef ssize_t (*ReadCall)(int, void*, size_t);
typedef ssize_t (*PwriteCall)(int, const void*, size_t, off_t);
typedef ssize_t (*Pwrite64Call)(int, const void*, size_t, off64_t);

bool fault_offset(int fd, off_t* at) {
    const char* text = std::getenv("MORVALEN_FAULT_AT");
    if (text == nullptr) return false;
    *at = static_cast<off_t>(std::atoll(text));
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > *at;
}

void kill_at_write() {
    static long writes = 0;
    const char* text = std::getenv("MORVALEN_KILL_AT_WRITE");
    if (text != nullptr && ++writes == std::atol(text)) kill(getpid(), SIGKILL);
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static ReadCall real = reinterpret_cast<ReadCall>(dlsym(RTLD_NEXT, "read"));
    off_t at = 0;
    off_t pos = lseek(fd, 0, SEEK_CUR);
    if (count > 0 && pos >= 0 && fault_offset(fd, &at)) {
        if (pos <= at && at < pos + static_cast<off_t>(count)) {
            if (std::getenv("MORVALEN_FAULT_SHORT") == nullptr) {
                errno = EIO;
                return -1;
            }
            count = static_cast<size_t>(at - pos);
            if (count == 0) return 0;
        }
    }
    return real(fd, buffer, count);
}

// A build with 64-bit file offsets calls pwrite64 under either name.
extern "C" ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    static PwriteCall real = reinterpret_cast<PwriteCall>(dlsym(RTLD_NEXT, "pwrite"));
    kill_at_write();
    return real(fd, buffer, count, offset);
}

extern "C" ssize_t pwrite64(int fd, const void* buffer, size_t count, off64_t offset) {
    static Pwrite64Call real = reinterpret_cast<Pwrite64Call>(dlsym(RTLD_NEXT, "pwrite64"));
    kill_at_write();
    return real(fd, buffer, count, offset);
}
