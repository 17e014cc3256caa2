// The box reader, the EBML reader, the RIFF reader and their walks over
// MP4, MOV, Matroska and AVI files damaged where their movie, tracks or
// header list lie (box, element and chunk sizes, tables, sample entries,
// display elements, CRC-32s, vprp and JUNK) and in their samples, blocks
// and frame chunks; and the DIF walk over a raw DV file damaged in its
// first frame's blocks or anywhere. Whatever the damage, a rewrite changes only bytes
// that the marker file lists, never the file's length, and an undo gives
// back the damaged file as it was.

#include "fuzz/promises.h"

namespace {

struct Sample {
    const char* name;
    const char* extension;
    bool head_last;  // the movie lies at the end (MP4 and MOV), the tracks at the start
};
const Sample samples[] = {{"mp4_h264.mp4", ".mp4", true}, {"mov_mpeg2.mov", ".mov", true},
                          {"mkv_h264.mkv", ".mkv", false}, {"dv_pal.dv", ".dv", false},
                          {"mov_dv.mov", ".mov", true}, {"avi_h264.avi", ".avi", false}};
constexpr size_t sample_count = sizeof samples / sizeof samples[0];
std::vector<uint8_t> files[sample_count];
std::string scratch_base;

constexpr size_t op_size = 4;
// The movie and the tracks, and a DV file's first DIF sequence's header,
// subcode and VAUX blocks, lie within a few KiB of an end.
constexpr size_t head_reach = 4096;

// One damage: op[0] where it falls (even: the movie or tracks, odd:
// anywhere) and op[1..2] where, op[3] the byte written.
void damage(std::vector<uint8_t>* file, bool head_last, const uint8_t* op) {
    size_t offset = static_cast<size_t>(op[1]) << 8 | op[2];
    size_t in_head = head_last ? file->size() - 1 - offset % head_reach : offset % head_reach;
    size_t at = (op[0] & 1) == 0 ? in_head : (offset * 257 + op[0]) % file->size();
    (*file)[at] = op[3];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (size_t i = 0; i < sample_count; ++i) files[i] = read_all(std::string(MORVALEN_SAMPLE_DIR "/") + samples[i].name);
    scratch_base = fuzz_scratch_make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: the sample (bits 2 and up) and the target (bit 1); then the damages.
    if (size < 1) return 0;
    const Sample& sample = samples[(data[0] >> 2) % sample_count];
    std::vector<uint8_t> original = files[&sample - samples];
    if (original.empty()) fail("a sample file is missing");
    for (size_t k = 1; k + op_size <= size; k += op_size) damage(&original, sample.head_last, data + k);
    std::string video = scratch_base + sample.extension;
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
