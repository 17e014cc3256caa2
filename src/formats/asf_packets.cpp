#include "formats/asf_packets.h"

#include <memory>

#include "codecs/payload.h"
#include "fileio/result.h"

namespace {

// A Data Object's head: the object's, its file id, its packet count and
// two reserved bytes; the packets follow.
constexpr uint32_t data_head_bytes = 50;
constexpr uint8_t error_correction_present = 0x80;
constexpr uint8_t multiple_payloads = 0x01;
constexpr uint8_t stream_number_mask = 0x7F;
// Replicated data of this length marks a payload of whole small objects,
// each after a length byte; of 8 or more, the object's size comes first.
constexpr uint32_t compressed_replicated = 1;
constexpr uint32_t object_size_replicated = 8;
constexpr uint32_t ranges_most = 256;

// A packet's bytes, read field by field; a field past its end marks it.
struct Cursor {
    const uint8_t* bytes;
    uint32_t length;
    uint32_t at;
    bool overrun;
};

// A field of the width that a 2-bit length type gives: none, a byte, a
// word, a dword.
uint32_t typed_read(Cursor* c, uint32_t type) {
    static const uint32_t widths[] = {0, 1, 2, 4};
    uint32_t width = widths[type & 3];
    if (c->length - c->at < width) {
        c->overrun = true;
        return 0;
    }
    const uint8_t* b = c->bytes + c->at;
    c->at += width;
    return width == 1 ? b[0] : width == 2 ? le16_at(b) : width == 4 ? le32_at(b) : 0;
}

void skip(Cursor* c, uint32_t n) {
    if (c->length - c->at < n) {
        c->overrun = true;
        return;
    }
    c->at += n;
}

// Where the media object being joined stands: its fragments must follow
// one another, or the frame is broken off.
struct ObjectState {
    bool open;
    uint32_t number;
    uint32_t next_offset;
    uint32_t size;  // 0 where the replicated data does not say it
};

struct PacketRanges {
    PayloadRange ranges[ranges_most];
    uint32_t count;
    int64_t pos;
};

void range_add(PacketRanges* p, uint32_t first, uint32_t end, uint8_t breaks) {
    if (p->count < ranges_most) p->ranges[p->count++] = {first, end, breaks, p->pos, p->pos};
}

// One payload of the video stream: a fragment of an object, or a run of
// whole small objects each after its length byte.
void payload_take(Cursor* c, uint32_t first, uint32_t end, uint32_t number, uint32_t offset,
                  uint32_t replicated_at, uint32_t replicated, ObjectState* object, PacketRanges* p) {
    if (replicated == compressed_replicated) {
        for (uint32_t at = first; at < end && !c->overrun;) {
            uint32_t n = c->bytes[at++];
            if (n > end - at) c->overrun = true;
            if (!c->overrun) range_add(p, at, at + n, payload_gap | payload_unit_end);
            at += n;
        }
        object->open = false;
        return;
    }
    bool continues = object->open && object->number == number && object->next_offset == offset && offset != 0;
    if (!continues) {
        object->size = replicated >= object_size_replicated ? le32_at(c->bytes + replicated_at) : 0;
    }
    object->open = true;
    object->number = number;
    object->next_offset = offset + (end - first);
    bool ends = object->size != 0 && object->next_offset >= object->size;
    range_add(p, first, end, (continues ? 0 : payload_gap) | (ends ? payload_unit_end : 0));
    if (ends) object->open = false;
}

// The payload parsing information and every payload of the packet; the
// video stream's go into the ranges.
void packet_parse(Cursor* c, uint16_t stream, ObjectState* object, PacketRanges* p) {
    if ((c->bytes[0] & error_correction_present) != 0) skip(c, 1 + (c->bytes[0] & 0x0F));
    uint32_t flags = typed_read(c, 1);
    uint32_t properties = typed_read(c, 1);
    uint32_t packet_length = typed_read(c, flags >> 5);
    typed_read(c, flags >> 1);  // sequence
    uint32_t padding = typed_read(c, flags >> 3);
    skip(c, 6);  // send time, duration
    uint32_t end = packet_length != 0 ? packet_length : c->length;
    if (c->overrun || end > c->length || end < c->at || padding > end - c->at) {
        c->overrun = true;
        return;
    }
    end -= padding;
    bool multiple = (flags & multiple_payloads) != 0;
    uint32_t payloads = multiple ? typed_read(c, 1) : 1;
    uint32_t length_type = multiple ? payloads >> 6 : 0;
    for (uint32_t k = 0; k < (payloads & 0x3F) && !c->overrun; ++k) {
        uint32_t number_byte = typed_read(c, 1);
        uint32_t number = typed_read(c, properties >> 4);
        uint32_t offset = typed_read(c, properties >> 2);
        uint32_t replicated = typed_read(c, properties);
        uint32_t replicated_at = c->at;
        skip(c, replicated);
        uint32_t size = multiple ? typed_read(c, length_type) : 0;
        if (c->overrun || c->at > end) {
            c->overrun = true;
            return;
        }
        if (!multiple) size = end - c->at;
        if (size > end - c->at) {
            c->overrun = true;
            return;
        }
        uint32_t first = c->at;
        c->at += size;
        if ((number_byte & stream_number_mask) != stream) continue;
        payload_take(c, first, c->at, number, offset, replicated_at, replicated, object, p);
    }
}

}  // namespace

int32_t asf_packets_walk(Walk* w, const AsfFile* f) {
    BlockReader* reader = &w->reader;
    int64_t end = f->data_end < reader->size ? f->data_end : reader->size;
    ObjectState object = {};
    std::unique_ptr<PacketRanges> p(new PacketRanges{});
    int32_t result = 0;
    for (int64_t pos = f->data + data_head_bytes; pos < end && result == 0; pos += f->packet_size) {
        if (end - pos < f->packet_size) {
            walk_cut_note(w, 1);
            break;
        }
        const uint8_t* bytes = nullptr;
        uint32_t got = 0;
        // Packets follow one another: a read takes a whole piece of them.
        result = reader_fetch_dense(reader, pos, f->packet_size, &bytes, &got);
        if (result != 0) break;
        if (got < f->packet_size) {
            result = reader_broken(reader, pos, result_object_broken);
            break;
        }
        Cursor c = {bytes, f->packet_size, 0, false};
        p->count = 0;
        p->pos = pos;
        packet_parse(&c, f->stream, &object, p.get());
        if (c.overrun) {
            result = reader_broken(reader, pos, result_object_broken);
            break;
        }
        if (p->count > 0) result = w->sink.feed(w->sink.context, bytes, pos, p->ranges, p->count);
    }
    return result;
}
