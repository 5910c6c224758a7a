// restore and apply: a saved .cfg section written back to one device, or a template section to
// many devices at once.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Returns the exit code or throws TCliFailure.
int RunRestore(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
