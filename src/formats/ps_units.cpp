#include "formats/ps_units.h"

#include <cstring>

#include "codecs/framing.h"

namespace {

uint8_t byte_or_zero(const uint8_t* bytes, uint32_t available, uint32_t index) {
    return index < available ? bytes[index] : 0;
}

uint32_t pack_header_length(const uint8_t* bytes, uint32_t available) {
    uint8_t first = byte_or_zero(bytes, available, 4);
    if ((first & 0xF0) == 0x20) return 12;  // MPEG-1
    if ((first & 0xC0) == 0x40) return 14 + (byte_or_zero(bytes, available, 13) & 7);
    return 14;
}

bool system_start_code(const uint8_t* bytes) {
    return start_code_at(bytes) && bytes[3] >= stream_id_program_end;
}

// The marker bits of the 12-byte MPEG-1 pack header: '0010', the clock's
// three markers, the mux rate's two.
bool mpeg1_pack_markers(const uint8_t* p) {
    return (p[4] & 0xF1) == 0x21 && (p[6] & 1) && (p[8] & 1) && (p[9] & 0x80) && (p[11] & 1);
}

// The MPEG-2 pack header: '01', the clock's four markers, the mux rate's two.
bool mpeg2_pack_markers(const uint8_t* p) {
    return (p[4] & 0xC4) == 0x44 && (p[6] & 4) && (p[8] & 4) && (p[9] & 1) && (p[12] & 3) == 3;
}

}  // namespace

bool ps_resync_point(const uint8_t* bytes, uint32_t available) {
    if (available < 16 || !system_start_code(bytes) || bytes[3] != stream_id_pack) return false;
    uint32_t length = 12;
    if (!mpeg1_pack_markers(bytes)) {
        if (!mpeg2_pack_markers(bytes)) return false;
        length = 14 + (bytes[13] & 7);
        for (uint32_t k = 14; k < length; ++k) {
            if (k >= available || bytes[k] != 0xFF) return false;
        }
    }
    return length + 4 <= available && system_start_code(bytes + length);
}

bool ps_unit_follows(const uint8_t* bytes, uint32_t available) {
    if (available < 4) return true;
    return system_start_code(bytes) || (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0);
}

PsUnit ps_unit_at(const uint8_t* bytes, uint32_t available) {
    // The first 14 bytes as a whole, zeros past the end.
    uint8_t head[14] = {};
    std::memcpy(head, bytes, available < sizeof head ? available : sizeof head);
    PsUnit unit = {ps_not_a_start_code, head[3], 0};
    if (!start_code_at(head)) return unit;
    if (unit.id == stream_id_pack) {
        unit.kind = ps_pack;
        unit.length = pack_header_length(head, sizeof head);
    } else if (unit.id < stream_id_program_end) {
        unit.kind = ps_stray_code;
        unit.length = 4;
    } else if (unit.id == stream_id_program_end) {
        unit.kind = ps_program_end;
        unit.length = 4;
    } else {
        unit.kind = ps_packet;
        unit.length = 6 + head[4] * 256u + head[5];
    }
    return unit;
}

uint32_t pes_payload_start(const uint8_t* pes, uint32_t available) {
    if ((byte_or_zero(pes, available, 6) & 0xC0) == 0x80) {
        return 9u + byte_or_zero(pes, available, 8);
    }
    uint32_t k = 6;
    while (k < available && pes[k] == 0xFF) ++k;
    if ((byte_or_zero(pes, available, k) & 0xC0) == 0x40) k += 2;
    uint8_t marker = byte_or_zero(pes, available, k);
    if ((marker & 0xF0) == 0x20) return k + 5;
    if ((marker & 0xF0) == 0x30) return k + 10;
    if (marker == 0x0F) return k + 1;
    return k;
}

bool pes_pts(const uint8_t* pes, uint32_t available, uint32_t* pts) {
    if (available < 14 || (pes[6] & 0xC0) != 0x80 || (pes[7] & 0x80) == 0) return false;
    // Bit 32 of the 33-bit stamp falls off the top.
    *pts = (static_cast<uint32_t>(pes[9] >> 1 & 7) << 30) | (static_cast<uint32_t>(pes[10]) << 22) |
           (static_cast<uint32_t>(pes[11] >> 1) << 15) | (static_cast<uint32_t>(pes[12]) << 7) |
           (pes[13] >> 1);
    return true;
}
