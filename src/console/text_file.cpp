#include "console/text_file.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Enough for nearly every message; a longer one is built on the heap.
constexpr size_t line_capacity = 2048;

// Rewrites a format for the C library: "I64" becomes "ll" and "%#x" becomes
// "0x%x" (the C library leaves the prefix off a zero).
bool translate_format(const char* format, char* out, size_t capacity) {
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 >= capacity) return false;
        out[n++] = c;
        return true;
    };
    for (const char* p = format; *p != '\0';) {
        if (*p != '%') {
            if (!put(*p++)) return false;
            continue;
        }
        const char* conversion_end = p + 1;
        while (*conversion_end != '\0' && std::strchr("-+ #0123456789.I6lh", *conversion_end) != nullptr) {
            ++conversion_end;
        }
        bool hash_hex = (*conversion_end == 'x' && std::memchr(p, '#', conversion_end - p) != nullptr);
        if (hash_hex && !(put('0') && put('x'))) return false;
        for (const char* q = p; q < conversion_end; ++q) {
            if (hash_hex && *q == '#') continue;
            if (q[0] == 'I' && q[1] == '6' && q[2] == '4') {
                if (!(put('l') && put('l'))) return false;
                q += 2;
                continue;
            }
            if (!put(*q)) return false;
        }
        if (*conversion_end != '\0' && !put(*conversion_end++)) return false;
        p = conversion_end;
    }
    out[n] = '\0';
    return true;
}

// Adds the text, "\n" as CR LF, flushing whenever the block is full.
int text_file_add(TextFileRec* text, const char* bytes, size_t length) {
    constexpr size_t piece = sizeof text->pending / 2;
    while (length > 0) {
        size_t take = length < piece ? length : piece;
        if (text->pending_len + 2 * take > sizeof text->pending && text_file_flush(text) != 0) {
            return 1;
        }
        text->pending_len += static_cast<uint32_t>(crlf_expand(bytes, take, text->pending + text->pending_len));
        bytes += take;
        length -= take;
    }
    return 0;
}

}  // namespace

int text_vformat(char* out, size_t capacity, const char* format, va_list args) {
    char translated[256];
    if (!translate_format(format, translated, sizeof translated)) {
        if (capacity > 0) out[0] = '\0';
        return -1;
    }
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    return std::vsnprintf(out, capacity, translated, args);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

int text_format(char* out, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = text_vformat(out, capacity, format, args);
    va_end(args);
    return n;
}

size_t crlf_expand(const char* text, size_t n, char* out) {
    size_t stored = 0;
    for (size_t i = 0; i < n; ++i) {
        if (text[i] == '\n') out[stored++] = '\r';
        out[stored++] = text[i];
    }
    return stored;
}

bool text_build(std::string* out, const char* format, va_list args) {
    char text[line_capacity];
    va_list again;
    va_copy(again, args);
    int n = text_vformat(text, sizeof text, format, args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof text) {
        out->assign(text, static_cast<size_t>(n));
    } else if (n >= 0) {
        out->assign(static_cast<size_t>(n) + 1, '\0');
        text_vformat(&(*out)[0], out->size(), format, again);
        out->resize(static_cast<size_t>(n));
    }
    va_end(again);
    return n >= 0;
}

std::string text_string(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    text_build(&text, format, args);
    va_end(args);
    return text;
}

int text_file_create(TextFileRec* text, const char* name) {
    FileHandleRec file = {os_invalid_handle, 0, 0};
    if (file_create(&file, name) != 0) return 1;
    text_file_attach(text, &file);
    return 0;
}

void text_file_attach(TextFileRec* text, const FileHandleRec* file) {
    *text = text_file_closed;
    text->file = *file;
    text->open = true;
    text->flushed = file_seek(&text->file, 0, file_end);
}

int text_file_print(TextFileRec* text, const char* format, ...) {
    std::string line;
    va_list args;
    va_start(args, format);
    if (!text_build(&line, format, args)) text->failed = true;
    va_end(args);
    if (text->failed) return 1;
    return text_file_add(text, line.c_str(), std::strlen(line.c_str()));
}

int text_file_flush(TextFileRec* text) {
    if (text->failed) return 1;
    if (text->pending_len == 0) return 0;
    if (file_write(&text->file, text->pending, text->pending_len) != text->pending_len) {
        // A write cut short by a full disk may have left part of a line.
        text->failed = true;
        file_truncate(&text->file, text->flushed);
        return 1;
    }
    text->flushed += text->pending_len;
    text->pending_len = 0;
    return 0;
}

int text_file_close(TextFileRec* text) {
    if (!text->open) return 0;
    int flushed = text_file_flush(text);
    int closed = file_close(&text->file);
    text->open = false;
    return flushed == 0 && closed == 0 ? 0 : 1;
}
