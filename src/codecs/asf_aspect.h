// ASF's pixel aspect: two records named AspectRatioX and AspectRatioY,
// DWORDs, of the video stream in the Metadata Object or the Metadata
// Library Object, which ffmpeg and the Windows players read, or of the
// whole file in the Extended Content Description Object, which they read
// for a stream without its own. A site is the two records together, next
// to each other as every writer puts them, or a Metadata Object that holds
// only them; only their values change, in place. A file without them gets
// such a Metadata Object in the room of a Padding Object of its Header
// Extension Object: written where the Padding Object began, the padding
// left after it, so that no byte after the room moves.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/video_codec.h"

// GUIDs as the file holds them: their first three fields little-endian.
inline constexpr uint8_t asf_guid_metadata[16] = {0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48,
                                                  0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA};
inline constexpr uint8_t asf_guid_padding[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                                 0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
inline constexpr uint32_t asf_object_head_bytes = 24;
// A Metadata Object of the one pair: its head, its count, the two records.
inline constexpr uint32_t asf_pair_object_bytes = 26 + 2 * (12 + 26 + 4);
// Such an object and the head of the Padding Object after it.
inline constexpr uint32_t asf_pair_span_most = asf_pair_object_bytes + asf_object_head_bytes;

// Metadata and Metadata Library records: a head of 12 bytes (a reserved or
// language word, the stream number, the name's and the data's lengths and
// type), the name in UTF-16 with its terminating zero, the data. The
// Extended Content Description's descriptors: the name's length, the
// name, the value's type and length, the value.
enum AsfRecordForm : uint8_t { asf_form_metadata, asf_form_descriptor };

enum AsfAspectName : uint8_t { asf_name_other, asf_name_x, asf_name_y };

struct AsfRecord {
    uint64_t length;     // the whole record's
    uint16_t stream;     // 0 for a descriptor: the whole file
    AsfAspectName name;
    bool dword;          // of type DWORD, four bytes long
    uint32_t value_at;   // from the record's start
};

// The record at the bytes: false where its head runs past them (a
// descriptor's head is all before its value). A name that runs past them
// is none of the aspect's.
bool asf_record_read(const uint8_t* bytes, uint32_t available, AsfRecordForm form, AsfRecord* record);

// Whether a Padding Object of the size gives room for a Metadata Object
// of the pair: it takes the whole of it, or leaves room for a padding head.
bool asf_padding_room(uint64_t size);

// A pair of aspect records (holder_asf_metadata, holder_asf_library,
// holder_asf_content), a Metadata Object of the pair alone
// (holder_asf_metadata), a Padding Object that gives room for one
// (holder_asf_padding), or where the file has neither, the head of its
// Header Extension Object, which takes nothing (holder_asf_header); the
// stream the room's records are written for.
AspectSite site_asf_aspect_make(VideoCodec codec, SiteHolder holder, const uint8_t* bytes, const int64_t* pos,
                                uint32_t length, const PayloadRange* range, uint32_t picture_width,
                                uint32_t picture_height, uint16_t stream);
extern const PlaceOps asf_aspect_places;
