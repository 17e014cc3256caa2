// DV video as its DIF blocks carry it: the 80-byte blocks of each DIF
// sequence, the sequences of a frame, and the VAUX source control pack
// (0x61) whose DISP bits record the display aspect. Players read the
// aspect of each frame from its packs (dv_scan hands each over as a site).
#pragma once
#include <cstdint>

#include "codecs/aspect_edit.h"

inline constexpr uint32_t dif_block_size = 80;
inline constexpr uint32_t dif_sequence_blocks = 150;
inline constexpr uint32_t dif_sequence_size = dif_block_size * dif_sequence_blocks;
// A sequence's VAUX blocks follow its header block and two subcode blocks.
inline constexpr uint32_t dif_vaux_first = 3;
inline constexpr uint32_t dif_vaux_count = 3;
inline constexpr uint32_t dif_vaux_offset = dif_vaux_first * dif_block_size;
inline constexpr uint32_t dif_vaux_size = dif_vaux_count * dif_block_size;

// The section type in the top 3 bits of a block's first byte.
enum DifSection : uint8_t {
    dif_header = 0,
    dif_subcode = 1,
    dif_vaux = 2,
    dif_audio = 3,
    dif_video = 4,
};

inline uint32_t dif_section(const uint8_t* block) {
    return block[0] >> 5;
}
inline uint32_t dif_sequence(const uint8_t* block) {
    return block[1] >> 4;
}
// 50 Mbit/s frames: the second channel's sequences follow the first's.
inline bool dif_second_channel(const uint8_t* block) {
    return (block[1] & 0x08) != 0;
}

// A VAUX block's packs: an id byte and 4 data bytes each, after the
// block's 3-byte id.
inline constexpr uint32_t dv_pack_size = 5;
inline constexpr uint32_t dv_packs_per_block = 15;
// The source control pack; DISP is the low 3 bits of its second data byte.
inline constexpr uint8_t dv_pack_source_control = 0x61;
inline constexpr uint32_t dv_control_bytes = 4;
inline constexpr uint8_t dv_disp_mask = 0x07;
// DISP's full-frame shapes; the others are letterbox and the like.
enum DvDisplay : uint8_t {
    dv_disp_4x3 = 0x00,
    dv_disp_16x9 = 0x02,
};

// The shape DISP names (shapes.h): 4:3 or 16:9, or 0 for letterbox and
// other shapes, which no target is taken from.
uint32_t dv_disp_shape(uint8_t pc2);
// The change of a pack's data bytes to DISP's bits of the shape.
AspectEdit dv_control_edit(const uint8_t* bytes4, uint32_t shape, ByteChange* changes, uint32_t* count);

// A sequence's first blocks as the walks fetch them: its header, subcode
// and VAUX blocks, and the audio block after them, whose id says that the
// VAUX blocks end where they should.
inline constexpr uint32_t dif_audio_first = dif_vaux_first + dif_vaux_count;
inline constexpr uint32_t dif_sequence_head = (dif_audio_first + 1) * dif_block_size;

// A channel's sequences: 12 at 625/50, 10 at 525/60.
constexpr uint32_t dif_channel_sequences(bool lines_625) {
    return lines_625 ? 12 : 10;
}

// Which sequence of a frame: its number within its channel, and the channel.
struct DifPlace {
    uint32_t sequence;
    bool second_channel;
};

// Whether the VAUX blocks that lie whole in `length` bytes from a
// sequence's start, at least one, and the audio block after them where it
// does too, have that sequence's ids at their places. The header and subcode blocks are
// not asked: a dropout there leaves the packs where they are.
bool dif_sequence_in_step(const uint8_t* blocks, uint32_t length, DifPlace place);
// Whether a sequence begins at blocks: a header block, and the VAUX and
// audio blocks of the same sequence (dif_sequence_head bytes), of a number
// its system has; and which sequence it is. Where the walk has lost step,
// nothing less is taken for one.
bool dif_sequence_found(const uint8_t* blocks, uint32_t length, DifPlace* place);
// Whether a block is the header block of that sequence.
bool dif_header_of(const uint8_t* block, DifPlace place);
// Whether a block is the first VAUX block of a frame: that of sequence 0
// of the first channel.
bool dif_frame_first_vaux(const uint8_t* block);

// What the first frame of a DV file says of all of them.
struct DvShape {
    uint32_t frame_size;  // bytes: 10 or 12 sequences, twice that at 50 Mbit/s
    uint32_t width;
    uint32_t height;
    bool lines_625;       // 625/50, else 525/60
};

// What the size of a DV frame says of it: its picture, 720x480 or 720x576,
// and its rate, 25 Mbit/s a channel; zeros where the size is no DV frame's.
struct DvFrameKind {
    uint32_t width;
    uint32_t height;
    uint32_t mbps;
};
DvFrameKind dv_frame_kind(uint32_t frame_size);

// Whether the bytes open a DIF frame: a header block of sequence 0, and
// the VAUX blocks and the audio block of that sequence, whatever a dropout
// did to the subcode blocks between them; and its shape, of 50 Mbit/s
// where the bytes reach the second channel's first blocks.
bool dv_frame_opens(const uint8_t* head, uint32_t length, DvShape* shape);
// The shape of frames of one channel of that system.
DvShape dv_channel_shape(bool lines_625);
// The shape of one channel's frames that a header block's DSF bit says.
DvShape dv_shape_of(const uint8_t* header);
// Whether the second channel of a 50 Mbit/s frame begins at head: its
// header block says so, or its VAUX blocks do where a dropout hit the
// header.
bool dif_second_channel_opens(const uint8_t* head, uint32_t length);
