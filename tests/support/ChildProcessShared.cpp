// The parts of the process runner that are the same on every system.
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <string>

#include "support/ChildProcess.h"

namespace velkaro::testing {

namespace {

using Clock = std::chrono::steady_clock;

long long MsLeft(Clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

}  // namespace

bool TChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    const long long left = MsLeft(deadline);
    if (left <= 0 || out_ < 0) return false;
    ReadSome(static_cast<int>(left));
  }
  return true;
}

int TChildProcess::Concluded(int status, bool killed) {
  Reap(status);
  if (killed) {
    exitCode_ = -1;
    exitedNormally_ = false;
  }
  // Whatever is still in the pipes; holders of their write ends may live on, so bounded.
  for (int i = 0; i < 1000 && ReadSome(0); ++i) {
  }
  return exitCode_;
}

bool TChildProcess::ReadUntilClosed(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (out_ >= 0 || err_ >= 0) {
    const long long left = MsLeft(deadline);
    if (left <= 0) return false;
    ReadSome(static_cast<int>(left));
  }
  return true;
}

TProgramRun RunProgram(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
                       bool stderrOnTerminal) {
  using Stderr = TChildOptions::Stderr;
  const auto start = Clock::now();
  TChildProcess child(args, {stderrOnTerminal ? Stderr::Terminal : Stderr::Separate});
  if (!child.Started())
    throw std::runtime_error("cannot start " + args.at(0) + " (system error " +
                             std::to_string(child.StartError()) + ")");
  TProgramRun run;
  run.timedOut = !child.ReadUntilClosed(timeout);
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(start + timeout - Clock::now());
  const int code = child.Finish(run.timedOut ? std::chrono::milliseconds(0) : left);
  run.duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  run.exitCode = child.ExitedNormally() ? code : -1;
  // A crash is told in the test's log by name and status, never mistaken for an ordinary exit.
  if (!child.ExitedNormally() && !run.timedOut)
    std::cerr << args.at(0) << " did not exit normally: status " << code << " (0x" << std::hex
              << static_cast<unsigned>(code) << std::dec << ")\n";
  run.out = child.Output();
  run.err = child.ErrorOutput();
  return run;
}

}  // namespace velkaro::testing
