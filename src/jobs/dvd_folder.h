// A DVD-Video folder taken whole. Each title set's title VOBs (VTS_nn_1.VOB
// to VTS_nn_9.VOB) are one stream with one target, decided from the first
// of them; the video attributes that VTS_nn_0.IFO and VTS_nn_0.BUP record
// follow once every VOB of the set is done. Menus are left alone. Names are
// found in any letter case: a disc mounted from ISO 9660 or UDF, or copied
// to a FAT disk, may show them in lower case.
#pragma once
#include <string>

#include "jobs/batch_file.h"

// The VIDEO_TS folder of a DVD-Video folder: the folder itself, or the
// VIDEO_TS folder in it. False when it is neither.
bool dvd_folder_find(const std::string& folder, std::string* video_ts);

// Every title set of the VIDEO_TS folder, counted into the batch.
void dvd_folder_run(Batch* batch, const RunRequest* request, const std::string& video_ts);
