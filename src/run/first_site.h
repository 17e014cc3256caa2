// The video's first header, the reference every place to change must
// belong to: MPEG video's first sequence header through the probe, which
// also says what follows it, or the first site that any other codec's
// scanner hands over and that says which video it belongs to.
#pragma once
#include <cstdint>

#include "edit/editor.h"
#include "formats/walk.h"
#include "notices/notice.h"
#include "run/analysis.h"

// The video's first sequence header, as the payload goes by; a packet sent
// twice is read from the state before its first copy, and a break loses
// what was put together.
struct ProbeSink {
    VideoHeaderProbe* probe;
    VideoHeaderProbe before;
    bool settle;  // on to the start code after it, not only the header
};
int32_t probe_feed(void* context, const uint8_t* buffer, int64_t buffer_pos, const PayloadRange* ranges,
                   uint32_t count);

// The first site from the rest of the file, where the head window did not
// hold it (or, for MPEG video, what follows the first header, or that its
// start codes are MPEG-4 video's). A head window that held the whole file
// and no header may have stopped at damage, which the walk of the file
// reports (or, with -r, walks past). For video whose frames the tool never
// changes, the first frame's header, where it records an aspect (none is
// no error). 0, or why there is none.
int32_t reference_seek(FileHandleRec* file, const ConvertJob* job, NoticeSink notices,
                       SequenceHeaderInfo* info, VideoLayout* video);
