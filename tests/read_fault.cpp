// Preloaded into the tool by the tests (LD_PRELOAD), this makes a read of
// the video that reaches a set file offset fail, as at a bad sector, or end
// there, as when another program cuts the file shorter during the run.
// Reads that begin past the offset are left alone, so that the analysis's
// tail window still reads as it did before the run began.
//   MORVALEN_FAULT_AT     the offset; only files larger than it are touched
//   MORVALEN_FAULT_SHORT  when set, reads end at the offset instead of failing
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

typedef ssize_t (*ReadCall)(int, void*, size_t);

bool fault_offset(int fd, off_t* at) {
    const char* text = std::getenv("MORVALEN_FAULT_AT");
    if (text == nullptr) return false;
    *at = static_cast<off_t>(std::atoll(text));
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > *at;
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
