// Text output: the console and the two side files. Texts are code page 932
// bytes written exactly; every "\n" goes out as CR LF, a lone "\r" as it is.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdio>

// printf-style formatting that also understands the 64-bit conversions
// "%I64d", "%12I64d", "%08I64x" (arguments long long) and writes "%#x" with
// its 0x prefix even for zero. Returns vsnprintf's result.
int text_format(char* out, size_t capacity, const char* format, ...);
int text_vformat(char* out, size_t capacity, const char* format, va_list args);

// Copies n bytes into out with each "\n" turned into CR LF; out must have
// room for 2n bytes. Returns the bytes stored.
size_t crlf_expand(const char* text, size_t n, char* out);

// Standard output: unbuffered on a terminal, otherwise gathered in 512-byte
// blocks. console_flush must run before the process ends.
void console_text(const char* text);
void console_print(const char* format, ...);
// The text followed by a line break.
void console_line(const char* text);
void console_flush();

// Appends formatted text to a file opened in binary mode, "\n" as CR LF.
// Write errors are not reported: nothing reads these files back.
void text_file_print(std::FILE* file, const char* format, ...);
