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

std::vector<std::string> traced_aspects(const fs::path& file) {
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
    while ((at = trace.find(" aspect_ratio_idc ", at)) != std::string::npos) {
        size_t end = at;
        std::string idc = value_after(" aspect_ratio_idc ", at, &end);
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
