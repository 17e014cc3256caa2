// The program stream's pack headers: the version their leading bits say,
// and the system clock reference the playing time is measured by.
#pragma once
#include <cstdint>

inline constexpr uint32_t start_code_pack = 0x000001BA;

struct PackHeaderInfo {
    int32_t version;  // 0 not yet known, 1 or 2
    uint32_t clock;   // low 32 bits of system_clock_reference_base
};

// bytes: the 5 bytes after 00 00 01 BA. Decides the version only while it is 0.
int pack_header_parse(PackHeaderInfo* pack, const uint8_t* bytes);
// The clock value for version 1 or 2; 1 for any other version.
uint32_t scr_parse(const uint8_t* bytes, int32_t version);
