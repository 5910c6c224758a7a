// `upgrade DEVICE... FILE`, `upgrade --model CODE FILE`, `upgrade --all FILE`: the image is
// checked, the devices found, then each one triggered, given one upload and waited for.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Images over this size are refused unless --force is given.
inline constexpr std::uintmax_t kLargestImageWithoutForce = 64u * 1024 * 1024;

// Returns the exit code or throws TCliFailure.
int RunUpgrade(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
