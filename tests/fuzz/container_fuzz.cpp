// The box reader, the EBML reader, the RIFF reader, the FLV tag reader,
// the ASF object reader, the MXF KLV reader, the Ogg page reader and their
// walks over MP4, MOV, Matroska, AVI, FLV, ASF, MXF and Ogg files damaged
// where their movie, tracks, header list, header objects, header metadata
// or first tags and pages lie (box, element, chunk, tag, object, KLV and
// page sizes, tables, sample entries, display elements, CRC-32s, vprp and
// JUNK, a sequence header's avcC, aspect records, descriptors, stream
// heads) and in their samples, blocks, frame chunks, tags, essence and
// pages; and the DIF walk over a raw DV file damaged in its
// first frame's blocks or anywhere, bytes overwritten or missing. Whatever
// the damage, a rewrite changes only bytes that the marker file lists,
// never the file's length, and an undo gives back the damaged file as it
// was; in a raw DV file it changes only DISP bits of the VAUX blocks that
// the sample had, wherever the damage moved them.

#include <algorithm>

#include "fuzz/promises.h"

namespace {

struct Sample {
    const char* name;
    const char* extension;
    bool head_last;  // the movie lies at the end (MP4 and MOV), the tracks at the start
};
const Sample samples[] = {{"mp4_h264.mp4", ".mp4", true}, {"mov_mpeg2.mov", ".mov", true},
                          {"mkv_h264.mkv", ".mkv", false}, {"dv_pal.dv", ".dv", false},
                          {"mov_dv.mov", ".mov", true}, {"avi_h264.avi", ".avi", false},
                          {"flv_h264.flv", ".flv", false}, {"asf_wmv2.wmv", ".wmv", false},
                          {"mxf_mpeg2.mxf", ".mxf", false}, {"ogg_theora.ogv", ".ogv", false}};
constexpr size_t sample_count = sizeof samples / sizeof samples[0];
std::vector<uint8_t> files[sample_count];
std::string scratch_base;

constexpr size_t op_size = 4;
// The movie and the tracks, and a DV file's first DIF sequence's header,
// subcode and VAUX blocks, lie within a few KiB of an end.
constexpr size_t head_reach = 4096;

// One damage: op[0] where it falls (bit 0 clear: the movie or tracks, set:
// anywhere) and what it does (bit 2 clear: op[3] written there, set:
// op[3] % 16 + 1 bytes missing from there), op[1..2] where. `origin` says
// where in the sample each byte of the file was.
void damage(std::vector<uint8_t>* file, std::vector<size_t>* origin, bool head_last, const uint8_t* op) {
    if (file->size() < 2) return;
    size_t offset = static_cast<size_t>(op[1]) << 8 | op[2];
    size_t reach = offset % head_reach % file->size();
    size_t in_head = head_last ? file->size() - 1 - reach : reach;
    size_t at = (op[0] & 1) == 0 ? in_head : (offset * 257 + op[0]) % file->size();
    if ((op[0] & 4) == 0) {
        (*file)[at] = op[3];
        return;
    }
    auto from = static_cast<std::ptrdiff_t>(at);
    auto count = static_cast<std::ptrdiff_t>(std::min<size_t>(op[3] % 16 + 1, file->size() - at));
    file->erase(file->begin() + from, file->begin() + from + count);
    origin->erase(origin->begin() + from, origin->begin() + from + count);
}

// A raw DV file's changed bytes are DISP bits of source control packs at
// their places in VAUX blocks of the sample: no pack is read out of step.
void expect_dv_in_step(const std::vector<uint8_t>& sample, const std::vector<size_t>& origin,
                       const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    constexpr size_t block = 80;
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        size_t in_block = origin[i] % block;
        bool vaux = sample[origin[i] - in_block] >> 5 == 2;
        bool disp = in_block >= 3 && (in_block - 3) % 5 == 2 && ((after[i] ^ before[i]) & 0xF8) == 0;
        if (!vaux || !disp) fail("a DV byte out of step with the sample's blocks changed");
    }
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
    const std::vector<uint8_t>& made = files[&sample - samples];
    if (made.empty()) fail("a sample file is missing");
    std::vector<uint8_t> original = made;
    std::vector<size_t> origin(made.size());
    for (size_t i = 0; i < origin.size(); ++i) origin[i] = i;
    for (size_t k = 1; k + op_size <= size; k += op_size) damage(&original, &origin, sample.head_last, data + k);
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
    if (std::string(sample.extension) == ".dv") expect_dv_in_step(made, origin, original, after);
    expect_undone(job, original, video, marker);
    std::remove(video.c_str());
    std::remove(marker.c_str());
    return 0;
}
