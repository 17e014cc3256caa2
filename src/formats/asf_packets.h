// The data packets of an ASF file, walked for the frames of a codec whose
// frames record the aspect (VC-1's advanced profile, whose key frames may
// open with a sequence header): every payload of the video stream is handed
// to the codec's scanner, in order, each media object (a frame) a unit of
// its own, its fragments joined across packets. A packet whose parsing
// information runs past it is damage.
#pragma once
#include <cstdint>

#include "formats/asf.h"
#include "formats/walk.h"

// The packets of the Data Object at `data` (its head's position) to its end
// or the end of the file, where a recording stopped early ends: 0, the
// sink's result, result_object_broken (noted), or a read's failure.
int32_t asf_packets_walk(Walk* walk, const AsfFile* file);
