#include "judges.h"

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <set>

std::string output_of(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool make_stream(const fs::path& dir, const Encoding& e) {
    bool hevc = e.encoder == "libx265";
    std::string ext = fs::path(e.name).extension().string();
    std::string format = ext == ".ts" || ext == ".m2ts" ? "mpegts" : hevc ? "hevc" : "h264";
    std::string command = "ffmpeg -loglevel quiet -y -f lavfi -i testsrc=size=" + e.size +
                          ":rate=25 -t 2 -vf setsar=" + e.sar + " -c:v " + e.encoder +
                          " -preset ultrafast " + (hevc ? "-x265-params log-level=none:" : "-x264-params ") +
                          e.params + (ext == ".m2ts" ? " -mpegts_m2ts_mode 1" : "") + " -f " + format +
                          " " + quoted(dir / e.name);
    return std::system(command.c_str()) == 0;
}

std::vector<std::string> traced_aspects(const fs::path& file, const std::string& field) {
    std::string trace = output_of("ffmpeg -hide_banner -i " + quoted(file) +
                                  " -c copy -bsf:v trace_headers -f null - 2>&1");
    std::vector<std::string> aspects;
    size_t at = 0;
    auto value_after = [&](const std::string& field, size_t from, size_t* end) {
        size_t line = trace.find(field, from);
        if (line == std::string::npos) return std::string();
        size_t eq = trace.find("= ", line);
        size_t nl = trace.find('\n', eq);
        *end = nl;
        return trace.substr(eq + 2, nl - eq - 2);
    };
    while ((at = trace.find(field, at)) != std::string::npos) {
        size_t end = at;
        std::string idc = value_after(field, at, &end);
        if (idc == "255") {
            std::string w = value_after(" sar_width ", end, &end);
            std::string h = value_after(" sar_height ", end, &end);
            idc += " " + w + ":" + h;
        }
        aspects.push_back(idc);
        at = end;
    }
    return aspects;
}

std::vector<VolAspect> vol_aspects(const Bytes& b) {
    std::vector<VolAspect> found;
    for (size_t i = 0; i + 9 < b.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1 || (b[i + 3] & 0xF0) != 0x20) continue;
        size_t bit = (i + 4) * 8;
        auto take = [&](int n) {
            int v = 0;
            for (; n > 0; --n, ++bit) v = v << 1 | ((b[bit / 8] >> (7 - bit % 8)) & 1);
            return v;
        };
        take(9);  // random_accessible_vol, video_object_type_indication
        if (take(1) != 0) take(7);  // verid, priority
        int code = take(4);
        std::string aspect = std::to_string(code);
        if (code == 15) {
            int width = take(8);
            aspect += " " + std::to_string(width) + ":" + std::to_string(take(8));
        }
        found.push_back({i, aspect});
    }
    return found;
}

std::map<size_t, int> dv_packs(const Bytes& bytes, size_t from) {
    constexpr size_t block = 80;
    std::map<size_t, int> packs;
    for (size_t b = from; b + block <= bytes.size(); b += block) {
        if ((bytes[b] >> 5) != 2) continue;  // a VAUX block
        for (size_t p = b + 3; p + 5 <= b + block; p += 5) {
            if (bytes[p] == 0x61) packs[p + 1] = bytes[p + 2] & 0x07;
        }
    }
    return packs;
}

std::map<size_t, int> demuxed_packs(const fs::path& file) {
    fs::path raw = fs::path(file).replace_extension(".raw.dv");
    std::string demux = "ffmpeg -loglevel error -y -i " + quoted(file) + " -map 0:v -c copy " + quoted(raw);
    return commands_run(file.parent_path(), demux) ? dv_packs(read_bytes(raw), 0) : std::map<size_t, int>{};
}

std::set<int> disps(const std::map<size_t, int>& packs) {
    std::set<int> seen;
    for (const auto& p : packs) seen.insert(p.second);
    return seen;
}

std::set<std::string> frame_aspects(const fs::path& file) {
    std::string out = output_of("ffprobe -v error -select_streams v -show_entries frame=sample_aspect_ratio "
                                "-of csv=p=0 " + quoted(file));
    std::set<std::string> aspects;
    size_t from = 0;
    // A frame's line may end with a comma for its side data; a side data
    // entry has a line of its own, empty.
    for (size_t nl; (nl = out.find('\n', from)) != std::string::npos; from = nl + 1) {
        std::string line = out.substr(from, nl - from);
        while (!line.empty() && line.back() == ',') line.pop_back();
        if (!line.empty()) aspects.insert(line);
    }
    return aspects;
}

