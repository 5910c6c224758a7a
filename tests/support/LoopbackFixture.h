// Shared set-up of the exchange tests: a simulator on 127.0.0.1, the exchange pointed at it, the
// busy-cursor hook and the errors of every exchange recorded, and a recorder for the replies an
// exchange delivers.
#pragma once

#include <gtest/gtest.h>

#include "support/LeanWindows.h"
#ifndef _WIN32
#include <dirent.h>
#endif
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "sim/Simulator.h"
#include "support/Loopback.h"
#include "support/LoopbackSimulator.h"

namespace velkaro::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct TDelivered {
  std::string ip;
  int port;
  bool last;
  TBytes data;
  Clock::time_point at;

  TDeviceAddress Source() const {
    TDeviceAddress a{};
    if (data.size() >= kMinReplySize)
      std::copy_n(data.begin() + kSourceOffset, a.size(), a.begin());
    return a;
  }
};

// Waits until `condition` holds, checking every millisecond for at most `limit`; whether it came.
// For tests of logic: they wait for what they expect instead of asserting on durations.
template <class TCondition>
bool WaitUntil(TCondition condition, milliseconds limit = milliseconds(5000)) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Open descriptors (on Windows, handles) of this process; an exchange must leave the count as it
// found it.
inline int OpenDescriptors() {
#ifdef _WIN32
  DWORD handles = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
#endif
}

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.settings.target = kNowhere;
    session.settings.busy = [this](bool b) { busy.push_back(b); };
  }

  // Records the messages of an exchange's errors in `errors` and hands the result on.
  TExchangeResult Note(const TExchangeResult& result) {
    for (const TExchangeError& e : result.errors) errors.push_back(e.Message());
    return result;
  }

  // Starts the simulator and points the session at it.
  sim::TSimulator& StartSimulator(sim::TSimOptions options) {
    simulator = StartLoopbackSimulator(std::move(options));
    simulator->Aim(session);
    return *simulator;
  }

  // A callback that records every delivery.
  TReplyEvent Recorder() {
    return [this](const TReply& r) {
      delivered.push_back({r.senderIp, r.senderPort, r.last, r.data, Clock::now()});
    };
  }

  // Runs a discovery into the session's DeviceList and expects every simulated device listed.
  void ListDevices() {
    Note(simulator->ListDevices(session));
    ASSERT_EQ(session.DeviceList.size(), simulator->DeviceCount());
  }

  TSession session;  // the test's own: nothing to put back afterwards
  std::unique_ptr<TLoopbackSimulator> simulator;
  std::vector<TDelivered> delivered;
  std::vector<std::string> errors;
  std::vector<bool> busy;
};

}  // namespace velkaro::testing
