// The lines of one file's run: what it says of its file before the walk,
// why it stops there or has nothing to do, and the closing lines of how its
// walk ended.
#pragma once
#include <cstdint>

#include "notices/notice.h"

// Prints the notice where it is one of a file's run: false otherwise.
bool run_notice_report(const Notice* notice);

// The message of a result, or null where it has none of its own.
const char* result_message(int64_t result);
