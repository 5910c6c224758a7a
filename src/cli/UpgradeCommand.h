// `upgrade IP FILE`: the upgrade trigger, then one TFTP upload of the image per device answer.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Remote file name the devices expect for their firmware image.

// Returns the exit code or throws TCliFailure.
int RunUpgrade(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
