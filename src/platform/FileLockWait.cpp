#include "platform/FileLockWait.h"

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace velkaro {

void WaitForFileLock(const std::string& fileName, int timeoutMs, const TFileLockSteps& steps) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // A holder may replace the file while we wait: the lock then sits on the old file, so wait
  // again on the new one.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (!steps.open()) continue;
    while (!steps.tryLock()) {
      if (Clock::now() >= deadline)
        throw std::system_error(EWOULDBLOCK, std::generic_category(),
                                fileName + " stays locked by another save");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (steps.stillNamed()) return;
    if (Clock::now() >= deadline) break;
  }
  throw std::system_error(EAGAIN, std::generic_category(), fileName + " keeps changing");
}

}  // namespace velkaro
