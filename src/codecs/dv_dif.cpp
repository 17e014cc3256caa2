#include "codecs/dv_dif.h"

#include "codecs/shapes.h"

namespace {

constexpr DifPlace frame_first = {0, false};

// A block of that section and sequence, `number` among the section's
// blocks in the sequence.
bool block_is(const uint8_t* block, uint32_t section, DifPlace place, uint32_t number) {
    return dif_section(block) == section && dif_sequence(block) == place.sequence &&
           dif_second_channel(block) == place.second_channel && block[2] == number;
}

}  // namespace

bool dif_frame_first_vaux(const uint8_t* block) {
    return block_is(block, dif_vaux, frame_first, 0);
}

uint32_t dv_disp_shape(uint8_t pc2) {
    uint8_t disp = pc2 & dv_disp_mask;
    return disp == dv_disp_4x3 ? shape_4x3 : disp == dv_disp_16x9 ? shape_16x9 : 0;
}

AspectEdit dv_control_edit(const uint8_t* bytes4, uint32_t shape, ByteChange* changes, uint32_t* count) {
    *count = 0;
    if (shape != shape_4x3 && shape != shape_16x9) return aspect_edit_no_code;
    if (dv_disp_shape(bytes4[1]) == shape) return aspect_edit_same;
    uint8_t disp = shape == shape_4x3 ? dv_disp_4x3 : dv_disp_16x9;
    changes[(*count)++] = {1, static_cast<uint8_t>((bytes4[1] & ~dv_disp_mask) | disp)};
    return aspect_edit_changed;
}

bool dif_sequence_in_step(const uint8_t* blocks, uint32_t length, DifPlace place) {
    uint32_t count = length / dif_block_size;
    if (count <= dif_vaux_first) return false;
    if (count > dif_audio_first + 1) count = dif_audio_first + 1;
    for (uint32_t k = dif_vaux_first; k < count; ++k) {
        bool vaux = k < dif_audio_first;
        uint32_t number = vaux ? k - dif_vaux_first : 0;
        if (!block_is(blocks + k * dif_block_size, vaux ? dif_vaux : dif_audio, place, number)) return false;
    }
    return true;
}

bool dif_header_of(const uint8_t* block, DifPlace place) {
    return block_is(block, dif_header, place, 0);
}

bool dif_sequence_found(const uint8_t* blocks, uint32_t length, DifPlace* place) {
    if (length < dif_sequence_head) return false;
    DifPlace at = {dif_sequence(blocks), dif_second_channel(blocks)};
    bool found = dif_header_of(blocks, at) && at.sequence < dif_channel_sequences(dv_shape_of(blocks).lines_625) &&
                 dif_sequence_in_step(blocks, dif_sequence_head, at);
    if (found) *place = at;
    return found;
}

DvFrameKind dv_frame_kind(uint32_t frame_size) {
    // A channel is 10 sequences at 525/60, 12 at 625/50; a frame one, two
    // (50 Mbit/s) or four of them.
    constexpr uint32_t channel_625 = dif_channel_sequences(true) * dif_sequence_size;
    constexpr uint32_t channel_525 = dif_channel_sequences(false) * dif_sequence_size;
    uint32_t channel = frame_size % channel_625 == 0 ? channel_625 : frame_size % channel_525 == 0 ? channel_525 : 0;
    if (channel == 0 || frame_size == 0) return {0, 0, 0};
    return {720, channel == channel_625 ? 576u : 480u, 25 * (frame_size / channel)};
}

bool dv_frame_opens(const uint8_t* head, uint32_t length, DvShape* shape) {
    bool opens = length >= dif_sequence_head && dif_header_of(head, frame_first) &&
                 dif_sequence_in_step(head, length, frame_first);
    if (!opens) return false;
    *shape = dv_shape_of(head);
    uint32_t channel = shape->frame_size;
    if (length > channel && dif_second_channel_opens(head + channel, length - channel)) shape->frame_size *= 2;
    return true;
}

DvShape dv_channel_shape(bool lines_625) {
    return {dif_channel_sequences(lines_625) * dif_sequence_size, 720, lines_625 ? 576u : 480u, lines_625};
}

DvShape dv_shape_of(const uint8_t* header) {
    return dv_channel_shape((header[3] & 0x80) != 0);
}

bool dif_second_channel_opens(const uint8_t* head, uint32_t length) {
    constexpr DifPlace second = {0, true};
    uint32_t whole = length - length % dif_block_size;
    return (whole > 0 && dif_header_of(head, second)) || dif_sequence_in_step(head, whole, second);
}
