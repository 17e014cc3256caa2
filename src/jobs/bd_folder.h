// A Blu-ray or AVCHD folder taken whole, clip by clip: each clip's stream
// (STREAM/NNNNN.m2ts, .MTS on a camcorder's card), its clip information
// (CLIPINF/NNNNN.clpi, .CPI) and that file's copy under BACKUP/CLIPINF
// change together, or none of them. Playlists record no aspect and are
// left alone. Names are found in any letter case.
#pragma once
#include <string>

#include "jobs/batch_file.h"

// The BDMV folder of a Blu-ray or AVCHD folder: the folder itself, the
// BDMV folder in it, or its PRIVATE/AVCHD/BDMV; each holds index.bdmv (or
// INDEX.BDM). False when it is none of them.
bool bd_folder_find(const std::string& folder, std::string* bdmv);

// Every clip of the BDMV folder, counted into the batch.
void bd_folder_run(Batch* batch, const RunRequest* request, const std::string& bdmv);
