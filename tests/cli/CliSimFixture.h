// End-to-end set-up: a simulator on 127.0.0.1 and the built velkaro-cli run against it as a
// child process with --target 127.0.0.1:PORT.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/Loopback.h"
#include "support/LoopbackSimulator.h"

namespace velkaro::cli::testing {

using TCliRun = velkaro::testing::TProgramRun;
using velkaro::testing::kLoopback;

class CliSimTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (switcher.joinable()) switcher.join();
    sim.reset();
  }

  // One device of each model unless `options` says otherwise.
  sim::TSimulator& StartSim(sim::TSimOptions options = {}) {
    options.tftpPort = 0;
    sim = velkaro::testing::StartLoopbackSimulator(std::move(options));
    return *sim;
  }

  std::string Target() const {
    return std::string(velkaro::testing::kLoopbackText) + ":" + std::to_string(sim->Port());
  }

  // velkaro-cli --target <simulator> ARGS...
  TCliRun Cli(std::vector<std::string> args, bool stderrOnTerminal = false) {
    args.insert(args.begin(), {"--target", Target()});
    args.insert(args.begin(), VELKARO_CLI_PATH);
    return velkaro::testing::RunProgram(args, std::chrono::seconds(30), stderrOnTerminal);
  }
  // velkaro-cli ARGS... without a target (for runs that must not send anything).
  static TCliRun CliNoTarget(std::vector<std::string> args) {
    args.insert(args.begin(), VELKARO_CLI_PATH);
    return velkaro::testing::RunProgram(args);
  }

  // Requests of one command the simulator has received.
  std::size_t Count(TCommand command) const {
    const auto requests = sim->Requests();
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(), [command](const sim::TReceivedRequest& r) {
          return r.data.size() > kCommandOffset &&
                 r.data[kCommandOffset] == static_cast<std::uint8_t>(command);
        }));
  }

  // From the moment the simulator has received `count` requests, it answers nothing more: a
  // device that stops responding in the middle of a command. The simulator decides about a
  // request's answers under the lock that also wakes this thread, so the `count`-th request is
  // still answered, and the program's next request comes at least one 100 ms listening period
  // later.
  void SilenceAfter(std::size_t count) {
    switcher = std::thread([this, count] {
      if (sim->WaitForRequests(count, std::chrono::seconds(20))) sim->SetSilent(true);
    });
  }
  // The same, with broken answers instead of silence.
  void MalformAfter(std::size_t count, sim::TMalformKind kind) {
    switcher = std::thread([this, count, kind] {
      if (sim->WaitForRequests(count, std::chrono::seconds(20))) sim->SetMalformed(true, kind);
    });
  }

  static std::string IpText(const TZEL& device) { return IpToText(device.values.AsUInt(2)); }
  static std::string MacText(const TZEL& device) { return MacToText(device.MAC); }

  std::unique_ptr<sim::TSimulator> sim;
  std::thread switcher;
};

// A usage error: exit 2, one line on stderr naming `mention`, nothing on stdout.
inline void ExpectUsageError(const TCliRun& run, const std::string& mention) {
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_EQ(run.out, "");
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
}

// A failure: exit 1, stderr holding `mention`, nothing on stdout.
inline void ExpectFailure(const TCliRun& run, const std::string& mention) {
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
}

}  // namespace velkaro::cli::testing
