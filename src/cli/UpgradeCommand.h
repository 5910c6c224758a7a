// `upgrade IP FILE`: the upgrade trigger, then one TFTP upload of the image per device answer.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Remote file name the devices expect for their firmware image.
inline constexpr const char* kUpgradeRemoteName = "/";
inline constexpr int kUpgradeReceiveTimeoutMs = 4000;
inline constexpr int kUpgradeBlockSize = 1500;

// Returns the exit code or throws TCliFailure.
int RunUpgrade(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
