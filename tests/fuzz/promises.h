// What every rewrite promises, checked by the fuzz targets that run the
// engine on a real file: the length never changes, a changed byte differs
// only in its aspect nibble at a position the marker file lists, and an
// undo after the rewrite gives back the original.
#pragma once
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "../edit_run.h"

// Quiets the console, whose progress line would flood the fuzzer's output,
// and makes a scratch folder: the base of the video's name in it.
inline std::string fuzz_scratch_make() {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    char dir[] = "/tmp/morvalen-fuzz-XXXXXX";
    return std::string(mkdtemp(dir)) + "/video";
}

inline std::vector<uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_all(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void fail(const char* what) {
    std::fprintf(stderr, "engine broke a promise: %s\n", what);
    std::abort();
}

inline std::set<int64_t> marker_positions(const std::string& path) {
    std::set<int64_t> positions;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);  // the original byte 7
    while (std::getline(in, line)) {
        bool head = line.compare(0, 6, "video=") == 0 || line.compare(0, 5, "time=") == 0 ||
                    line.compare(0, 6, "shown=") == 0;
        if (!head) positions.insert(std::strtoll(line.c_str(), nullptr, 10));
    }
    return positions;
}

// After a rewrite (or listing) of `video` by `job`.
inline void expect_only_listed_nibbles(const ConvertJob& job, const std::vector<uint8_t>& original,
                                       const std::string& video, const std::string& marker) {
    std::vector<uint8_t> after = read_all(video);
    if (after.size() != original.size()) fail("the length changed");
    std::set<int64_t> listed = marker_positions(marker);
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] == original[i]) continue;
        if (job.request.mode == mode_list) fail("list mode changed the video");
        if ((after[i] & 0x0F) != (original[i] & 0x0F)) fail("a low nibble changed");
        if ((after[i] >> 4) != job.target_aspect) fail("a byte got another code than the target");
        if (listed.count(static_cast<int64_t>(i)) == 0) fail("a change the marker file does not list");
    }
}

inline void expect_undone(const ConvertJob& rewrite_job, const std::vector<uint8_t>& original,
                          const std::string& video, const std::string& marker) {
    ConvertJob job = rewrite_job;
    job.request.mode = mode_undo;
    int32_t result = edit_run(job);
    if (read_all(video) != original) fail("an undo did not give back the original");
    if (result == ended_done && std::ifstream(marker).good()) fail("a complete undo kept its marker file");
}
