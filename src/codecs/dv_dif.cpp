#include "codecs/dv_dif.h"

#include "codecs/mpeg_aspects.h"

namespace {

constexpr uint32_t sequences_525 = 10;
constexpr uint32_t sequences_625 = 12;
constexpr uint32_t frame_code_none = 0xFF;

bool block_is(const uint8_t* block, uint32_t section, uint32_t sequence) {
    return dif_section(block) == section && dif_sequence(block) == sequence;
}

// The first VAUX block of a frame: that of sequence 0 of the first channel.
bool frame_first_vaux(const uint8_t* block) {
    return block_is(block, dif_vaux, 0) && !dif_second_channel(block) && block[2] == 0;
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

bool dif_sequence_opens(const uint8_t* blocks, uint32_t length) {
    if (length < dif_block_size || dif_section(blocks) != dif_header) return false;
    uint32_t sequence = dif_sequence(blocks);
    uint32_t count = length / dif_block_size;
    if (count > dif_vaux_first + dif_vaux_count) count = dif_vaux_first + dif_vaux_count;
    for (uint32_t k = 1; k < count; ++k) {
        uint32_t section = k < dif_vaux_first ? dif_subcode : dif_vaux;
        if (!block_is(blocks + k * dif_block_size, section, sequence)) return false;
    }
    return true;
}

DvFrameKind dv_frame_kind(uint32_t frame_size) {
    // A channel is 10 sequences at 525/60, 12 at 625/50; a frame one, two
    // (50 Mbit/s) or four of them.
    constexpr uint32_t channel_625 = sequences_625 * dif_sequence_size;
    constexpr uint32_t channel_525 = sequences_525 * dif_sequence_size;
    uint32_t channel = frame_size % channel_625 == 0 ? channel_625 : frame_size % channel_525 == 0 ? channel_525 : 0;
    if (channel == 0 || frame_size == 0) return {0, 0, 0};
    return {720, channel == channel_625 ? 576u : 480u, 25 * (frame_size / channel)};
}

bool dv_frame_opens(const uint8_t* head, uint32_t length, DvShape* shape) {
    if (length < dif_vaux_offset + dif_vaux_size) return false;
    bool opens = dif_sequence(head) == 0 && !dif_second_channel(head) && dif_sequence_opens(head, length);
    if (!opens) return false;
    bool lines_625 = (head[3] & 0x80) != 0;
    uint32_t channel = (lines_625 ? sequences_625 : sequences_525) * dif_sequence_size;
    *shape = {channel, 720, lines_625 ? 576u : 480u, lines_625};
    if (length >= channel + dif_block_size) dv_shape_channels(shape, head + channel);
    return true;
}

void dv_shape_channels(DvShape* shape, const uint8_t* block) {
    if (block_is(block, dif_header, 0) && dif_second_channel(block)) shape->frame_size *= 2;
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
