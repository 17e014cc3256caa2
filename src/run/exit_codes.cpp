#include "run/exit_codes.h"

int outcome_exit_code(const RunOutcome* outcome) {
    if (outcome->ending == ending_no_marker) return exit_no_marker;
    if (outcome->ending == ending_restored_partly) return exit_restore_partial;
    if (outcome->result < 0) return exit_engine_error;
    return outcome->sets_left ? exit_sps_left : exit_ok;
}
