// Small hand-made streams for the tests: sequence headers, program stream
// packs and packets, transport stream packets and tables. Encoder-made
// streams are in data/; these place bytes where a test needs them.
#pragma once
#include <cstdint>

#include "support.h"

inline Bytes sequence_header(uint32_t width, uint32_t height, uint8_t aspect, uint8_t rate) {
    return {0,
            0,
            1,
            0xB3,
            static_cast<uint8_t>(width >> 4),
            static_cast<uint8_t>(((width & 0xF) << 4) | (height >> 8)),
            static_cast<uint8_t>(height),
            static_cast<uint8_t>((aspect << 4) | rate),
            0x17,
            0xED,
            0x23,
            0x80};
}

inline const Bytes ntsc_4x3 = sequence_header(720, 480, 2, 4);
inline const Bytes ntsc_16x9 = sequence_header(720, 480, 3, 4);
inline const Bytes sequence_extension = {0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00};
inline const Bytes gop_header = {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x00};

inline Bytes pack_mpeg2(uint8_t stuffing = 0) {
    Bytes p = {0, 0, 1, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3,
               static_cast<uint8_t>(0xF8 | stuffing)};
    return p + Bytes(stuffing, 0xFF);
}

inline const Bytes pack_mpeg1 = {0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91};

inline Bytes packet(uint8_t id, const Bytes& header, const Bytes& payload) {
    size_t length = header.size() + payload.size();
    Bytes p = {0, 0, 1, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    return p + header + payload;
}

// An MPEG-2 PES packet with a PTS.
inline Bytes pes2(uint8_t id, const Bytes& payload) {
    return packet(id, {0x81, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01}, payload);
}

inline Bytes filler(size_t n) {
    return Bytes(n, 0x55);
}

// A transport stream packet of 188 bytes: the payload is padded in front
// by an adaptation field of stuffing bytes (carrying a PCR when asked).
inline Bytes ts_packet(uint16_t pid, bool unit_start, uint8_t continuity, const Bytes& payload,
                       bool with_pcr = false, uint32_t pcr = 0) {
    Bytes p = {0x47, static_cast<uint8_t>((unit_start ? 0x40 : 0) | (pid >> 8)),
               static_cast<uint8_t>(pid), static_cast<uint8_t>(0x10 | (continuity & 0x0F))};
    size_t room = 184 - payload.size();
    if (room > 0 || with_pcr) {
        p[3] |= 0x20;
        Bytes field;
        if (with_pcr) {
            field = {0x10, static_cast<uint8_t>(pcr >> 25), static_cast<uint8_t>(pcr >> 17),
                     static_cast<uint8_t>(pcr >> 9), static_cast<uint8_t>(pcr >> 1),
                     static_cast<uint8_t>((pcr << 7) | 0x7E), 0x00};
        } else if (room > 1) {
            field = {0x00};
        }
        while (field.size() + 1 < room) field.push_back(0xFF);
        p.push_back(static_cast<uint8_t>(field.size()));
        p = p + field;
    }
    return p + payload;
}

// A PSI section with its pointer field; the CRC is not checked by the tool.
inline Bytes psi_section(uint8_t table, uint16_t number, const Bytes& body) {
    size_t length = 5 + body.size() + 4;
    Bytes s = {0x00, table, static_cast<uint8_t>(0xB0 | (length >> 8)), static_cast<uint8_t>(length),
               static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number), 0xC1, 0x00, 0x00};
    return s + body + Bytes{0, 0, 0, 0};
}

inline Bytes pat_section(uint16_t program, uint16_t pmt_pid) {
    return psi_section(0x00, 1, {static_cast<uint8_t>(program >> 8), static_cast<uint8_t>(program),
                                 static_cast<uint8_t>(0xE0 | (pmt_pid >> 8)),
                                 static_cast<uint8_t>(pmt_pid)});
}

inline Bytes pmt_section(uint16_t program, uint16_t pcr_pid, uint8_t type, uint16_t video_pid) {
    return psi_section(0x02, program,
                       {static_cast<uint8_t>(0xE0 | (pcr_pid >> 8)), static_cast<uint8_t>(pcr_pid),
                        0xF0, 0x00, type, static_cast<uint8_t>(0xE0 | (video_pid >> 8)),
                        static_cast<uint8_t>(video_pid), 0xF0, 0x00});
}

// A video PES packet as a transport stream carries it: no length.
inline Bytes ts_video_pes(const Bytes& payload) {
    return Bytes{0, 0, 1, 0xE0, 0, 0, 0x81, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01} + payload;
}

// Nine packets whose tables name one video stream of the type and nothing else.
inline Bytes ts_tables_and_video(uint8_t type) {
    Bytes packets = ts_packet(0, true, 0, pat_section(1, 0x1000)) +
                    ts_packet(0x1000, true, 0, pmt_section(1, 0x100, type, 0x100)) +
                    ts_packet(0x100, true, 0, ts_video_pes(filler(100)));
    return packets + packets + packets;
}

// MPEG-4 video (Xvid, DivX), whose VOL headers the tool rewrites.
inline constexpr uint8_t ts_type_mpeg4_video = 0x10;
// VC-1 video, whose sequence headers the tool rewrites.
inline constexpr uint8_t ts_type_vc1_video = 0xEA;
// AVS video, which the tool does not rewrite.
inline constexpr uint8_t ts_type_avs_video = 0x42;
