#include "reference_demux.h"

namespace {

bool start_code_at(const Bytes& f, size_t p) {
    return p + 4 <= f.size() && f[p] == 0 && f[p + 1] == 0 && f[p + 2] == 1;
}

uint8_t byte_at(const Bytes& f, size_t p) {
    return p < f.size() ? f[p] : 0;
}

// Where the video bytes of a PES packet at p begin (relative to p).
size_t pes_header_size(const Bytes& f, size_t p) {
    if ((byte_at(f, p + 6) & 0xC0) == 0x80) return 9 + byte_at(f, p + 8);
    size_t k = 6;
    while (p + k < f.size() && f[p + k] == 0xFF) ++k;
    if ((byte_at(f, p + k) & 0xC0) == 0x40) k += 2;
    switch (byte_at(f, p + k) >> 4) {
    case 2: return k + 5;
    case 3: return k + 10;
    default: return byte_at(f, p + k) == 0x0F ? k + 1 : k;
    }
}

bool system_code_at(const Bytes& f, size_t p) {
    return start_code_at(f, p) && f[p + 3] >= 0xB9;
}

// A pack header that a damaged stream may be resumed at.
bool resync_pack_at(const Bytes& f, size_t p) {
    if (p + 16 > f.size() || !start_code_at(f, p) || f[p + 3] != 0xBA) return false;
    const uint8_t* h = &f[p];
    size_t length = 0;
    if (h[4] >> 4 == 2) {  // MPEG-1: 0010, markers after each clock part and around the rate
        bool markers = (h[4] & 1) && (h[6] & 1) && (h[8] & 1) && (h[9] >> 7) && (h[11] & 1);
        if (!markers) return false;
        length = 12;
    } else if (h[4] >> 6 == 1) {  // MPEG-2: 01, four clock markers, two after the rate
        bool markers = (h[4] & 4) && (h[6] & 4) && (h[8] & 4) && (h[9] & 1) && (h[12] & 3) == 3;
        if (!markers) return false;
        length = 14 + (h[13] & 7);
        for (size_t k = 14; k < length; ++k) {
            if (byte_at(f, p + k) != 0xFF) return false;
        }
    } else {
        return false;
    }
    return system_code_at(f, p + length);
}

size_t resync_pack_find(const Bytes& f, size_t from, size_t limit) {
    for (size_t p = from; p < limit; ++p) {
        if (resync_pack_at(f, p)) return p;
    }
    return f.size();
}

size_t unit_length(const Bytes& f, size_t p) {
    uint8_t id = f[p + 3];
    if (id == 0xBA) {
        uint8_t first = byte_at(f, p + 4);
        if (first >> 4 == 2) return 12;
        return first >> 6 == 1 ? 14 + (byte_at(f, p + 13) & 7) : 14;
    }
    return id == 0xB9 ? 4 : 6 + (size_t{byte_at(f, p + 4)} << 8 | byte_at(f, p + 5));
}

// What may come where a unit ends.
bool unit_followed(const Bytes& f, size_t end) {
    if (end + 4 > f.size()) return true;
    return system_code_at(f, end) || (f[end] == 0 && f[end + 1] == 0 && f[end + 2] == 0);
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

PayloadRuns program_video_payload(const Bytes& f, bool resync, ProgramInfo* info) {
    ProgramInfo unused;
    if (info == nullptr) info = &unused;
    PayloadRuns runs(1);
    size_t p = 0;
    // Damage at d: stop there, or skip from `from` to the next resync pack.
    auto lose = [&](size_t from, size_t d) {
        if (!resync) {
            info->stopped_at = static_cast<int64_t>(d);
            return false;
        }
        size_t to = resync_pack_find(f, d + 1, f.size());
        ++info->sync_losses;
        info->bytes_skipped += static_cast<int64_t>(to - from);
        runs.emplace_back();
        p = to;
        return true;
    };
    while (p + 4 <= f.size()) {
        if (f[p] == 0) {  // padding is zeros up to the next start code
            size_t q = p;
            while (q < f.size() && f[q] == 0) ++q;
            if (q == f.size()) break;
            if (f[q] == 1 && q - p >= 2) p = q - 2;
        }
        if (!system_code_at(f, p)) {
            if (!lose(p, p)) break;
            continue;
        }
        size_t end = p + unit_length(f, p);
        bool followed = unit_followed(f, end);
        if (!followed) {
            // A pack header inside the unit: the next stream begins there, and
            // the unit is taken up to it.
            size_t inside = resync_pack_find(f, p + 4, std::min(end, f.size()));
            if (inside < end && inside < f.size()) {
                if (f[p + 3] == 0xE0) positions_add(&runs.back(), p + pes_header_size(f, p), inside);
                if (!resync) {
                    info->stopped_at = static_cast<int64_t>(end);
                    break;
                }
                ++info->sync_losses;
                runs.emplace_back();
                p = inside;
                continue;
            }
        }
        if (f[p + 3] == 0xE0) positions_add(&runs.back(), p + pes_header_size(f, p), std::min(end, f.size()));
        p = end;
        if (!followed && !lose(end, end)) break;
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
            // No header whose marker bit after the bit rate is 0.
            bool marker = i + 11 > run.size() || (f[run[i + 10]] & 0x20) != 0;
            if (same && marker) found.push_back(run[i + 7]);
        }
    }
    return found;
}

Bytes rewritten(const Bytes& file, const std::vector<int64_t>& positions, uint8_t target) {
    Bytes out = file;
    for (int64_t p : positions) out[p] = static_cast<uint8_t>((out[p] & 0x0F) | (target << 4));
    return out;
}
