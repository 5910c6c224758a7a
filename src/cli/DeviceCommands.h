// The commands that work on the devices found by a discovery: scan, read, set and save.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "cli/CliOptions.h"
#include "cli/DeviceSelector.h"

namespace velkaro::cli {

// The selector given on the command line; a bad one is a usage error (TCliFailure).
TDeviceSelector ParseDevice(const std::string& text);
// Index of the one device of `devices` the selector names, or -1 with the reason in `error` (not
// found after `rounds` discovery rounds, ambiguous, or of a model this program does not know).
int LocateDevice(const TDeviceList& devices, const TDeviceSelector& selector, int rounds,
                 std::string& error);

// The devices a command with several targets works on, after one discovery of at most `rounds`
// exchanges: those named by `texts` in their order, or else (texts empty) every device of
// `model`, or every device when no model is given, in discovery order. A name given twice, by the
// same text or by the IP address and the MAC of one device, is a usage error before any further
// request. A name not found is a failure when `missingIsFatal`, otherwise a stderr line counted
// in `notFound`. Finding no device of the model (or none at all) is a failure.
std::vector<TZEL> DiscoverTargets(const std::vector<std::string>& texts,
                                  const std::optional<std::uint32_t>& model, int rounds,
                                  bool missingIsFatal, TCliContext& ctx, int& notFound);

// Each returns the exit code or throws TCliFailure.
int RunScan(const TCliOptions& o, TCliContext& ctx);
int RunRead(const TCliOptions& o, TCliContext& ctx);
int RunSet(const TCliOptions& o, TCliContext& ctx);
int RunSave(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
