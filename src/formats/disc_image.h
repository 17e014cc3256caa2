// Disc images (a DVD's .iso): a file system of their own (ISO 9660, UDF)
// around the files of the disc, which no walk of one stream may read
// through: the image's VOBs are many files, and its IFOs beside them.
#pragma once
#include <cstdint>

// Whether the head holds a disc's file system: ISO 9660's or UDF's volume
// recognition at sector 16 (CD001, BEA01), or UDF's anchor at sector 256
// with its tag's checksum right.
bool disc_image_holds(const uint8_t* head, uint32_t length);
