// FLV, Flash Video: a header, then tags, each an 11-byte head (its type,
// the size of its data, its timestamp in milliseconds, a stream id), its
// data, and the size of the whole tag again after it. A video tag (type 9)
// opens with a byte whose low four bits name the codec; an H.264 tag's
// next byte says what follows its composition time: the sequence header
// (an avcC record), units framed by length fields, or the end. No field of
// the file records the aspect: the parameter sets are the only places.
#pragma once
#include <cstdint>

#include "fileio/result.h"
#include "formats/reader.h"

inline constexpr uint32_t flv_tag_head_bytes = 11;
// A video tag's first data bytes: the frame type and codec, and an H.264
// tag's packet type and composition time.
inline constexpr uint32_t flv_video_head_bytes = 5;
inline constexpr uint8_t flv_tag_video = 9;
inline constexpr uint8_t flv_codec_avc = 7;
inline constexpr uint8_t flv_avc_sequence_header = 0;
inline constexpr uint8_t flv_avc_units = 1;

struct FlvTag {
    int64_t start;
    int64_t body;
    int64_t end;  // of its data; the size of the whole tag follows
    uint8_t type;
    bool filtered;  // its data is encrypted
    uint32_t time;  // milliseconds
    bool cut;       // the end of a file cut short cuts it
    // Its first data bytes (as many as it has, within the file).
    uint8_t head[flv_video_head_bytes];
    uint32_t head_length;
};

// Whether the bytes open an FLV file: "FLV", version 1, and a header of at
// least its 9 bytes.
bool flv_opens(const uint8_t* head, uint32_t length);

enum FlvRead {
    flv_found,
    flv_end,     // the file ends after the last tag's size
    flv_cut,     // it ends within a tag's head or the size before it
    flv_broken,  // a type or a size that does not read
};

// The first tag's position, after the header and the size that follows it.
int64_t flv_first_tag(BlockReader* reader, int32_t* result);
// The tag at pos, the size before it checked against the tag before it
// (none at the first: 0).
FlvRead flv_tag_read(BlockReader* reader, int64_t pos, int64_t before, FlvTag* tag, int32_t* result);
// The timestamp of the last tag, which the size at the end of the file
// finds: false where that does not read (a file cut short).
bool flv_last_time(BlockReader* reader, uint32_t* time);

// The tags in file order, each handed to `take` until it says stop (a
// non-zero result, which is returned) or the file ends: 0, a read's
// failure, or result_tag_broken where a tag's type or either of its sizes
// does not read (noted at that tag). A file cut short ends at the tag the
// end cuts, which is handed as such; *cut says it ended so.
template <typename Take>
int32_t flv_tags_each(BlockReader* reader, bool* cut, Take take) {
    int32_t result = 0;
    *cut = false;
    FlvTag tag = {};
    int64_t before = 0;
    for (int64_t pos = flv_first_tag(reader, &result); result == 0; pos = tag.end + 4) {
        FlvRead read = flv_tag_read(reader, pos, before, &tag, &result);
        if (result != 0) return result;
        if (read == flv_broken) return result_tag_broken;
        *cut = read == flv_cut || tag.cut;
        if (read != flv_found) return 0;
        result = take(tag);
        if (result != 0 || tag.cut) return result;
        before = tag.end - tag.start;
    }
    return result;
}
