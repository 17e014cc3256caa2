#include "run/exit_codes.h"

int result_exit_code(Result result) {
    switch (result) {
    case result_video_scrambled:
    case result_disc_other: return exit_not_mpeg;
    // Nothing in the image can move, so a file in pieces has no place to
    // change in place.
    case result_disc_split: return exit_place_refused;
    default: return exit_engine_error;
    }
}

int outcome_exit_code(const RunOutcome* outcome) {
    if (outcome->ending == ending_no_marker) return exit_no_marker;
    if (outcome->ending == ending_restored_partly) return exit_restore_partial;
    if (outcome->result < 0) return result_exit_code(outcome->result);
    return outcome->sets_left ? exit_sps_left : exit_ok;
}
