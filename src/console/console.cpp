#include "console/console.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

// Enough for nearly every message; a longer one (a long path in it) is
// built on the heap.
constexpr size_t line_capacity = 2048;
constexpr size_t block_size = 512;

struct ConsoleState {
    bool decided = false;
    bool terminal = false;
    char pending[block_size];
    size_t pending_len = 0;
    std::string* capture = nullptr;
};

ConsoleState console_state;

void console_decide() {
    ConsoleState& c = console_state;
    if (c.decided) return;
    c.terminal = os_stdout_prepare();
    c.decided = true;
}

void console_raw(const char* bytes, size_t n) {
    ConsoleState& c = console_state;
    if (c.capture != nullptr) {
        c.capture->append(bytes, n);
        return;
    }
    console_decide();
    if (c.terminal) {
        os_stdout_write(bytes, n);
        return;
    }
    while (n > 0) {
        size_t room = block_size - c.pending_len;
        size_t take = n < room ? n : room;
        std::memcpy(c.pending + c.pending_len, bytes, take);
        c.pending_len += take;
        bytes += take;
        n -= take;
        if (c.pending_len == block_size) console_flush();
    }
}

void console_vprint(const char* format, va_list args) {
    std::string text;
    if (text_build(&text, format, args)) console_text(text.c_str());
}

}  // namespace

void console_text(const char* text) {
    size_t n = std::strlen(text);
    char expanded[2 * line_capacity];
    while (n > 0) {
        size_t take = n < line_capacity ? n : line_capacity;
        console_raw(expanded, crlf_expand(text, take, expanded));
        text += take;
        n -= take;
    }
}

void console_print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    console_vprint(format, args);
    va_end(args);
}

void console_print_name(const char* format, const char* name, ...) {
    const char* at = format;
    while ((at = std::strchr(at, '%')) != nullptr && at[1] != 's') at += at[1] == '\0' ? 1 : 2;
    if (at == nullptr) return;
    // What comes before the name converts nothing.
    console_print(std::string(format, static_cast<size_t>(at - format)).c_str());
    ConsoleState& c = console_state;
    if (c.capture != nullptr) {
        c.capture->append(os_name_cp932(name));
    } else {
        console_decide();
        console_flush();
        os_stdout_write_name(name);
    }
    va_list args;
    va_start(args, name);
    console_vprint(at + 2, args);
    va_end(args);
}

void console_line(const char* text) {
    console_text(text);
    console_text("\n");
}

void console_flush() {
    ConsoleState& c = console_state;
    if (c.pending_len == 0) return;
    os_stdout_write(c.pending, c.pending_len);
    c.pending_len = 0;
}


void console_capture(std::string* into) {
    console_state.capture = into;
}

bool console_terminal() {
    console_decide();
    return console_state.terminal;
}
