#include "formats/dv_stream.h"

#include "codecs/dv_dif.h"

namespace {

// A sequence's first blocks as fetched: in the reader's block, or in a copy
// of them that outlasts the reads after it.
struct DifHead {
    int64_t pos;
    uint32_t got;
    const uint8_t* bytes;
    uint8_t copy[dif_sequence_head];
};

// Which sequence the one `index` sequences from its frame's start is.
DifPlace place_in(const DvShape* shape, uint32_t index) {
    uint32_t sequences = dif_channel_sequences(shape->lines_625);
    return {index % sequences, index / sequences % 2 == 1};
}

// The first blocks of the sequence at seq, as far as `end` and the file go.
int32_t head_fetch(Walk* w, int64_t seq, int64_t end, DifHead* head) {
    if (end > w->reader.size) end = w->reader.size;
    int64_t left = end - seq;
    uint32_t want = left < dif_sequence_head ? static_cast<uint32_t>(left > 0 ? left : 0) : dif_sequence_head;
    head->pos = seq;
    head->got = 0;
    return reader_fetch_dense(&w->reader, seq, want, &head->bytes, &head->got);
}

void head_keep(DifHead* head) {
    for (uint32_t k = 0; k < head->got; ++k) head->copy[k] = head->bytes[k];
    head->bytes = head->copy;
}

// The sequence's VAUX blocks that lie whole in its head, handed to the sink
// where their ids and the audio block's after them say they are that
// sequence's, at their places; *in_step says whether they did. The frame's
// size goes with the packs: it says which video they are.
int32_t head_feed(Walk* w, const DifHead* head, DifPlace place, uint32_t frame_size, bool* in_step) {
    uint32_t whole = head->got - head->got % dif_block_size;
    *in_step = dif_sequence_in_step(head->bytes, whole, place);
    if (!*in_step) return 0;
    uint32_t end = whole < dif_audio_first * dif_block_size ? whole : dif_audio_first * dif_block_size;
    PayloadRange range = {dif_vaux_offset, end, 0, head->pos, head->pos + dif_vaux_offset, frame_size};
    return w->sink.feed(w->sink.context, head->bytes, head->pos, &range, 1);
}

// The sequences per channel of a container's frame of `size` bytes: as its
// size says, else (a frame the end of the file cuts) as its header block
// does; 0 where neither does.
uint32_t frame_sequences(Walk* w, int64_t pos, uint32_t size, int32_t* result) {
    if (size <= dif_vaux_offset) return 0;
    DvFrameKind kind = dv_frame_kind(size);
    if (kind.height != 0) return dif_channel_sequences(kind.height == 576);
    DifHead head;
    *result = head_fetch(w, pos, pos + size, &head);
    bool header = *result == 0 && head.got >= dif_block_size && dif_header_of(head.bytes, {0, false});
    return header ? dif_channel_sequences(dv_shape_of(head.bytes).lines_625) : 0;
}

}  // namespace

int32_t dv_frame_feed(Walk* w, int64_t pos, uint32_t size) {
    int32_t result = 0;
    uint32_t sequences = frame_sequences(w, pos, size, &result);
    if (sequences == 0) return result;
    DvShape shape = {size, 0, 0, sequences == dif_channel_sequences(true)};
    for (uint32_t index = 0; index * dif_sequence_size + dif_vaux_offset < size; ++index) {
        DifHead head;
        result = head_fetch(w, pos + index * dif_sequence_size, pos + size, &head);
        if (result != 0 || head.got <= dif_vaux_offset) return result;
        bool in_step = false;
        result = head_feed(w, &head, place_in(&shape, index), size, &in_step);
        if (result != 0) return result;
    }
    return 0;
}

