// `upgrade DEVICE... FILE`, `upgrade --model CODE FILE`, `upgrade --all FILE`: the image is
// checked, the devices found, then each one triggered, given one upload and waited for.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Returns the exit code or throws TCliFailure.
int RunUpgrade(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
