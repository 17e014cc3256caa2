// Standard output, where the command line's report writes every message:
// unbuffered on a terminal, otherwise gathered in 512-byte blocks.
#pragma once
#include <string>

#include "console/text_file.h"

// console_flush must run before the process ends.
void console_text(const char* text);
void console_print(const char* format, ...);
// The text followed by a line break.
void console_line(const char* text);
void console_flush();

// While `into` is set, the text goes there (as the console would show it,
// "\n" as CR LF) instead of to standard output; null ends that.
void console_capture(std::string* into);
// Whether standard output is a terminal (on Windows, a console).
bool console_terminal();
