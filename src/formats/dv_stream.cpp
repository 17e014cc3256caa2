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
        result = walk_feed_one(w, bytes, seq, dif_vaux_offset, whole, seq, seq + dif_vaux_offset);
        if (result != 0) return result;
    }
    return 0;
}

// Frame after frame from the start of the file; a frame the end of the
// file cuts is read as far as it goes.
int32_t dv_walk(Walk* w) {
    const uint8_t* bytes = nullptr;
    uint32_t got = 0;
    int64_t size = w->reader.size;
    int32_t result = reader_fetch_sparse(&w->reader, 0, dif_vaux_offset + dif_vaux_size, &bytes, &got);
    DvShape shape = {};
    if (result != 0 || !dv_frame_opens(bytes, got, &shape)) return result;
    if (size >= shape.frame_size + dif_block_size) {
        result = reader_fetch_sparse(&w->reader, shape.frame_size, dif_block_size, &bytes, &got);
        if (result != 0) return result;
        dv_shape_channels(&shape, bytes);
    }
    for (int64_t pos = 0; pos < size && result == 0; pos += shape.frame_size) {
        if (size - pos < shape.frame_size) walk_cut_note(w, 1);
        result = dv_frame_feed(w, pos, shape.frame_size);
    }
    return result;
}

bool dv_probe(const uint8_t* head, uint32_t length, StreamLayout* layout) {
    DvShape shape = {};
    if (!dv_frame_opens(head, length, &shape)) return false;
    *layout = {stream_dv, {0, 0}, codec_dv};
    return true;
}