namespace {

// A raw DV file's walk, sequence after sequence: each is looked for a
// sequence on from the one before as it was found, not as its frame's
// start would place it, so that bytes missing or added in a frame cost
// only the step they break.
struct DvChain {
    DvShape first;      // the first frame's
    DvShape shape;      // the frame's being walked
    uint32_t index;     // the next sequence's in its frame, channel after channel
    int64_t at;         // where it should begin
    int64_t seek_from;  // where a search for the step begins: past what was read in step
    DifHead kept;       // read to learn a frame's rate: where the next channel or frame begins
};

int32_t chain_fetch(Walk* w, DvChain* c, DifHead* head) {
    if (c->kept.pos == c->at) {
        *head = c->kept;
        head->bytes = head->copy;
        return 0;
    }
    return head_fetch(w, c->at, w->reader.size, head);
}

void chain_step(DvChain* c, const DifHead* head) {
    c->seek_from = head->pos + head->got;
    c->at += dif_sequence_size;
    c->index = (c->index + 1) % (c->shape.frame_size / dif_sequence_size);
}

// The first sequence from `from` on that its header, VAUX and audio blocks
// all say is one, byte by byte: where, which, and the shape its header
// says; the end of the file where none is.
int64_t sequence_seek(Walk* w, int64_t from, DifPlace* place, DvShape* shape, int32_t* result) {
    BlockReader* reader = &w->reader;
    for (int64_t at = from; at + dif_sequence_head <= reader->size;) {
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        *result = reader_fetch(reader, at, reader_fetch_most, &bytes, &got);
        if (*result != 0 || got < dif_sequence_head) break;
        for (uint32_t i = 0; i + dif_sequence_head <= got; ++i) {
            if (!dif_sequence_found(bytes + i, dif_sequence_head, place)) continue;
            *shape = dv_shape_of(bytes + i);
            return at + i;
        }
        at += got - dif_sequence_head + 1;
    }
    return reader->size;
}

// A dropout in the first channel moves its end: the next sequence 0 found
// after the frame's first says whether a second channel follows.
int32_t channels_seek(Walk* w, const DvChain* c, bool* second) {
    for (int64_t from = c->at + 1;;) {
        DifPlace place = {};
        DvShape shape = {};
        int32_t result = 0;
        int64_t found = sequence_seek(w, from, &place, &shape, &result);
        if (result != 0 || found >= w->reader.size) return result;
        if (place.sequence == 0) {
            *second = place.second_channel;
            return 0;
        }
        from = found + 1;
    }
}

// Whether a second channel follows the frame's first one. Its head is
// kept, since it is the next frame's where none does. A frame whose rate
// nothing says (the end of the file cuts its first channel) is taken for
// one of the first frame's, where its system is the first's.
int32_t channels_learn(Walk* w, DvChain* c) {
    int64_t channel_end = c->at + c->shape.frame_size;
    bool first_system = c->first.frame_size != 0 && c->first.lines_625 == c->shape.lines_625;
    bool second = first_system && c->first.frame_size > c->shape.frame_size;
    int32_t result = 0;
    if (channel_end + dif_block_size <= w->reader.size) {
        result = head_fetch(w, channel_end, w->reader.size, &c->kept);
        if (result != 0) return result;
        head_keep(&c->kept);
        uint32_t whole = c->kept.got - c->kept.got % dif_block_size;
        if (dif_second_channel_opens(c->kept.bytes, whole)) second = true;
        else if (dif_sequence_in_step(c->kept.bytes, whole, {0, false})) second = false;
        else result = channels_seek(w, c, &second);
    }
    if (second) c->shape.frame_size *= 2;
    return result;
}

// A frame begins where its first VAUX blocks say so, whatever a dropout
// did to its header and subcode blocks: its shape is its header's where
// that block is one, else the frame's before.
int32_t frame_begin(Walk* w, DvChain* c, bool* in_step) {
    DifHead head;
    int32_t result = chain_fetch(w, c, &head);
    if (result != 0) return result;
    *in_step = dif_sequence_in_step(head.bytes, head.got - head.got % dif_block_size, {0, false});
    if (!*in_step) return 0;
    head_keep(&head);
    bool header = dif_header_of(head.bytes, {0, false});
    *in_step = header || c->shape.frame_size != 0;  // a first frame with no header says no shape
    if (!*in_step) return 0;
    c->shape = header ? dv_shape_of(head.bytes) : dv_channel_shape(c->shape.lines_625);
    result = channels_learn(w, c);
    if (result != 0) return result;
    if (c->first.frame_size == 0) c->first = c->shape;
    result = head_feed(w, &head, {0, false}, c->shape.frame_size, in_step);
    chain_step(c, &head);
    return result;
}

int32_t sequence_walk(Walk* w, DvChain* c, bool* in_step) {
    if (c->index == 0) return frame_begin(w, c, in_step);
    DifHead head;
    int32_t result = chain_fetch(w, c, &head);
    if (result == 0) result = head_feed(w, &head, place_in(&c->shape, c->index), c->shape.frame_size, in_step);
    if (result == 0 && *in_step) chain_step(c, &head);
    return result;
}

// Where the sequence is not in step (bytes missing or added in the one
// before, a capture restarted into a file a crash cut, a damaged stretch),
// the walk goes on at the next sequence found from past what it read in
// step: one that begins a little early is found too. Only a stretch past
// where the sequence should have begun is passed over.
int32_t step_seek(Walk* w, DvChain* c) {
    DifPlace place = {};
    DvShape shape = {};
    int32_t result = 0;
    int64_t found = sequence_seek(w, c->seek_from, &place, &shape, &result);
    if (result != 0) return result;
    ++w->met.sync_losses;
    if (found > c->at) w->met.sync_skipped += found - c->at;
    c->at = found;
    c->seek_from = found + 1;
    c->index = place.sequence;
    if (place.sequence == 0 && !place.second_channel) return 0;  // a frame's start says its own shape
    // Within a frame whose start was not found, the found sequence's header
    // gives the system, and the frame before the rate.
    bool same_system = shape.lines_625 == c->shape.lines_625;
    if (place.second_channel) c->index += dif_channel_sequences(shape.lines_625);
    if (place.second_channel || (same_system && c->shape.frame_size > shape.frame_size)) shape.frame_size *= 2;
    c->shape = shape;
    return 0;
}

}  // namespace

// Sequence after sequence from the start of the file, each frame as long
// as its own shape says: a frame of another system or rate than the first
// (a PAL recording joined to an NTSC or a 50 Mbit/s one) is walked whole,
// and its packs go with its size, which tells them apart. A frame the end
// of the file cuts is read as far as it goes, and where the sequences go
// out of step the walk finds the next one and says what it passed over.
int32_t dv_walk(Walk* w) {
    DvChain c = {};
    c.kept.pos = -1;
    int64_t size = w->reader.size;
    int32_t result = 0;
    // Only a sequence with a whole VAUX block is worth a look.
    while (result == 0 && c.at + dif_vaux_offset + dif_block_size <= size) {
        bool in_step = false;
        result = sequence_walk(w, &c, &in_step);
        if (result == 0 && !in_step) result = step_seek(w, &c);
    }
    // The last frame ends where the file does unless the file is cut: its
    // end is where its sequences were found, so bytes missing inside a
    // frame are no cut.
    if (result == 0 && (c.at != size || c.index != 0)) walk_cut_note(w, 1);
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
