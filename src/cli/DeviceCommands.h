// The commands that work on the devices found by a discovery: scan, read, set and save.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"
#include "cli/DeviceSelector.h"

namespace velkaro::cli {

// The selector given on the command line; a bad one is a usage error (TCliFailure).
TDeviceSelector ParseDevice(const std::string& text);
// Index of the one listed device the selector names, or -1 with the reason in `error` (not found
// after `rounds` discovery rounds, ambiguous, or of a model this program does not know).
int LocateDevice(const TDeviceSelector& selector, int rounds, std::string& error);

// Each returns the exit code or throws TCliFailure.
int RunScan(const TCliOptions& o, TCliContext& ctx);
int RunRead(const TCliOptions& o, TCliContext& ctx);
int RunSet(const TCliOptions& o, TCliContext& ctx);
int RunSave(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
