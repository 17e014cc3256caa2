// What a run tells of its video for a report for scripts: the facts the
// analysis found (before the walk and, where the request asks for them,
// again after a walk that wrote).
#pragma once
#include "notices/fact_notices.h"
#include "run/analysis.h"

VideoFactsNotice video_facts_of(const SequenceHeaderInfo* info, const VideoLayout* video, bool after);
