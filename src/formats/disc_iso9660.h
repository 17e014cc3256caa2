// ISO 9660's side of a disc image: its primary volume descriptor, the root
// directory and the VIDEO_TS folder's records, each file's extents by its
// records (a file in several has the multi-extent flag on all but the last).
#pragma once
#include <cstdint>

#include "formats/disc_image.h"

// 0 with the files, disc_system_absent where sector 16 holds no CD001, or
// the refusal of disc_video_files.
int32_t iso9660_video_files(FileHandleRec* file, DiscFiles* files);
