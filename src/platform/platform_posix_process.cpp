#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <new>
#include <pthread.h>
#include <sanitizer/asan_interface.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

// The POSIX side of what is not a file: the standard streams and the console
// text, buffers, the worker thread and the clock.

namespace {

// Bytes of the character at `at` that the other side has no place for, by
// the rules of each side; a malformed one counts a byte at a time.
size_t cp932_length(const char* at, size_t left) {
    unsigned char lead = static_cast<unsigned char>(at[0]);
    bool double_byte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    return double_byte && left >= 2 ? 2 : 1;
}

size_t utf8_length(const char* at, size_t left) {
    unsigned char lead = static_cast<unsigned char>(at[0]);
    size_t declared = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < declared && n < left && (static_cast<unsigned char>(at[n]) & 0xC0) == 0x80) ++n;
    return n;
}

// Converts as much of the input as iconv can and stores it; an unconvertible
// character becomes '?', an incomplete one at the end stays in the input.
size_t convert(iconv_t cd, const char** in, size_t* in_left, char* out, size_t capacity,
               size_t (*char_length)(const char*, size_t)) {
    char* dst = out;
    size_t dst_left = capacity;
    while (*in_left > 0 && dst_left > 0) {
        char* src = const_cast<char*>(*in);
        size_t done = iconv(cd, &src, in_left, &dst, &dst_left);
        *in = src;
        if (done != static_cast<size_t>(-1) || errno == EINVAL || errno == E2BIG) break;
        // EILSEQ: a character the other side does not have.
        size_t skip = char_length(*in, *in_left);
        *in += skip;
        *in_left -= skip;
        *dst++ = '?';
        --dst_left;
    }
    return capacity - dst_left;
}

// Standard output: how it is written once os_stdout_prepare has looked.
struct StdoutState {
    iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);
    char carry[4];
    size_t carry_len = 0;
};

StdoutState stdout_state;

bool locale_is_utf8() {
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return false;
    const char* codeset = nl_langinfo_l(CODESET, locale);
    bool utf8 = strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0;
    freelocale(locale);
    return utf8;
}

void write_all(const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t put = write(STDOUT_FILENO, bytes, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // nowhere else to report it
        bytes += put;
        count -= static_cast<size_t>(put);
    }
}

}  // namespace

void os_standard_streams_secure() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one: the ones below are open.
        if (open("/dev/null", O_RDWR) != fd) _exit(1);
    }
}

namespace {

// A huge page: buffers take whole ones, aligned, so that each is one fault.
constexpr size_t huge_page = size_t{2} << 20;

size_t buffer_length(size_t size) {
    size_t pages = size == 0 ? 1 : (size + huge_page - 1) / huge_page;
    return pages * huge_page;
}

}  // namespace

