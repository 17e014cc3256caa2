#include "codecs/dv_scan.h"

#include "codecs/shapes.h"

namespace {

constexpr uint32_t frame_code_none = 0xFF;

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
    if (dif_frame_first_vaux(block)) tally_frame_begin(&s->tally);
    for (uint32_t k = 0; k < dv_packs_per_block; ++k) {
        const uint8_t* pack = block + 3 + k * dv_pack_size;
        if (pack[0] != dv_pack_source_control) continue;
        // Read once: the block may be a view of the file.
        uint8_t bytes[dv_control_bytes] = {pack[1], pack[2], pack[3], pack[4]};
        tally_pack(&s->tally, dv_disp_shape(bytes[1]));
        AspectSite site = site_dv_control_make(holder_stream, bytes, pos + 3 + k * dv_pack_size + 1, range);
        site.frame = s->tally.frames - 1;
        site.frame_size = range->unit_size;
        int32_t result = on_site(context, &site);
        if (result != 0) return result;
    }
    return 0;
}

bool dv_control_read(const AspectSite* site, const uint8_t* bytes, SiteReading* reading) {
    *reading = SiteReading{};
    DvFrameKind frame = dv_frame_kind(site->frame_size);
    reading->aspect_present = true;
    reading->aspect.code = dv_disp_shape(bytes[1]);
    reading->aspect.sar = sar_of_shape_exact(frame.width, frame.height, reading->aspect.code);
    // A copy outside the frames says nothing of which video it belongs to.
    reading->keyed = frame.width != 0;
    reading->width = frame.width;
    reading->height = frame.height;
    reading->form = site->frame_size;
    return true;
}

AspectEdit dv_control_site_edit(const AspectSite*, const uint8_t* bytes, SiteAspect target, ByteChange* changes,
                                uint32_t* count) {
    return dv_control_edit(bytes, target.code, changes, count);
}

uint32_t dv_control_field(const AspectSite*, uint32_t* indices) {
    indices[0] = 1;  // DISP's byte
    return 1;
}

}  // namespace

AspectSite site_dv_control_make(SiteHolder holder, const uint8_t* bytes4, const int64_t* pos,
                                const PayloadRange* range) {
    return site_base(site_dv_control, holder, codec_dv, bytes4, pos, dv_control_bytes, range);
}

const PlaceOps dv_control_places = {dv_control_read, dv_control_site_edit, dv_control_field};

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
