// The box reader and the sample walk over MP4 and MOV files damaged where
// their movie lies (box sizes, tables, sample entries) and in their
// samples. Whatever the damage, a rewrite changes only bytes that the
// marker file lists, never the file's length, and an undo gives back the
// damaged file as it was.

#include "fuzz/promises.h"

namespace {

const char* const samples[] = {"mp4_h264.mp4", "mov_mpeg2.mov"};
std::vector<uint8_t> files[2];
std::string scratch_base;

constexpr size_t op_size = 4;
// The movie lies in the last few KiB of both samples.
constexpr size_t movie_reach = 4096;

// One damage: op[0] where it falls (even: the movie, odd: anywhere) and
// op[1..2] where, op[3] the byte written.
void damage(std::vector<uint8_t>* file, const uint8_t* op) {
    size_t offset = static_cast<size_t>(op[1]) << 8 | op[2];
    size_t at = (op[0] & 1) == 0 ? file->size() - 1 - offset % movie_reach
                                 : (offset * 257 + op[0]) % file->size();
    (*file)[at] = op[3];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (size_t i = 0; i < 2; ++i) files[i] = read_all(std::string(MORVALEN_SAMPLE_DIR "/") + samples[i]);
    scratch_base = fuzz_scratch_make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: the sample and whether -o3 is given; then the damages.
    if (size < 1) return 0;
    std::vector<uint8_t> original = files[data[0] % 2];
    if (original.empty()) fail("a sample file is missing");
    for (size_t k = 1; k + op_size <= size; k += op_size) damage(&original, data + k);
    std::string video = scratch_base + ((data[0] % 2) == 0 ? ".mp4" : ".mov");
    std::string marker = scratch_base + ".ini";
    write_all(video, original);
    ConvertJob job = {};
    job.path = video;
    job.target_aspect = (data[0] & 2) != 0 ? 3 : 2;
    job.target_sar = (data[0] & 2) != 0 ? SarRatio{16, 11} : SarRatio{12, 11};
    edit_run(job);
    std::vector<uint8_t> after = read_all(video);
    if (after.size() != original.size()) fail("the length changed");
    std::set<int64_t> listed = marker_positions(marker);
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] != original[i] && listed.count(static_cast<int64_t>(i)) == 0) fail("a change the marker file does not list");
    }
    expect_undone(job, original, video, marker);
    std::remove(video.c_str());
    std::remove(marker.c_str());
    return 0;
}
