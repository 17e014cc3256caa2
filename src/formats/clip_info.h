// A Blu-ray or AVCHD clip information file (CLIPINF/NNNNN.clpi, .CPI on a
// camcorder's card, and its copy under BACKUP): big-endian, opened by
// "HDMV" and its version. What it records of its stream's video lies in
// its ProgramInfo: for each program sequence, each stream's
// StreamCodingInfo, whose video ones hold the aspect nibble a player and
// the tools built on libbluray read; a 3D clip's extension data holds a
// second ProgramInfo of the same layout, read alike.
#pragma once
#include <cstdint>

// The file's head up to its addresses and the reserved bytes after them.
inline constexpr uint32_t clip_head_length = 40;
// ProgramInfo is read whole in one piece; one longer than that (255
// program sequences of many streams) is not of a clip a camcorder or a
// disc holds, and is taken for damage.
inline constexpr uint32_t clip_program_most = 0x10000;

// Where ProgramInfo lies: its start from the head, and its length (its
// own length field and the four bytes of that field) from its first four
// bytes, each checked against the file's size and the addresses around:
// 0, or result_clip_info_broken.
struct ClipProgramPlace {
    int64_t start;
    uint32_t length;
    uint32_t cpi;  // where the CPI starts, 0 where the file has none
};
int32_t clip_program_start(const uint8_t* head, int64_t file_size, ClipProgramPlace* place);
int32_t clip_program_length(const uint8_t* first, int64_t file_size, ClipProgramPlace* place);

// Takes the offset, in ProgramInfo, of each video aspect byte in turn.
typedef int32_t (*ClipAspectHandler)(void* context, uint32_t offset);
// Checks ProgramInfo whole, every length against the one around it, then
// hands each video stream's aspect byte, of every program sequence (a
// secondary video's excepted: picture in picture has a shape of its own):
// 0, result_clip_info_broken, result_no_mpeg_video where no stream is
// video, or the handler's result.
int32_t clip_program_scan(const uint8_t* info, uint32_t length, ClipAspectHandler on_aspect, void* context);
