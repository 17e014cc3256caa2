#include "reference_demux.h"

namespace {

bool start_code_at(const Bytes& f, size_t p) {
    return p + 4 <= f.size() && f[p] == 0 && f[p + 1] == 0 && f[p + 2] == 1;
}

size_t be16(const Bytes& f, size_t p) {
    return static_cast<size_t>(f[p]) << 8 | f[p + 1];
}

// Where the video bytes of a PES packet at p begin (relative to p).
size_t pes_header_size(const Bytes& f, size_t p) {
    if ((f[p + 6] & 0xC0) == 0x80) return 9 + f[p + 8];
    size_t k = 6;
    while (f[p + k] == 0xFF) ++k;
    if ((f[p + k] & 0xC0) == 0x40) k += 2;
    if ((f[p + k] & 0xF0) == 0x20) return k + 5;
    if ((f[p + k] & 0xF0) == 0x30) return k + 10;
    return k + 1;  // 0x0F: no time stamps
}

void positions_add(std::vector<int64_t>* run, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) run->push_back(static_cast<int64_t>(i));
}

bool sync_run_at(const Bytes& f, size_t p, uint32_t stride, int count) {
    for (int k = 0; k < count; ++k) {
        size_t at = p + static_cast<size_t>(k) * stride;
        if (at >= f.size()) return k > 0;
        if (f[at] != 0x47) return false;
    }
    return true;
}

// The PSI section in a packet that starts one (one-packet sections only).
const uint8_t* section_in(const Bytes& f, size_t p) {
    size_t offset = 4;
    if (f[p + 3] & 0x20) offset += 1 + f[p + 4];
    return &f[p + offset + 1 + f[p + offset]];
}

}  // namespace

PayloadRuns program_video_payload(const Bytes& f) {
    PayloadRuns runs(1);
    size_t p = 0;
    while (p + 4 <= f.size()) {
        if (!start_code_at(f, p)) {
            if (f[p] != 0) break;  // padding is zeros up to the next start code
            ++p;
            continue;
        }
        uint8_t id = f[p + 3];
        if (id == 0xBA) {
            p += (f[p + 4] & 0xF0) == 0x20 ? 12 : 14 + (f[p + 13] & 7);
        } else if (id == 0xB9) {
            p += 4;
        } else if (id > 0xB9) {
            size_t end = std::min(f.size(), p + 6 + be16(f, p + 4));
            if (id == 0xE0) positions_add(&runs[0], p + pes_header_size(f, p), end);
            p += 6 + be16(f, p + 4);
        } else {
            break;
        }
    }
    return runs;
}

PayloadRuns transport_video_payload(const Bytes& f, TransportInfo* info) {
    for (size_t p = 0; p < 1024 && info->first_sync < 0; ++p) {
        for (uint32_t stride : {188u, 192u, 204u}) {
            if (sync_run_at(f, p, stride, 8)) {
                info->stride = stride;
                info->first_sync = static_cast<int64_t>(p);
                break;
            }
        }
    }
    PayloadRuns runs;
    if (info->first_sync < 0) return runs;
    uint16_t pmt_pid = 0x1FFF;
    int last_continuity = -1;
    bool new_run = true;
    for (size_t p = static_cast<size_t>(info->first_sync); p + 188 <= f.size(); p += info->stride) {
        if (f[p] != 0x47) {  // damage: on to where packets follow one another again
            size_t q = p + 1;
            while (q + 188 <= f.size() && !sync_run_at(f, q, info->stride, 5)) ++q;
            ++info->sync_losses;
            info->bytes_skipped += static_cast<int64_t>(q - p);
            new_run = true;
            last_continuity = -1;
            p = q - info->stride;
            continue;
        }
        uint16_t pid = static_cast<uint16_t>((f[p + 1] & 0x1F) << 8 | f[p + 2]);
        bool unit_start = f[p + 1] & 0x40;
        if (pid == 0 && unit_start && pmt_pid == 0x1FFF) {
            const uint8_t* s = section_in(f, p);
            pmt_pid = static_cast<uint16_t>((s[10] & 0x1F) << 8 | s[11]);
        } else if (pid == pmt_pid && unit_start && info->video_pid == 0x1FFF) {
            const uint8_t* s = section_in(f, p);
            size_t at = 12 + ((s[10] & 0x0F) << 8 | s[11]);
            size_t end = 3 + ((s[1] & 0x0F) << 8 | s[2]) - 4;
            for (; at < end && info->video_pid == 0x1FFF; at += 5 + ((s[at + 3] & 0x0F) << 8 | s[at + 4])) {
                if (s[at] == 0x01 || s[at] == 0x02) info->video_pid = static_cast<uint16_t>((s[at + 1] & 0x1F) << 8 | s[at + 2]);
            }
        }
        if (pid != info->video_pid || !(f[p + 3] & 0x10)) continue;
        if ((f[p + 1] & 0x80) || (f[p + 3] & 0xC0)) {  // damaged or scrambled: not read
            new_run = true;
            last_continuity = -1;
            continue;
        }
        int continuity = f[p + 3] & 0x0F;
        if (last_continuity >= 0 && continuity != ((last_continuity + 1) & 0x0F)) new_run = true;
        last_continuity = continuity;
        size_t offset = 4;
        if (f[p + 3] & 0x20) offset += 1 + f[p + 4];
        if (unit_start) offset += pes_header_size(f, p + offset);
        if (offset >= 188) continue;
        if (new_run) runs.emplace_back();
        new_run = false;
        positions_add(&runs.back(), p + offset, p + 188);
    }
    return runs;
}

std::vector<int64_t> matching_headers(const Bytes& f, const PayloadRuns& runs) {
    std::vector<int64_t> found;
    const uint8_t* reference = nullptr;
    uint8_t first[8];
    for (const std::vector<int64_t>& run : runs) {
        for (size_t i = 0; i + 8 <= run.size(); ++i) {
            if (f[run[i]] != 0 || f[run[i + 1]] != 0 || f[run[i + 2]] != 1 || f[run[i + 3]] != 0xB3) continue;
            uint8_t header[8];
            for (int k = 0; k < 8; ++k) header[k] = f[run[i + k]];
            if (reference == nullptr) {
                std::copy(header, header + 8, first);
                reference = first;
            }
            bool same = std::equal(header + 4, header + 7, reference + 4) &&
                        (header[7] & 0x0F) == (reference[7] & 0x0F);
            if (same) found.push_back(run[i + 7]);
        }
    }
    return found;
}

Bytes rewritten(const Bytes& file, const std::vector<int64_t>& positions, uint8_t target) {
    Bytes out = file;
    for (int64_t p : positions) out[p] = static_cast<uint8_t>((out[p] & 0x0F) | (target << 4));
    return out;
}
