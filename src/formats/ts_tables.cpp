#include "formats/ts_tables.h"

#include <cstring>

#include "codecs/framing.h"
#include "codecs/mpeg_video.h"
#include "codecs/sps.h"
#include "formats/codec_ids.h"

namespace {

enum TableId : uint8_t { table_pat = 0x00, table_pmt = 0x02 };
// The codec of a stream type of video the tool rewrites.
bool video_stream_type(uint8_t type, VideoCodec* codec) {
    ForeignVideo foreign = {};
    return codec_of_id(ids_stream_type, &type, 1, codec, &foreign);
}
constexpr uint32_t programs_most = 16;
constexpr uint32_t candidates_most = 8;

// One PSI section of a PID, put together from its packets.
struct PsiSection {
    bool started;
    uint32_t have;
    uint32_t need;  // 0 until the section length is known
    uint8_t data[1024];
};

// Feeds a packet of the section's PID; true when a whole section is in data.
bool psi_feed(PsiSection* s, const uint8_t* packet) {
    uint32_t offset = ts_payload_offset(packet);
    if (offset >= ts_packet_size) return false;
    const uint8_t* payload = packet + offset;
    uint32_t n = ts_packet_size - offset;
    if (ts_unit_start(packet)) {
        uint32_t skip = 1u + payload[0];  // the pointer field
        if (skip >= n) return false;
        payload += skip;
        n -= skip;
        s->started = true;
        s->have = 0;
        s->need = 0;
    } else if (!s->started) {
        return false;
    }
    uint32_t room = static_cast<uint32_t>(sizeof s->data) - s->have;
    uint32_t take = n < room ? n : room;
    std::memcpy(s->data + s->have, payload, take);
    s->have += take;
    if (s->need == 0 && s->have >= 3) {
        s->need = 3u + (((s->data[1] & 0x0F) << 8) | s->data[2]);
        if (s->need > sizeof s->data || s->need < 12) s->started = false;
    }
    if (!s->started || s->need == 0 || s->have < s->need) return false;
    s->started = false;
    return true;
}

uint16_t pid_at(const uint8_t* bytes) {
    return static_cast<uint16_t>(((bytes[0] & 0x1F) << 8) | bytes[1]);
}

struct ProgramSearch {
    PsiSection pat;
    bool pat_read;
    uint32_t programs;
    uint16_t program_number[programs_most];
    uint16_t pmt_pid[programs_most];
    bool pmt_read[programs_most];
    uint16_t video_pid[programs_most];  // ts_pid_none when the program has none
    uint16_t pcr_pid[programs_most];
    VideoCodec codec[programs_most];
    PsiSection pmt;
    // Without tables: PIDs of video PES packets, each with its last 4 bytes.
    uint32_t candidates;
    uint16_t candidate_pid[candidates_most];
    uint32_t candidate_window[candidates_most];
    uint16_t fallback_pid;
    VideoCodec fallback_codec;
    bool scrambled;  // a packet was scrambled
};

void pat_read(ProgramSearch* s) {
    const uint8_t* d = s->pat.data;
    for (uint32_t at = 8; at + 4 <= s->pat.need - 4 && s->programs < programs_most; at += 4) {
        if (d[at] == 0 && d[at + 1] == 0) continue;  // the network PID
        s->program_number[s->programs] = static_cast<uint16_t>(d[at] << 8 | d[at + 1]);
        s->pmt_pid[s->programs] = pid_at(d + at + 2);
        s->video_pid[s->programs] = ts_pid_none;
        s->codec[s->programs] = codec_mpeg;
        s->pmt_read[s->programs] = false;
        ++s->programs;
    }
    s->pat_read = true;
}

// A stream of private data (0x06) whose registration descriptor (tag 5)
// says 'VC-1', as some muxers name VC-1 video: its descriptors lie in
// d[at, end).
bool vc1_registered(const uint8_t* d, uint32_t at, uint32_t end) {
    for (; at + 2 <= end && at + 2u + d[at + 1] <= end; at += 2u + d[at + 1]) {
        if (d[at] == 5 && d[at + 1] >= 4 && std::memcmp(d + at + 2, "VC-1", 4) == 0) return true;
    }
    return false;
}

void pmt_read(ProgramSearch* s, uint32_t k) {
    const uint8_t* d = s->pmt.data;
    s->pcr_pid[k] = pid_at(d + 8);
    uint32_t end = s->pmt.need - 4;
    uint32_t at = 12u + (((d[10] & 0x0F) << 8) | d[11]);
    for (; at + 5 <= end; at += 5u + (((d[at + 3] & 0x0F) << 8) | d[at + 4])) {
        VideoCodec codec = codec_mpeg;
        uint32_t info_end = at + 5u + (((d[at + 3] & 0x0F) << 8) | d[at + 4]);
        bool vc1 = d[at] == 0x06 && vc1_registered(d, at + 5, info_end < end ? info_end : end);
        if (vc1) codec = codec_vc1;
        if ((vc1 || video_stream_type(d[at], &codec)) && s->video_pid[k] == ts_pid_none) {
            s->video_pid[k] = pid_at(d + at + 1);
            s->codec[k] = codec;
        }
    }
    s->pmt_read[k] = true;
}

bool tables_complete(const ProgramSearch* s) {
    if (!s->pat_read) return false;
    for (uint32_t k = 0; k < s->programs; ++k) {
        if (!s->pmt_read[k]) return false;
    }
    return true;
}

void tables_feed(ProgramSearch* s, const uint8_t* p, uint16_t pid) {
    if (!s->pat_read) {
        if (pid == ts_pid_pat && psi_feed(&s->pat, p) && s->pat.data[0] == table_pat) pat_read(s);
        return;
    }
    for (uint32_t k = 0; k < s->programs; ++k) {
        if (s->pmt_read[k] || s->pmt_pid[k] != pid) continue;
        if (!psi_feed(&s->pmt, p) || s->pmt.data[0] != table_pmt) return;
        uint16_t number = static_cast<uint16_t>(s->pmt.data[3] << 8 | s->pmt.data[4]);
        for (uint32_t j = k; j < s->programs; ++j) {
            if (!s->pmt_read[j] && s->pmt_pid[j] == pid && s->program_number[j] == number) {
                pmt_read(s, j);
            }
        }
        return;
    }
}

// Whether a video PES payload opens with a NAL unit of H.264 or HEVC (an
// access unit delimiter or a parameter set, as transport streams carry
// them) and holds a parameter set of that codec that reads. MPEG video
// opens with start codes whose NAL header byte would be forbidden or none
// of these.
bool nal_video_opens(const uint8_t* payload, uint32_t n, VideoCodec* codec) {
    uint32_t at = 0;
    if (!start_code_opens(payload, n, &at) || at + 1 >= n || nal_forbidden(payload[at])) return false;
    uint8_t avc_type = nal_type(codec_avc, payload[at]);
    uint8_t hevc_type = nal_type(codec_hevc, payload[at]);
    if ((avc_type == avc_nal_sps || avc_type == avc_nal_delimiter) && sps_in(codec_avc, payload, n)) {
        *codec = codec_avc;
        return true;
    }
    bool hevc_opens = hevc_type == hevc_nal_vps || hevc_type == hevc_nal_sps || hevc_type == hevc_nal_delimiter;
    if (hevc_opens && sps_in(codec_hevc, payload, n)) {
        *codec = codec_hevc;
        return true;
    }
    return false;
}

// Looks for a sequence header, or an H.264 or HEVC parameter set, in the
// video PES packets of every PID.
void fallback_feed(ProgramSearch* s, const uint8_t* p, uint16_t pid) {
    uint32_t k = 0;
    while (k < s->candidates && s->candidate_pid[k] != pid) ++k;
    uint32_t offset = ts_packet_size;
    if (ts_unit_start(p)) {
        offset = ts_video_pes_payload(p);
        if (offset < ts_packet_size && nal_video_opens(p + offset, ts_packet_size - offset, &s->fallback_codec)) {
            s->fallback_pid = pid;
            return;
        }
        if (offset < ts_packet_size && k == s->candidates && k < candidates_most) {
            s->candidate_pid[k] = pid;
            s->candidate_window[k] = 0;
            ++s->candidates;
        }
    } else if (k < s->candidates) {
        offset = ts_payload_offset(p);
    }
    if (k >= s->candidates) return;
    code_window_seek(&s->candidate_window[k], p + offset, ts_packet_size - offset, sequence_header_code);
    if (s->candidate_window[k] == sequence_header_code) {
        s->fallback_pid = pid;
        s->fallback_codec = codec_mpeg;
    }
}

// The first program whose map table came and names video the tool takes;
// a program whose table never comes (a service cut out of a multiplex
// lists the others) is passed over. Without such a program, the first PID
// whose packets carry video.
void program_choose(const ProgramSearch* s, TsProgram* program) {
    program->tables_seen = tables_complete(s);
    program->scrambled = s->scrambled;
    for (uint32_t k = 0; k < s->programs; ++k) {
        if (!s->pmt_read[k] || s->video_pid[k] == ts_pid_none) continue;
        program->tables_seen = true;
        program->found = true;
        program->video_pid = s->video_pid[k];
        program->pcr_pid = s->pcr_pid[k];
        program->codec = s->codec[k];
        return;
    }
    if (s->fallback_pid != ts_pid_none) {
        program->found = true;
        program->video_pid = s->fallback_pid;
        program->codec = s->fallback_codec;
    }
}

}  // namespace

void ts_program_find(const uint8_t* bytes, uint32_t length, TsLayout layout, TsProgram* program) {
    *program = ts_program_none;
    ProgramSearch search = {};
    search.fallback_pid = ts_pid_none;
    uint32_t pos = layout.first_sync;
    while (const uint8_t* p = ts_packet_next(bytes, length, layout.stride, &pos)) {
        pos += layout.stride;
        if (ts_transport_error(p)) continue;
        uint16_t pid = ts_pid(p);
        tables_feed(&search, p, pid);
        if (tables_complete(&search)) break;
        search.scrambled = search.scrambled || ts_scrambled(p);
        if (search.fallback_pid == ts_pid_none && !ts_scrambled(p)) fallback_feed(&search, p, pid);
    }
    program_choose(&search, program);
}
