// The one place that turns what the runs below have to say into console
// lines, the closing lines of a run's outcome among them.
#pragma once
#include <cstdint>

#include "notices/notice.h"

// The sink the command line hands down to every run.
NoticeSink report_sink();
