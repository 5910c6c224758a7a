// velkaro-cli metrics: one discovery, a read of every device found, and their state and counters
// in the Prometheus text format on stdout or in a file replaced whole.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Returns the exit code or throws TCliFailure. A device that does not answer its read is shown
// down and does not fail the run; a failed discovery exchange (the list may lack devices) and a
// file that cannot be written do.
int RunMetrics(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