std::string first_line(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

std::string probed_display(const fs::path& file) {
    std::string out = output_of("ffprobe -v error -select_streams v:0 -show_entries stream=display_aspect_ratio "
                                "-of csv=p=0 " + quoted(file));
    // A stream with side data ends its line with a comma.
    return out.substr(0, out.find_first_of(",\r\n"));
}

std::string frame_sums(const fs::path& file) {
    return output_of("ffmpeg -loglevel error -i " + quoted(file) + " -map 0:v -f framemd5 - | grep -v '^#'");
}

std::string decode_errors(const fs::path& file) {
    return output_of("ffmpeg -v error -i " + quoted(file) + " -f null - 2>&1");
}


std::string traced_sar(const std::string& idc) {
    static const char* const table[] = {"1:1", "12:11", "10:11", "16:11", "40:33", "24:11", "20:11", "32:11",
                                        "80:33", "18:11", "15:11", "64:33", "160:99", "4:3", "3:2", "2:1"};
    if (idc.compare(0, 4, "255 ") == 0) return idc.substr(4);
    int code = std::atoi(idc.c_str());
    return code >= 1 && code <= 16 ? table[code - 1] : idc;
}

size_t change_unlisted(const Bytes& before, const Bytes& after, const fs::path& marker) {
    std::set<size_t> listed;
    std::string text = read_text(marker);
    size_t from = text.find('\n') + 1;  // after the first line
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1) {
        if (std::isdigit(static_cast<unsigned char>(text[from]))) listed.insert(std::stoull(text.substr(from)));
    }
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
        if (before[i] != after[i] && listed.count(i) == 0) return i;
    }
    return SIZE_MAX;
}

bool commands_run(const fs::path& dir, const std::string& commands) {
    return std::system(("cd " + quoted(dir) + " && " + commands).c_str()) == 0;
}

namespace {

uint32_t crc32_bitwise(const uint8_t* bytes, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// An EBML variable-length integer at `at`: its value (the marker kept for
// an ID) and length.
uint64_t vint_at(const Bytes& d, size_t at, bool id, size_t* length) {
    size_t n = 1;
    while (n <= 8 && (d[at] & (0x80 >> (n - 1))) == 0) ++n;
    uint64_t value = id ? d[at] : d[at] & ((0x80 >> (n - 1)) - 1);
    for (size_t k = 1; k < n; ++k) value = value << 8 | d[at + k];
    *length = n;
    return value;
}

// How many CRC-32 elements within [from, to) and their masters do not hold
// the CRC of the bytes after them in their parent; *seen counts them all.
int crc_mismatches(const Bytes& d, size_t from, size_t to, int* seen) {
    const std::set<uint64_t> masters = {0x18538067, 0x114D9B74, 0x1549A966, 0x1654AE6B, 0xAE, 0xE0,
                                        0x1F43B675, 0xA0,       0x1C53BB6B, 0x1254C367};
    int bad = 0;
    for (size_t at = from; at < to;) {
        size_t id_length = 0;
        size_t size_length = 0;
        uint64_t id = vint_at(d, at, true, &id_length);
        uint64_t size = vint_at(d, at + id_length, false, &size_length);
        size_t body = at + id_length + size_length;
        bool unknown = size == (uint64_t{1} << (7 * size_length)) - 1;
        size_t end = unknown ? to : body + static_cast<size_t>(size);
        if (id == 0xBF && at == from) {
            ++*seen;
            uint32_t stored = d[body] | d[body + 1] << 8 | d[body + 2] << 16 | static_cast<uint32_t>(d[body + 3]) << 24;
            if (stored != crc32_bitwise(d.data() + end, to - end)) ++bad;
        }
        if (masters.count(id) != 0) bad += crc_mismatches(d, body, end, seen);
        at = end;
    }
    return bad;
}

}  // namespace

int crc_mismatches(const fs::path& file, int* seen) {
    Bytes d = read_bytes(file);
    size_t id_length = 0;
    size_t size_length = 0;
    vint_at(d, 0, true, &id_length);
    size_t header_end = id_length + static_cast<size_t>(vint_at(d, id_length, false, &size_length)) + size_length;
    *seen = 0;
    return crc_mismatches(d, header_end, d.size(), seen);
}

std::string display_of(const fs::path& file) {
    std::string info = output_of("mkvinfo " + quoted(file));
    auto value = [&](const std::string& field) {
        size_t at = info.find(field);
        return at == std::string::npos ? std::string("-") : info.substr(at + field.size(), info.find('\n', at) - at - field.size());
    };
    return value("Display width: ") + "x" + value("Display height: ");
}

const fs::path& dvd_folder_made() {
    static ScratchDir made;
    static fs::path disc;
    if (!disc.empty()) return disc;
    if (const char* given = std::getenv("MORVALEN_DVD_FOLDER")) {
        disc = given;
        return disc;
    }
#ifndef _WIN32
    fs::path script = sample_path("make_samples.sh").parent_path().parent_path() / "make_dvd.sh";
    std::string command = "'" + script.string() + "' '" + (made / "disc").string() + "' > /dev/null 2>&1";
    if (std::system(command.c_str()) == 0) disc = made / "disc";
#endif
    return disc;
}
