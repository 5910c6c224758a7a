#include "cli/DeviceDiscovery.h"

#include <thread>

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"

namespace velkaro::cli {

int DiscoverDevices(int rounds, const std::function<bool()>& done) {
  DeviceList.Clear();
  SelectedDevice = 0;
  int run = 0;
  auto next = std::chrono::steady_clock::now();
  while (run < rounds) {
    std::this_thread::sleep_until(next);
    // A round longer than the interval (a busy network) is followed at once by the next.
    next = std::chrono::steady_clock::now() + kScanInterval;
    Discover(MergeReply);
    ++run;
    if (done && done()) break;
  }
  return run;
}

}  // namespace velkaro::cli
