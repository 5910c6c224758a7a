// Shared set-up of the exchange tests: a simulator on 127.0.0.1, the exchange pointed at it, the
// error and busy-cursor seams captured, and a recorder for the replies an exchange delivers.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"

namespace velkaro::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline constexpr std::uint32_t kLoopback = 0x7F000001;
// Nothing listens here; keeps a forgotten exchange on the loopback interface.
inline constexpr TTarget kNowhere{kLoopback, 9};

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

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Open descriptors of this process; an exchange must leave the count as it found it.
inline int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTarget(kNowhere);
    ModelRegistry.clear();
    RegisterBuiltinModels();
    DeviceList.Clear();
    SetErrorReporter([this](const std::string& m) { errors.push_back(m); });
    SetBusyCursor([this](bool b) { busy.push_back(b); });
  }

  void TearDown() override {
    SetTarget(kNowhere);
    SetErrorReporter({});
    SetBusyCursor({});
    SetShowDeviceRow({});
    DeviceList.Clear();
    ModelRegistry.clear();
  }

  sim::TSimulator& StartSimulator(sim::TSimOptions options) {
    options.bindAddress = "127.0.0.1";
    options.port = 0;
    simulator = std::make_unique<sim::TSimulator>(std::move(options));
    simulator->Start();
    SetTarget({kLoopback, simulator->Port()});
    return *simulator;
  }

  // A callback that records every delivery.
  TReplyEvent Recorder() {
    return [this](const std::string& ip, int port, bool last, const TBytes& data) {
      delivered.push_back({ip, port, last, data, Clock::now()});
    };
  }

  // Runs a discovery into DeviceList and expects every simulated device listed.
  void ListDevices() {
    Discover(MergeReply);
    ASSERT_EQ(DeviceList.size(), simulator->DeviceCount());
  }

  std::unique_ptr<sim::TSimulator> simulator;
  std::vector<TDelivered> delivered;
  std::vector<std::string> errors;
  std::vector<bool> busy;
};

}  // namespace velkaro::testing
