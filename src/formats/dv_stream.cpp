#include "formats/dv_stream.h"

#include "codecs/dv_dif.h"

int32_t dv_frame_feed(Walk* w, int64_t pos, uint32_t size) {
    BlockReader* reader = &w->reader;
    int64_t frame_end = pos + size;
    for (int64_t seq = pos; seq + dif_vaux_offset < frame_end; seq += dif_sequence_size) {
        int64_t end = seq + dif_vaux_offset + dif_vaux_size < frame_end ? seq + dif_vaux_offset + dif_vaux_size
                                                                        : frame_end;
        if (end > reader->size) end = reader->size;
        if (end <= seq + dif_vaux_offset) break;
        // From the sequence's header block on, which the sparse read's least
        // takes anyway: its id says the blocks after it are where they should be.
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        int32_t result = reader_fetch_sparse(reader, seq, static_cast<uint32_t>(end - seq), &bytes, &got);
        if (result != 0) return result;
        uint32_t whole = got - got % dif_block_size;
        if (whole <= dif_vaux_offset || !dif_sequence_opens(bytes, whole)) continue;
        // The frame's size goes with its packs: it says which video they are.
        PayloadRange range = {dif_vaux_offset, whole, 0, seq, seq + dif_vaux_offset, size};
        result = w->sink.feed(w->sink.context, bytes, seq, &range, 1);
        if (result != 0) return result;
    }
    return 0;
}

namespace {

constexpr uint32_t frame_opening = dif_vaux_offset + dif_vaux_size;

// Whether a frame begins at pos, and its shape: of 50 Mbit/s where its
// second channel follows its first. A frame whose first channel the end of
// the file cuts is taken for one of the first frame's rate, where its
// system is the first's.
bool frame_at(Walk* w, int64_t pos, const DvShape* first, DvShape* shape, int32_t* result) {
    const uint8_t* bytes = nullptr;
    uint32_t got = 0;
    *result = reader_fetch_sparse(&w->reader, pos, frame_opening, &bytes, &got);
    if (*result != 0 || !dv_frame_opens(bytes, got, shape)) return false;
    int64_t channel_end = pos + shape->frame_size;
    if (channel_end + dif_block_size > w->reader.size) {
        if (first != nullptr && first->lines_625 == shape->lines_625) *shape = *first;
        return true;
    }
    *result = reader_fetch_sparse(&w->reader, channel_end, dif_block_size, &bytes, &got);
    if (*result != 0) return false;
    dv_shape_channels(shape, bytes);
    return true;
}

// Where the next frame begins from `from` on, byte by byte: a capture
// restarted into a file that a crash cut mid-frame goes on out of step
// with the frames before it. The end of the file where none does.
int64_t frame_seek(Walk* w, int64_t from, int32_t* result) {
    BlockReader* reader = &w->reader;
    DvShape shape = {};
    for (int64_t at = from; at + frame_opening <= reader->size;) {
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        *result = reader_fetch(reader, at, reader_fetch_most, &bytes, &got);
        if (*result != 0 || got < frame_opening) break;
        for (uint32_t i = 0; i + frame_opening <= got; ++i) {
            if (dif_section(bytes + i) == dif_header && dv_frame_opens(bytes + i, frame_opening, &shape)) return at + i;
        }
        at += got - frame_opening + 1;
    }
    return reader->size;
}

}  // namespace

// Frame after frame from the start of the file, each as long as its own
// shape says: a frame of another system or rate than the first (a PAL
// recording joined to an NTSC or a 50 Mbit/s one) is walked whole, and its
// packs go with its size, which tells them apart. A frame the end of the
// file cuts is read as far as it goes, and where the frames go out of step
// the walk finds the next one and says what it passed over.
int32_t dv_walk(Walk* w) {
    int64_t size = w->reader.size;
    int32_t result = 0;
    DvShape first = {};
    if (!frame_at(w, 0, nullptr, &first, &result)) return result;
    for (int64_t pos = 0; pos < size && result == 0;) {
        DvShape shape = first;
        if (pos > 0 && size - pos >= frame_opening && !frame_at(w, pos, &first, &shape, &result)) {
            if (result != 0) return result;
            // Only on: a restart within the frame before lies partly in
            // sequences already read, and its first frame is passed over
            // (the frame before is, where this one's first blocks fail).
            int64_t found = frame_seek(w, pos + 1, &result);
            ++w->met.sync_losses;
            w->met.sync_skipped += found - pos;
            pos = found;
            continue;
        }
        if (size - pos < shape.frame_size) walk_cut_note(w, 1);
        result = dv_frame_feed(w, pos, shape.frame_size);
        pos += shape.frame_size;
    }
    return result;
}

// A DV file has no clock: its playing time is its whole frames, at 25 or
// 29.97 frames a second (3600 or 3003 ticks of 90 kHz a frame).
void dv_clocks(const ClockLook* look, StreamClocks* clocks) {
    DvShape shape = {};
    if (!dv_frame_opens(look->head, look->head_len, &shape)) return;
    int64_t frames = (look->tail_base + look->tail_len) / shape.frame_size;
    *clocks = {true, 0, static_cast<uint32_t>(frames * (shape.lines_625 ? 3600 : 3003)), -1, -1};
}

bool dv_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    DvShape shape = {};
    if (!dv_frame_opens(head, length, &shape)) return false;
    *layout = {stream_dv, {0, 0}, codec_dv};
    return true;
}
