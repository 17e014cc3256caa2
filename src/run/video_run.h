// The run of a file's video once it is analysed: the target settled from
// -o, or by default from the aspect the video shows (a container's own
// field over the video's) or showed before the tool first changed it;
// where the mode asks it, whether every place takes the target and one
// needs it; then the editor's walk.
#pragma once
#include "run/analysis.h"
#include "run/file_edit.h"

// The exit code of the run of MPEG, H.264 or HEVC video, or of a codec
// whose container alone records the aspect the tool changes.
int video_run(FileRun* run, const SequenceHeaderInfo* info, const VideoLayout* video);
