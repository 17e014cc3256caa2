// The sites a container format finds itself rather than through a codec's
// scanner: bytes read from the file with the position of each, handed to
// the walk's sink. Shared by the container formats (MP4 and MOV,
// Matroska, AVI): a decoder configuration's places (an AVI stream format's
// extradata alike), the parameter sets at the head of each sample or
// frame, and the first bytes of MPEG video's samples, where a sequence
// header begins one.
#pragma once
#include <cstdint>

#include "codecs/site.h"
#include "codecs/sps.h"
#include "fileio/result.h"
#include "formats/walk.h"

struct SiteReader {
    Walk* walk;
    VideoCodec codec;
    Result broken;  // the container's word for damage: a box's, an element's, a chunk's
    PayloadRange range;  // where the site being handed lies, for the progress
    uint32_t length;     // bytes gathered
    uint8_t bytes[sps_bytes_most];
    int64_t pos[sps_bytes_most];
};

void site_reader_init(SiteReader* reader, Walk* walk, VideoCodec codec, Result broken);

// Appends `length` bytes at pos to the gathered ones (after `from` of
// them): 0, the container's broken result when the file ends before them
// (noted there), or a read's failure.
int32_t site_reader_gather(SiteReader* reader, uint32_t from, int64_t pos, uint32_t length);
// The range of the gathered bytes, whose unit (a box, an element, a
// sample) lies at unit_pos: the one a site made of them ends in.
const PayloadRange* site_reader_range(SiteReader* reader, int64_t unit_pos);
// Hands over a site made of the gathered bytes; a sink that takes no sites
// passes it over.
int32_t site_reader_hand(SiteReader* reader, const AspectSite* site);

// A parameter set of `length` bytes at pos.
int32_t parameter_set_hand(SiteReader* reader, int64_t pos, uint32_t length, SiteHolder holder, int64_t unit_pos);
// The parameter sets of an avcC or hvcC record of `length` bytes at pos,
// or of sets after start codes, as ffmpeg keeps the configuration of a
// stream framed by them.
int32_t config_sets_hand(SiteReader* reader, int64_t pos, uint32_t length, SiteHolder holder);
// The size of the units' length fields that the record says: 4 where it
// does not read, 0 where its sets follow start codes, as the frames' units
// then do.
uint32_t config_length_size(SiteReader* reader, int64_t pos, uint32_t length);
// The units of a sample or frame up to its first slice: each parameter set
// among them is handed over. One whose lengths do not add up is left at
// the unit that breaks; one that the end of a file cut short cuts is read
// as far as it goes, and a set cut there is counted in the walk's record.
int32_t unit_sets_hand(SiteReader* reader, int64_t pos, uint32_t size, uint32_t length_size);
// The units of a frame framed by start codes, up to its first slice (an
// MPEG-4 frame's up to its first VOP),
// handed to the payload's scanner, which then ends a set the frame ends.
// A frame that opens with no start code is passed over: no length field is
// ever taken for one. A set cut by the end of a file cut short is counted.
int32_t start_code_head_feed(SiteReader* reader, int64_t pos, uint32_t size);
// Bytes that may hold a sequence header (a decoder configuration's),
// handed to the payload's scanner as a run of their own.
int32_t mpeg_bytes_feed(SiteReader* reader, int64_t pos, uint32_t length);

// The VOLs of MPEG-4 video's decoder configuration (esds' decoder specific
// information, Matroska's CodecPrivate) of `length` bytes at pos.
int32_t config_vols_hand(SiteReader* reader, int64_t pos, uint32_t length, SiteHolder holder);

// An AVI stream format (an AVI's strf, the CodecPrivate of a Matroska track
// in AVI's manner) opens with a BITMAPINFOHEADER of this size, and the
// codec's configuration (its extradata) follows it. ffmpeg writes biSize
// as the two together, and reads the extradata from here whatever biSize
// says: so does the tool.
inline constexpr uint32_t stream_format_head_bytes = 40;

// The places of a codec's configuration (its extradata) of `length` bytes
// at pos: an MPEG sequence header, the VOLs of MPEG-4 video, the parameter
// sets of H.264 or HEVC (an avcC or hvcC record, or sets after start
// codes), VC-1's sequence headers after start codes, handed as the holder's; DV's DVINFO (after a stream format's
// BITMAPINFOHEADER, or a type-1 AVI stream's whole format), whose copy of
// the source control pack is a place of its own.
int32_t config_places_hand(SiteReader* reader, int64_t pos, uint32_t length, SiteHolder holder);
// The size of the length fields of H.264 or HEVC frames whose stream format
// has that extradata: a record's, else 0, frames framed by start codes, as
// an AVI's are where it holds no record, or none at all.
uint32_t format_extra_length_size(SiteReader* reader, int64_t pos, uint32_t length);

// The head of the video's first frame or sample, of a codec whose frames
// the tool never changes, where its header may record an aspect, with the
// container's picture; nothing for a codec whose frames are not read.
int32_t frame_header_hand(SiteReader* reader, ForeignCodec codec, uint32_t width, uint32_t height, int64_t pos,
                          uint32_t size);

// The first bytes of a sample or frame of a codec whose header opens the
// frames that have one (MPEG video's sequence header, H.263's picture
// header), handed to the payload's scanner.
int32_t mpeg_head_feed(SiteReader* reader, int64_t pos, uint32_t size);
