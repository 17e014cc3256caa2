// Standard output, where the command line's report writes every message:
// unbuffered on a terminal, otherwise gathered in 512-byte blocks.
#pragma once
#include <string>

#include "console/text_file.h"

// console_flush must run before the process ends.
void console_text(const char* text);
void console_print(const char* format, ...);
// A message whose first conversion is a %s that takes a name (a path, an
// argument as typed), in the encoding the console shows rather than in the
// messages' code page 932: the name as it is wherever the console can show
// its characters. While captured, the name is code page 932 as the text.
void console_print_name(const char* format, const char* name, ...);
// The text followed by a line break.
void console_line(const char* text);
void console_flush();

// While `into` is set, the text goes there (as the console would show it,
// "\n" as CR LF) instead of to standard output; null ends that.
void console_capture(std::string* into);
// Whether standard output is a terminal (on Windows, a console).
bool console_terminal();
