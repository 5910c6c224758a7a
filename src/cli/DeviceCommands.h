// The commands that work on the devices found by a discovery: scan, read, set and save.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Each returns the exit code or throws TCliFailure.
int RunScan(const TCliOptions& o, TCliContext& ctx);
int RunRead(const TCliOptions& o, TCliContext& ctx);
int RunSet(const TCliOptions& o, TCliContext& ctx);
int RunSave(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
