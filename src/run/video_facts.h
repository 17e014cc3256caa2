// What a run tells of its video for a report for scripts: the facts the
// analysis found, before the walk and, where the request asks for them,
// again after a walk that wrote.
#pragma once
#include "notices/fact_notices.h"
#include "run/analysis.h"
#include "run/file_edit.h"

// The sample aspect the video shows: a container's own field where it has
// one (the most common players take it over the parameter sets'), else
// the first parameter set's.
SarRatio video_shown_sar(const SequenceHeaderInfo* info);

VideoFactsNotice video_facts_of(const SequenceHeaderInfo* info, const VideoLayout* video, bool after);

// Looks at the run's file again, read-only and telling nothing else, once
// its walk is over, and tells what the video shows now.
void video_facts_after(const FileRun* run, StreamKind kind);
