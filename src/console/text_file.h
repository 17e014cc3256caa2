// Text as the tool writes it, to its side files and (through the console
// module) to standard output: code page 932 bytes written exactly, every
// "\n" as CR LF, a lone "\r" as it is; and the printf-style formatting of
// every message.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fileio/fileio.h"

// printf-style formatting that also understands the 64-bit conversions
// "%I64d", "%12I64d", "%08I64x" (arguments long long) and writes "%#x" with
// its 0x prefix even for zero. Returns vsnprintf's result.
int text_format(char* out, size_t capacity, const char* format, ...);
int text_vformat(char* out, size_t capacity, const char* format, va_list args);
// The same into a text as long as the result needs: false when the format
// is not one it takes.
bool text_build(std::string* out, const char* format, va_list args);
std::string text_string(const char* format, ...);

// Copies n bytes into out with each "\n" turned into CR LF; out must have
// room for 2n bytes. Returns the bytes stored.
size_t crlf_expand(const char* text, size_t n, char* out);

// A text file written through the file layer, "\n" as CR LF. Lines gather
// in a block until a flush; a write that fails is remembered, so that the
// writer can stop, and cut back, so that the file never ends in half a line.
struct TextFileRec {
    FileHandleRec file;
    bool open;
    bool failed;
    int64_t flushed;  // bytes known to be in the file
    uint32_t pending_len;
    char pending[8192];
};

inline constexpr TextFileRec text_file_closed = {{os_invalid_handle, 0, 0}, false, false, 0, 0, {}};

// Creates a new file; an existing name (a link too) fails. 0 on success.
int text_file_create(TextFileRec* text, const char* name);
// Takes over a file opened through the file layer, for appending.
void text_file_attach(TextFileRec* text, const FileHandleRec* file);
// Adds formatted text. 0, or 1 once anything written to the file failed.
int text_file_print(TextFileRec* text, const char* format, ...);
// Writes out what has gathered. 0, or 1 when the file could not take it.
int text_file_flush(TextFileRec* text);
// Flushes and closes; 0 when everything reached the file (or nothing was
// open).
int text_file_close(TextFileRec* text);
