// The walk of an MXF file: KLV after KLV from its first to its last, the
// descriptor of each copy of the header metadata through the local tags
// its primer pack names, and the head of each picture element, a frame of
// a frame-wrapped essence container, handed to the codec's scanner. Only
// the KLVs' heads, the sets' items and the frames' first bytes are read.
#include <memory>

#include "codecs/mxf_aspect.h"
#include "formats/format.h"
#include "formats/mxf.h"
#include "formats/site_reader.h"

namespace {

struct MxfWalk {
    SiteReader sites;
    MxfPrimer primer;
    bool primed;  // a primer pack read in this partition
};

int32_t descriptor_hand(MxfWalk* mw, BlockReader* r, const MxfKlv& klv) {
    MxfDescriptor d = {};
    int32_t result = mxf_descriptor_read(r, klv, mw->primer, &d);
    if (result != 0) return result;
    int64_t pos = d.aspect >= 0 ? d.aspect : klv.start;
    SiteReader* s = &mw->sites;
    result = site_reader_gather(s, 0, pos, d.aspect >= 0 ? mxf_aspect_bytes : 16);
    if (result != 0) return result;
    AspectSite site = site_mxf_aspect_make(s->codec, s->bytes, s->pos, s->length, site_reader_range(s, klv.start),
                                           d.width, d.height);
    return site_reader_hand(s, &site);
}

// A frame's head: the sequence header or the parameter sets before its picture.
int32_t element_feed(MxfWalk* mw, const MxfKlv& klv) {
    SiteReader* s = &mw->sites;
    int64_t length = klv.end - klv.body;
    uint32_t size = length < UINT32_MAX ? static_cast<uint32_t>(length) : UINT32_MAX;
    if (s->codec == codec_mpeg) return mpeg_head_feed(s, klv.body, size);
    return s->codec == codec_container ? 0 : start_code_head_feed(s, klv.body, size);
}

int32_t klv_take(MxfWalk* mw, BlockReader* r, const MxfKlv& klv) {
    if (mxf_is_partition(klv.key)) mw->primed = false;
    if (mxf_is_primer(klv.key)) {
        mw->primed = true;
        return mxf_primer_read(r, klv, &mw->primer);
    }
    if (mw->primed && mxf_is_picture_descriptor(klv.key)) return descriptor_hand(mw, r, klv);
    return mxf_is_picture_element(klv.key) ? element_feed(mw, klv) : 0;
}

// The first picture descriptor of the header partition, whose sets lie
// whole before the frames: one the end of the file cuts is damage.
int32_t first_descriptor(BlockReader* r, MxfDescriptor* d, bool* found) {
    MxfPrimer primer = {};
    bool primed = false;
    int32_t result = 0;
    uint64_t frames = 0;
    MxfKlv klv = {};
    for (int64_t pos = 0; result == 0; pos = klv.end) {
        MxfRead read = mxf_klv_read(r, pos, r->size, &klv, &result);
        if (read == mxf_cut) return reader_broken(r, pos, result_klv_broken);
        if (read != mxf_found || mxf_is_picture_element(klv.key) || (pos > 0 && mxf_is_partition(klv.key))) break;
        if (mxf_is_primer(klv.key)) {
            primed = true;
            result = mxf_primer_read(r, klv, &primer);
        }
        if (result == 0 && primed && mxf_is_sequence(klv.key)) result = mxf_sequence_frames(r, klv, primer, &frames);
        if (result == 0 && primed && mxf_is_picture_descriptor(klv.key)) {
            *found = true;
            result = mxf_descriptor_read(r, klv, primer, d);
            if (d->duration_sec == 0) d->duration_sec = mxf_seconds(d, frames);
            return result;
        }
    }
    return result;
}

}  // namespace

int32_t mxf_walk(Walk* w) {
    BlockReader* r = &w->reader;
    MxfDescriptor first = {};
    bool found = false;
    int32_t result = first_descriptor(r, &first, &found);
    if (result != 0) return result;
    if (!found) return result_no_mpeg_video;
    std::unique_ptr<MxfWalk> mw(new MxfWalk{});
    site_reader_init(&mw->sites, w, first.codec, result_klv_broken);
    MxfKlv klv = {};
    for (int64_t pos = 0; result == 0; pos = klv.end) {
        MxfRead read = mxf_klv_read(r, pos, r->size, &klv, &result);
        if (read == mxf_none || read == mxf_broken) break;
        // The end of a file cut short cuts the frame, which is read as far as it goes.
        if (read == mxf_cut) walk_cut_note(w, mxf_is_picture_element(klv.key) ? 1 : 0);
        result = klv_take(mw.get(), r, klv);
        if (read == mxf_cut) break;
    }
    return result;
}

int32_t mxf_look(BlockReader* reader, ContainerLook* look) {
    MxfDescriptor d = {};
    bool found = false;
    int32_t result = first_descriptor(reader, &d, &found);
    bool unwalked = found && d.clip_wrapped && d.codec != codec_container;
    *look = {found && !unwalked, d.codec, d.duration_sec, 0, 0, false, container_name_text(container_mxf),
             d.shown, {}, d.foreign, d.width, d.height};
    look->unwalked = unwalked;
    return result;
}
