// The one place that turns what the runs below have to say into console
// lines, and a run's outcome into its exit code.
#pragma once
#include <cstdint>

#include "edit/notice.h"

// The sink the command line hands down to every run.
NoticeSink report_sink();

// The closing lines of an outcome, and the exit code it gives.
int outcome_report(const RunOutcome* outcome);
