#include "formats/dv_stream.h"

#include "codecs/dv_dif.h"

int32_t dv_frame_feed(Walk* w, int64_t pos, uint32_t size) {
    BlockReader* reader = &w->reader;
    int64_t frame_end = pos + size;
    for (int64_t seq = pos; seq + dif_vaux_offset < frame_end; seq += dif_sequence_size) {
        int64_t vaux = seq + dif_vaux_offset;
        int64_t end = vaux + dif_vaux_size < frame_end ? vaux + dif_vaux_size : frame_end;
        if (end > reader->size) end = reader->size;
        if (end <= vaux) break;
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        int32_t result = reader_fetch_sparse(reader, vaux, static_cast<uint32_t>(end - vaux), &bytes, &got);
        if (result != 0) return result;
        uint32_t whole = got - got % dif_block_size;
        if (whole == 0) continue;
        result = walk_feed_one(w, bytes, vaux, 0, whole, seq, vaux);
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
