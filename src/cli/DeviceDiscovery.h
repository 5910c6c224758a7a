// Discovery cycle of the command-line tool: the GUI's scan without the timer.
#pragma once

#include <chrono>
#include <functional>

namespace velkaro::cli {

// Start-to-start spacing of the discovery exchanges, as the GUI's scan timer ticks.
inline constexpr std::chrono::milliseconds kScanInterval{250};

// Empties DeviceList, then runs up to `rounds` discovery exchanges kScanInterval apart, merging
// every reply. When `done` is given it is asked after each exchange and ends the cycle early by
// returning true. Returns the number of exchanges run.
int DiscoverDevices(int rounds, const std::function<bool()>& done = {});

}  // namespace velkaro::cli
