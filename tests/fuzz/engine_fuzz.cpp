// The whole rewrite engine on a real file of arbitrary bytes; besides the
// sanitizers it checks what every rewrite promises.
#include <cstring>

#include "fuzz/promises.h"

namespace {

constexpr uint8_t list_flag = 0x80;
constexpr uint8_t resync_flag = 0x40;
constexpr uint8_t repeat_flag = 0x20;
constexpr uint8_t undo_flag = 0x10;
std::string scratch_base;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch_base = fuzz_scratch_make();
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
    write_all(video, original);
    ConvertJob job = {};
    job.path = video;
    job.target_aspect = data[1] & 0x0F;
    job.request.mode = (data[0] & list_flag) != 0 ? mode_list : mode_convert;
    job.request.resync = (data[0] & resync_flag) != 0;
    int32_t result = edit_run(job);
    if (result < result_least || result > ended_done) fail("result out of range");

    expect_only_listed_nibbles(job, original, video, marker);
    if ((data[0] & undo_flag) != 0 && job.request.mode != mode_list) {
        expect_undone(job, original, video, marker);
    }
    std::remove(video.c_str());
    std::remove(marker.c_str());
    std::remove(list.c_str());
    return 0;
}
