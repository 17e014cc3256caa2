// Measures the run of zero bytes at the end of a file, so that the tail
// window can end where the real data ends.
#pragma once
#include <cstdint>

// Stores the number of trailing zero bytes (the whole size for an all-zero
// file) in *count. Returns 0, or 1 when the file cannot be opened, a block
// cannot be allocated or a read delivers nothing (an empty file included).
int trailing_zero_count(const char* path, int64_t* count);
