// UDF's side of a disc image, as DVD players read it: the anchor at sector
// 256, the main volume descriptor sequence (the partition and the logical
// volume), the file set, the root directory's file entry and its file
// identifiers, the VIDEO_TS folder, and each file's entry with its
// allocation descriptors, short or long.
#pragma once
#include <cstdint>

#include "formats/disc_image.h"

// 0 with the files, disc_system_absent where sector 256 holds no anchor,
// or the refusal of disc_video_files; a logical volume of a later UDF than
// DVD-Video's 1.02 (a Blu-ray's 2.50) is result_disc_other.
int32_t udf_video_files(FileHandleRec* file, DiscFiles* files);
