// Where an ISO media file's video samples lie: its sample table (stsc,
// stsz or stz2, stco or co64) and, in a fragmented file, the track runs of
// its movie fragments (moof, traf, tfhd, trun).
#pragma once
#include <cstdint>
#include <vector>

#include "formats/iso_media.h"

struct IsoSample {
    int64_t pos;
    uint32_t size;
};

// Every sample of the video track with bytes, in the order of their file
// positions: 0, result_box_broken (a table that runs past its box),
// result_samples_unaccounted (tables that do not account for every sample,
// or none in a movie that is not fragmented), result_samples_outside (a
// sample past the end of the file), or a read's failure. In a file cut
// short after its movie (a box after it runs past the end: a download
// stopped), the samples of the movie's tables that do not end within the
// file are counted in *beyond instead, and those that begin there listed.
int32_t iso_samples_list(BlockReader* reader, const IsoMovie* movie, std::vector<IsoSample>* samples,
                         uint64_t* beyond);
// The playing time of the video's samples in the movie fragments, where
// the movie has them (its own tables then hold none or few): 0 where the
// fragments do not read.
double iso_fragments_duration(BlockReader* reader, const IsoMovie* movie);
