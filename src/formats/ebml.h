// EBML, the binary layout of Matroska and WebM files: elements, each an ID
// and a size written as variable-length integers, then its data; masters
// hold elements. A master of unknown size runs until an element that
// cannot be its child.
#pragma once
#include <cstdint>

#include "codecs/ebml_vint.h"
#include "formats/reader.h"

struct EbmlElement {
    uint32_t id;  // as written, with its length marker: 0x1A45DFA3
    int64_t start;
    int64_t size_pos;  // its size field
    uint32_t size_length;
    int64_t body;
    int64_t end;  // for an unknown size, the end of what holds it
    bool unknown;
};

enum EbmlRead {
    ebml_found,
    ebml_none,    // the parent ends here
    ebml_broken,  // an ID or size that does not read, or data that runs past the parent
};

// The element at pos, inside a parent whose bytes end at parent_end, from
// bytes that hold at least 12 bytes at pos or the rest of the parent.
EbmlRead ebml_header_parse(const uint8_t* bytes, uint32_t available, int64_t pos, int64_t parent_end,
                           EbmlElement* element);
// The same through the reader: 0 or a read's failure in *result.
EbmlRead ebml_read(BlockReader* reader, int64_t pos, int64_t parent_end, EbmlElement* element, int32_t* result);
// As ebml_read, in a parent that runs to the end of a file cut short (a
// recording stopped by a crash): an element whose data runs past that end
// is found with the end its size gives, and one whose head the end cuts is
// none; *cut says either.
EbmlRead ebml_read_to_cut(BlockReader* reader, int64_t pos, EbmlElement* element, bool* cut, int32_t* result);
// An unsigned integer element's value (up to eight bytes, big-endian).
uint64_t ebml_uint(const uint8_t* bytes, uint32_t length);
// The length of a string element's text: up to its first zero byte, since
// a writer may pad the data with zeros (GStreamer's "matroska\0").
uint32_t ebml_string_length(const uint8_t* bytes, uint32_t length);
