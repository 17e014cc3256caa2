// Disc images (a DVD's .iso): a file system of their own (ISO 9660, UDF)
// around the files of the disc, which no walk of one stream may read
// through: the image's VOBs are many files, and its IFOs beside them. A
// DVD-Video image's VIDEO_TS files are found through its file systems,
// each in the one stretch of the image it lies in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fileio/fileio.h"

inline constexpr uint32_t disc_sector_size = 2048;
inline constexpr uint32_t udf_anchor_sector = 256;
inline constexpr uint32_t udf_tag_size = 16;
inline constexpr uint16_t udf_tag_anchor = 2;

// Whether a UDF descriptor's tag is of that id, its checksum right (the
// sum of its other fifteen bytes).
bool udf_tag_valid(const uint8_t* tag, uint16_t id);

// Whether the head holds a disc's file system: ISO 9660's or UDF's volume
// recognition at sector 16 (CD001, BEA01), or UDF's anchor at sector 256
// with its tag's checksum right.
bool disc_image_holds(const uint8_t* head, uint32_t length);

// A file of the image's VIDEO_TS folder: its name in upper case, as ISO
// 9660 gives it without its version, and where it lies in the image.
struct DiscFile {
    std::string name;
    int64_t start;
    int64_t length;
};
typedef std::vector<DiscFile> DiscFiles;

// Where a file system's reader stands: one not on the disc at all, which
// the other's reader then answers for.
inline constexpr int32_t disc_system_absent = 2;

// Reads `length` bytes at the image position `at`: false where the image
// does not hold them all.
bool disc_bytes_read(FileHandleRec* file, int64_t at, uint8_t* bytes, uint32_t length);
// Adds a file of VIDEO_TS found in the extents of a file entry or record:
// result_disc_split where it lies in more than one.
int32_t disc_file_add(DiscFiles* files, const std::string& name, int64_t start, int64_t length, uint32_t extents);

// The file of that name, or null.
const DiscFile* disc_file_find(const DiscFiles& files, const char* name);
