// The process's exit codes: how one file's run ended, and how a batch did.
#pragma once
#include "notices/file_notices.h"

enum ExitCode {
    exit_ok = 0,
    exit_usage = 1,  // also: the file could not be read for the analysis
    exit_no_file = 2,
    exit_bad_option = 3,  // an -o value outside 0-15, -u with -l or -o, an unknown option
    exit_same_aspect = 4,
    exit_not_mpeg = 5,  // also: a transport stream without video the tool takes
    exit_engine_error = 6,
    exit_open_gave_up = 7,  // also: a file that can never be opened for writing
    exit_restore_partial = 8,
    exit_no_marker = 9,  // -u without a marker file the tool can read
    exit_no_aspect_field = 10,  // H.264/HEVC video whose parameter set has no aspect to change
    exit_sps_left = 11,  // H.264/HEVC parameter sets that cannot take the target in place
    exit_place_refused = 12,  // MP4/MOV: a place that cannot take the target in place; nothing written
};

// The exit code of a run that stopped on the result, an error: video the
// tool cannot read (scrambled) is a file it does not take, as encrypted
// video is; anything else stopped the run.
int result_exit_code(Result result);
// The exit code of a file's run whose walk came to the outcome.
int outcome_exit_code(const RunOutcome* outcome);
