// What a run tells of its video for a report for scripts: the facts the
// analysis found, before the walk and, where the request asks for them,
// again after a walk that wrote.
#pragma once
#include "notices/fact_notices.h"
#include "run/analysis.h"
#include "run/file_edit.h"

VideoFactsNotice video_facts_of(const SequenceHeaderInfo* info, const VideoLayout* video, bool after);

// Looks at the run's file again, read-only and telling nothing else, once
// its walk is over, and tells what the video shows now.
void video_facts_after(const FileRun* run, StreamKind kind);