uint8_t* os_buffer_new(size_t size) {
    size_t length = buffer_length(size);
    void* mapped = mmap(nullptr, length + huge_page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    uintptr_t aligned = (start + huge_page - 1) / huge_page * huge_page;
    if (aligned > start) munmap(mapped, aligned - start);
    size_t after = huge_page - (aligned - start);
    if (after > 0) munmap(reinterpret_cast<void*>(aligned + length), after);
#ifdef MADV_HUGEPAGE
    // Only advice: without huge pages the buffer works all the same.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
    // The sanitizer knows nothing of a mapping's bounds: the bytes past the
    // size asked for are marked, so that a read or write past the end shows.
    // (Without the sanitizer this is no code at all.)
    ASAN_POISON_MEMORY_REGION(reinterpret_cast<void*>(aligned + size), length - size);
    return reinterpret_cast<uint8_t*>(aligned);
}

void os_buffer_delete(uint8_t* buffer, size_t size) {
    if (buffer == nullptr) return;
    // A later mapping at the same place must not inherit the marks.
    size_t length = buffer_length(size);
    ASAN_UNPOISON_MEMORY_REGION(buffer, length);
    munmap(buffer, length);
}

struct OsWorker {
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t changed;
    bool posted;    // a job waits for the thread or is under way
    bool finished;  // it is done
    bool stopping;
    void (*job)(void* context);
    void* context;
};

namespace {

void* worker_main(void* context) {
    OsWorker* w = static_cast<OsWorker*>(context);
    pthread_mutex_lock(&w->lock);
    for (;;) {
        while (!w->posted && !w->stopping) pthread_cond_wait(&w->changed, &w->lock);
        if (w->stopping) break;
        pthread_mutex_unlock(&w->lock);
        w->job(w->context);
        pthread_mutex_lock(&w->lock);
        w->posted = false;
        w->finished = true;
        pthread_cond_broadcast(&w->changed);
    }
    pthread_mutex_unlock(&w->lock);
    return nullptr;
}

}  // namespace

OsWorker* os_worker_start() {
    OsWorker* w = new (std::nothrow) OsWorker{};
    if (w == nullptr) return nullptr;
    pthread_mutex_init(&w->lock, nullptr);
    pthread_cond_init(&w->changed, nullptr);
    if (pthread_create(&w->thread, nullptr, worker_main, w) != 0) {
        pthread_cond_destroy(&w->changed);
        pthread_mutex_destroy(&w->lock);
        delete w;
        return nullptr;
    }
    return w;
}

void os_worker_post(OsWorker* w, void (*job)(void* context), void* context) {
    pthread_mutex_lock(&w->lock);
    w->job = job;
    w->context = context;
    w->finished = false;
    w->posted = true;
    pthread_cond_broadcast(&w->changed);
    pthread_mutex_unlock(&w->lock);
}

void os_worker_wait(OsWorker* w) {
    pthread_mutex_lock(&w->lock);
    while (!w->finished) pthread_cond_wait(&w->changed, &w->lock);
    w->finished = false;
    pthread_mutex_unlock(&w->lock);
}

bool os_worker_poll(OsWorker* w) {
    pthread_mutex_lock(&w->lock);
    bool done = w->finished;
    w->finished = false;
    pthread_mutex_unlock(&w->lock);
    return done;
}

void os_worker_stop(OsWorker* w) {
    pthread_mutex_lock(&w->lock);
    w->stopping = true;
    pthread_cond_broadcast(&w->changed);
    pthread_mutex_unlock(&w->lock);
    pthread_join(w->thread, nullptr);
    pthread_cond_destroy(&w->changed);
    pthread_mutex_destroy(&w->lock);
    delete w;
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
    // process between two rewritten headers; a file size limit makes a
    // write fail instead of ending the process, so that the run can stop
    // cleanly.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    if (locale_is_utf8()) stdout_state.to_utf8 = iconv_open("UTF-8", "CP932");
    return isatty(STDOUT_FILENO) == 1;
}

void os_stdout_write(const char* text, size_t count) {
    StdoutState& s = stdout_state;
    if (s.to_utf8 == reinterpret_cast<iconv_t>(-1)) {
        write_all(text, count);
        return;
    }
    constexpr size_t piece = 1024;
    char joined[sizeof s.carry + piece];
    char converted[3 * sizeof joined];  // a CP932 byte becomes at most three
    while (count > 0) {
        // A lead byte left over from the last piece goes first.
        size_t take = count < piece ? count : piece;
        std::memcpy(joined, s.carry, s.carry_len);
        std::memcpy(joined + s.carry_len, text, take);
        const char* in = joined;
        size_t in_left = s.carry_len + take;
        text += take;
        count -= take;
        write_all(converted,
                  convert(s.to_utf8, &in, &in_left, converted, sizeof converted, cp932_length));
        s.carry_len = in_left < sizeof s.carry ? in_left : 0;
        std::memcpy(s.carry, in, s.carry_len);
    }
}

namespace {

// The text in another character set, each byte taking at most `growth`
// bytes there; a character cut at its end becomes '?', and so does one the
// other set cannot hold. Where the conversion cannot be had, the text.
std::string text_convert(const char* to, const char* from, const char* text, size_t growth,
                         size_t (*char_length)(const char*, size_t)) {
    size_t in_left = std::strlen(text);
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out(growth * in_left + 1, '\0');
    const char* in = text;
    size_t stored = convert(cd, &in, &in_left, &out[0], out.size(), char_length);
    if (in_left > 0) out[stored++] = '?';
    iconv_close(cd);
    out.resize(stored);
    return out;
}

}  // namespace

std::string os_name_cp932(const char* name) {
    // A UTF-8 character never takes more bytes in code page 932, nor does
    // the '?' that stands for one it cannot hold.
    return text_convert("CP932", "UTF-8", name, 1, utf8_length);
}

void os_stdout_write_name(const char* name) {
    // Bytes that are no UTF-8 character (a name from another system) are
    // passed over as '?' rather than handed to the terminal.
    bool utf8 = stdout_state.to_utf8 != reinterpret_cast<iconv_t>(-1);
    std::string shown = utf8 ? text_convert("UTF-8", "UTF-8", name, 1, utf8_length) : os_name_cp932(name);
    write_all(shown.data(), shown.size());
}

std::string os_cp932_utf8(const char* text) {
    return text_convert("UTF-8", "CP932", text, 3, cp932_length);
}

void os_stdout_write_utf8(const char* text, size_t count) {
    write_all(text, count);
}

bool os_console_is_own() {
    return false;
}

void os_key_wait() {}
