// Runs the built velkaro-cli as a child process and collects what it printed and its exit code.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velkaro::cli::testing {

struct TCliRun {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
  bool timedOut = false;
  std::chrono::milliseconds duration{0};
};

// Runs `program` with `args` and stdin on /dev/null. A run that outlasts `timeout` is killed.
// With `stderrOnTerminal` the child's stderr is a pseudo-terminal (so isatty(2) holds); its
// line ends then come back as "\r\n".
TCliRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   std::chrono::milliseconds timeout = std::chrono::seconds(30),
                   bool stderrOnTerminal = false);

}  // namespace velkaro::cli::testing
