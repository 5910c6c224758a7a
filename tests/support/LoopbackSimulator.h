// The simulator every test talks to: started on 127.0.0.1 and a free port; a test points its
// session at it.
#pragma once

#include <functional>
#include <memory>

#include "protocol/Exchange.h"
#include "protocol/Session.h"
#include "sim/Simulator.h"
#include "support/Loopback.h"

namespace velkaro::testing {

class TLoopbackSimulator : public sim::TSimulator {
 public:
  // `prepare` runs before the simulator starts answering (values its devices report first).
  explicit TLoopbackSimulator(sim::TSimOptions options = {},
                              const std::function<void(sim::TSimulator&)>& prepare = {})
      : sim::TSimulator(OnLoopback(std::move(options))) {
    if (prepare) prepare(*this);
    Start();
  }
  ~TLoopbackSimulator() override {
    // The serving thread calls virtual members: it ends before this part of the object goes.
    Stop();
  }

  TTarget Target() const { return {kLoopback, Port()}; }
  // Points the session's exchanges at this simulator.
  void Aim(TSession& session) const { session.settings.target = Target(); }

  // Aims the session here and runs a fresh discovery into its DeviceList, with the first device
  // selected.
  TExchangeResult ListDevices(TSession& session) const;

 private:
  static sim::TSimOptions OnLoopback(sim::TSimOptions options) {
    options.bindAddress = kLoopbackText;
    options.port = 0;
    return options;
  }
};

// A fresh discovery into the session's DeviceList with the session's own settings, the first
// device selected: what one scan round gives a window.
inline TExchangeResult ListDevices(TSession& session) {
  session.DeviceList.Clear();
  session.SelectedDevice = 0;
  return Discover(session.settings, MergeInto(session));
}

inline TExchangeResult TLoopbackSimulator::ListDevices(TSession& session) const {
  Aim(session);
  return testing::ListDevices(session);
}

// Nothing listens here; keeps a forgotten exchange on the loopback interface.
inline constexpr TTarget kNowhere{kLoopback, 9};

// Settings for a window or dialog that is not meant to reach any device.
inline TExchangeSettings NowhereSettings() {
  TExchangeSettings settings;
  settings.target = kNowhere;
  return settings;
}

// Exchange settings aimed at a simulator on the loopback interface.
inline TExchangeSettings SettingsFor(const sim::TSimulator& simulator) {
  TExchangeSettings settings;
  settings.target = {kLoopback, simulator.Port()};
  return settings;
}

// Starts one, as the tests hold them.
inline std::unique_ptr<TLoopbackSimulator> StartLoopbackSimulator(
    sim::TSimOptions options = {}, const std::function<void(sim::TSimulator&)>& prepare = {}) {
  return std::make_unique<TLoopbackSimulator>(std::move(options), prepare);
}

}  // namespace velkaro::testing
