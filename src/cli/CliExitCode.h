// Exit codes of velkaro-cli, relied on by scripts.
#pragma once

#include <stdexcept>
#include <string>

namespace velkaro::cli {

enum TExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,  // device not found or not responding, transfer failed
  kExitUsage = 2,    // bad arguments or values; nothing was sent to a device
};

// Ends a command with one line on stderr and the given exit code.
class TCliFailure : public std::runtime_error {
 public:
  TCliFailure(TExitCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  TExitCode Code() const { return code_; }

 private:
  TExitCode code_;
};

}  // namespace velkaro::cli
