// The simulator every test talks to: started on 127.0.0.1 and a free port, with the exchange
// pointed at it for as long as it lives.
#pragma once

#include <functional>
#include <memory>

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/Loopback.h"

namespace velkaro::testing {

class TLoopbackSimulator : public sim::TSimulator {
 public:
  // `prepare` runs before the simulator starts answering (values its devices report first).
  explicit TLoopbackSimulator(sim::TSimOptions options = {},
                              const std::function<void(sim::TSimulator&)>& prepare = {})
      : sim::TSimulator(OnLoopback(std::move(options))), previous_(Settings().target) {
    if (prepare) prepare(*this);
    Start();
    Settings().target = Target();
  }
  // The target goes back as it was, unless something pointed it elsewhere meanwhile (such as
  // the simulator that replaces this one, which is made before this one goes).
  ~TLoopbackSimulator() override {
    // The serving thread calls virtual members: it ends before this part of the object goes.
    Stop();
    if (Settings().target == Target()) Settings().target = previous_;
  }

  TTarget Target() const { return {kLoopback, Port()}; }

  // A fresh discovery into DeviceList, with the first device selected.
  static TExchangeResult ListDevices() {
    DeviceList.Clear();
    SelectedDevice = 0;
    return Discover(MergeReply);
  }

 private:
  static sim::TSimOptions OnLoopback(sim::TSimOptions options) {
    options.bindAddress = kLoopbackText;
    options.port = 0;
    return options;
  }

  TTarget previous_;
};

// Starts one, as the tests hold them.
inline std::unique_ptr<TLoopbackSimulator> StartLoopbackSimulator(
    sim::TSimOptions options = {}, const std::function<void(sim::TSimulator&)>& prepare = {}) {
  return std::make_unique<TLoopbackSimulator>(std::move(options), prepare);
}

}  // namespace velkaro::testing
