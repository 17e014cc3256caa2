// The whole rewrite engine on a real file of arbitrary bytes. Besides the
// sanitizers it checks what the tool promises: the length never changes, a
// changed byte differs only in its aspect nibble at a position the marker
// file lists, and an undo after the rewrite gives back the original.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unistd.h>
#include <fcntl.h>
#include <vector>

#include "rewrite/engine.h"

namespace {

constexpr uint8_t repeat_flag = 0x20;
constexpr uint8_t undo_flag = 0x10;
std::string scratch_base;

std::vector<uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void fail(const char* what) {
    std::fprintf(stderr, "engine broke a promise: %s\n", what);
    std::abort();
}

std::set<int64_t> marker_positions(const std::string& path) {
    std::set<int64_t> positions;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);  // the original byte 7
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "video=") != 0) positions.insert(std::strtoll(line.c_str(), nullptr, 10));
    }
    return positions;
}

void expect_undone(const ConvertJob* rewrite_job, const std::vector<uint8_t>& original,
                   const std::string& video, const std::string& marker) {
    ConvertJob job = *rewrite_job;
    job.mode_flags = mode_undo | (rewrite_job->mode_flags & mode_range_search);
    int32_t result = aspect_rewrite(&job);
    if (read_all(video) != original) fail("an undo did not give back the original");
    if (result == 0 && std::ifstream(marker).good()) fail("a complete undo kept its marker file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The progress line would flood the fuzzer's output.
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    char dir[] = "/tmp/morvalen-fuzz-XXXXXX";
    scratch_base = std::string(mkdtemp(dir)) + "/video";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: options, whether an undo follows the rewrite, and whether the
    // rest is repeated into a file of over 1 MiB, so that reads cross the
    // engine's block boundaries. Byte 1: the target.
    if (size < 2) return 0;
    std::string video = scratch_base + ".mpg";
    std::string marker = scratch_base + ".ini";
    std::string list = scratch_base + ".txt";
    std::vector<uint8_t> original(data + 2, data + size);
    if ((data[0] & repeat_flag) != 0 && !original.empty()) {
        while (original.size() <= 0x110000) original.insert(original.end(), data + 2, data + size);
    }
    {
        std::ofstream out(video, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(original.data()), static_cast<std::streamsize>(original.size()));
    }
    ConvertJob job = {};
    std::strcpy(job.path, video.c_str());
    job.target_aspect = data[1] & 0x0F;
    job.mode_flags = data[0] & (mode_list | mode_range_search);
    int32_t result = aspect_rewrite(&job);
    if (result < rewrite_no_mpeg_video || result > rewrite_done) fail("result out of range");

    std::vector<uint8_t> after = read_all(video);
    if (after.size() != original.size()) fail("the length changed");
    std::set<int64_t> listed = marker_positions(marker);
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] == original[i]) continue;
        if ((job.mode_flags & mode_list) != 0) fail("list mode changed the video");
        if ((after[i] & 0x0F) != (original[i] & 0x0F)) fail("a low nibble changed");
        if ((after[i] >> 4) != job.target_aspect) fail("a byte got another code than the target");
        if (listed.count(static_cast<int64_t>(i)) == 0) fail("a change the marker file does not list");
    }
    if ((data[0] & undo_flag) != 0 && (job.mode_flags & mode_list) == 0) {
        expect_undone(&job, original, video, marker);
    }
    std::remove(video.c_str());
    std::remove(marker.c_str());
    std::remove(list.c_str());
    return 0;
}
