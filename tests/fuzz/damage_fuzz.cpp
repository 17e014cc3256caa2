// The -r walk over encoder-made program streams damaged as real files get
// damaged: cut and joined, overwritten with zeros or other bytes, grown by
// inserted stretches. Besides what every rewrite promises, the walk must
// never stop at the damage.
#include <cstring>
#include <random>

#include "fuzz/promises.h"

namespace {

const char* const samples[] = {"dvd_ntsc_4x3.mpg", "vcd_pal.mpg", "svcd_pal.mpg",
                               "mpeg1sys_mpeg2video.mpg"};
std::vector<uint8_t> streams[4];
std::string scratch_base;

constexpr size_t op_size = 7;

uint32_t be24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
}

// One damage: op[0] its kind, op[1..3] where, op[4..5] how much, op[6] a byte.
void damage(std::vector<uint8_t>* file, const std::vector<uint8_t>& stream, const uint8_t* op) {
    if (file->empty()) return;
    size_t at = be24(op + 1) % file->size();
    size_t n = (static_cast<size_t>(op[4]) << 8 | op[5]) % 8192;
    size_t end = std::min(file->size(), at + n);
    switch (op[0] % 4) {
    case 0: {  // a cut at `at`, then the stream again from a point of its own
        size_t from = (n * 97 + op[6]) % stream.size();
        file->resize(at);
        file->insert(file->end(), stream.begin() + static_cast<std::ptrdiff_t>(from), stream.end());
        break;
    }
    case 1:
        std::fill(file->begin() + static_cast<std::ptrdiff_t>(at), file->begin() + static_cast<std::ptrdiff_t>(end), op[6]);
        break;
    case 2: {
        std::minstd_rand random(op[6] + 1u);
        for (size_t i = at; i < end; ++i) (*file)[i] = static_cast<uint8_t>(random());
        break;
    }
    default:
        file->insert(file->begin() + static_cast<std::ptrdiff_t>(at), n, op[6]);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (size_t i = 0; i < 4; ++i) streams[i] = read_all(std::string(MORVALEN_SAMPLE_DIR "/") + samples[i]);
    scratch_base = fuzz_scratch_make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: the sample; byte 1: the target; then the damages.
    if (size < 2) return 0;
    const std::vector<uint8_t>& stream = streams[data[0] % 4];
    if (stream.empty()) fail("a sample stream is missing");
    std::vector<uint8_t> original = stream;
    for (size_t k = 2; k + op_size <= size; k += op_size) damage(&original, stream, data + k);
    std::string video = scratch_base + ".mpg";
    std::string marker = scratch_base + ".ini";
    write_all(video, original);
    ConvertJob job = {};
    job.path = video;
    job.target_aspect = data[1] & 0x0F;
    job.request.resync = true;
    int32_t result = edit_run(job);
    if (result == result_stream_id_error) fail("-r stopped at damage");
    expect_only_listed_nibbles(job, original, video, marker);
    expect_undone(job, original, video, marker);
    std::remove(video.c_str());
    std::remove(marker.c_str());
    return 0;
}
