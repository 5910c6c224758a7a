// How TFileLock waits for its lock, the same on every system; AtomicFilePosix.cpp and
// AtomicFileWin.cpp give it their own calls for the steps.
#pragma once

#include <functional>
#include <string>

namespace velkaro {

struct TFileLockSteps {
  // Opens the file the name stands for (creating it when missing) into the caller's state;
  // false when it came or went meanwhile and the next attempt should start at once.
  std::function<bool()> open;
  // One attempt at the exclusive lock of what was opened, without blocking; false while another
  // holder has it.
  std::function<bool()> tryLock;
  // Whether the name still designates the opened file (a holder may have replaced it).
  std::function<bool()> stillNamed;
};

// Opens, locks and checks until the locked file is the named one, bounded by `timeoutMs` and by
// a count. Throws std::system_error: EWOULDBLOCK while another holder keeps the lock past the
// time, EAGAIN while the name keeps designating another file.
void WaitForFileLock(const std::string& fileName, int timeoutMs, const TFileLockSteps& steps);

}  // namespace velkaro
