#include "codecs/dv_dif.h"

#include "codecs/mpeg_aspects.h"

namespace {

constexpr uint32_t frame_code_none = 0xFF;
constexpr DifPlace frame_first = {0, false};

// A block of that section and sequence, `number` among the section's
// blocks in the sequence.
bool block_is(const uint8_t* block, uint32_t section, DifPlace place, uint32_t number) {
    return dif_section(block) == section && dif_sequence(block) == place.sequence &&
           dif_second_channel(block) == place.second_channel && block[2] == number;
}

// The first VAUX block of a frame: that of sequence 0 of the first channel.
bool frame_first_vaux(const uint8_t* block) {
    return block_is(block, dif_vaux, frame_first, 0);
}

void tally_frame_begin(DvFrameTally* t) {
    ++t->frames;
    t->frame_code = frame_code_none;
    t->frame_disagrees = false;
}

void tally_pack(DvFrameTally* t, uint32_t code) {
    if (t->frames == 0) tally_frame_begin(t);  // handed over from within a frame
    if (t->frame_code == frame_code_none) t->frame_code = code;
    if (code == t->frame_code || t->frame_disagrees) return;
    t->frame_disagrees = true;
    if (t->disagreeing++ == 0) t->first_disagreeing = t->frames - 1;
}

// The packs of one whole block, whose bytes lie at pos[].
int32_t block_scan(DvScanner* s, const uint8_t* block, const int64_t* pos, const PayloadRange* range,
                   SiteHandler on_site, void* context) {
    if (dif_section(block) != dif_vaux) return 0;
    if (frame_first_vaux(block)) tally_frame_begin(&s->tally);
    for (uint32_t k = 0; k < dv_packs_per_block; ++k) {
        const uint8_t* pack = block + 3 + k * dv_pack_size;
        if (pack[0] != dv_pack_source_control) continue;
        // Read once: the block may be a view of the file.
        uint8_t bytes[dv_control_bytes] = {pack[1], pack[2], pack[3], pack[4]};
        tally_pack(&s->tally, dv_display_code(bytes[1]));
        AspectSite site = site_dv_control_make(holder_stream, bytes, pos + 3 + k * dv_pack_size + 1, range);
        site.frame = s->tally.frames - 1;
        site.frame_size = range->unit_size;
        int32_t result = on_site(context, &site);
        if (result != 0) return result;
    }
    return 0;
}

}  // namespace

uint32_t dv_display_code(uint8_t pc2) {
    uint8_t disp = pc2 & dv_disp_mask;
    return disp == dv_disp_4x3 ? mpeg2_code_4x3 : disp == dv_disp_16x9 ? mpeg2_code_16x9 : 0;
}

AspectEdit dv_control_edit(const uint8_t* bytes4, uint32_t code, ByteChange* changes, uint32_t* count) {
    *count = 0;
    if (code != mpeg2_code_4x3 && code != mpeg2_code_16x9) return aspect_edit_no_code;
    if (dv_display_code(bytes4[1]) == code) return aspect_edit_same;
    uint8_t disp = code == mpeg2_code_4x3 ? dv_disp_4x3 : dv_disp_16x9;
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

void dv_scanner_init(DvScanner* scanner) {
    *scanner = DvScanner{};
    scanner->tally.frame_code = frame_code_none;
}

int32_t dv_scan(DvScanner* s, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                uint32_t count, SiteHandler on_site, void* context) {
    int64_t pos[dif_block_size];
    for (uint32_t r = 0; r < count; ++r) {
        const PayloadRange* range = &ranges[r];
        for (uint32_t at = range->first; at < range->end;) {
            uint32_t left = range->end - at;
            if (s->held == 0 && left >= dif_block_size) {
                for (uint32_t k = 0; k < dif_block_size; ++k) pos[k] = buffer_pos + at + k;
                int32_t result = block_scan(s, buffer + at, pos, range, on_site, context);
                if (result != 0) return result;
                at += dif_block_size;
                continue;
            }
            // A block split between ranges is put together first.
            uint32_t take = dif_block_size - s->held < left ? dif_block_size - s->held : left;
            for (uint32_t k = 0; k < take; ++k) {
                s->block[s->held + k] = buffer[at + k];
                s->pos[s->held + k] = buffer_pos + at + k;
            }
            s->held += take;
            at += take;
            if (s->held < dif_block_size) continue;
            s->held = 0;
            int32_t result = block_scan(s, s->block, s->pos, range, on_site, context);
            if (result != 0) return result;
        }
    }
    return 0;
}
