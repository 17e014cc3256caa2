// Measures the run of zero bytes at the end of a file, so that the tail
// window can end where the real data ends.
#pragma once
#include <cstdint>

#include "fileio/fileio.h"

// Stores the number of trailing zero bytes of the open file (the whole size
// for an all-zero file) in *count. Returns 0, or 1 when a block cannot be
// allocated or a read delivers nothing (an empty file included).
int trailing_zero_count(FileHandleRec* file, int64_t* count);
