// The built-in demo: one simulated device of each model on the loopback interface, run in this
// process, with every request of the program pointed at it. The devices report 127.0.0.x
// addresses only, and each serves a small status page over HTTP on its own address, so nothing
// the demo shows or opens reaches the user's network.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/Exchange.h"

namespace velkaro {

namespace sim {
class TSimulator;
class TStatusPages;
}  // namespace sim

class TDemoDevices {
 public:
  TDemoDevices();
  ~TDemoDevices();  // stops the devices

  // Starts the devices on a port the system picks. Returns false with a message when they cannot
  // start.
  bool Start(std::string& error);
  // Where they answer: 127.0.0.1 and their port (valid after Start).
  TTarget Target() const;
  sim::TSimulator& Simulator() { return *simulator_; }
  // Where the devices take firmware images, on 127.0.0.1 (valid after Start).
  std::uint16_t TftpPort() const;

 private:
  std::unique_ptr<sim::TSimulator> simulator_;
  std::unique_ptr<sim::TStatusPages> pages_;
};

// Moves every address a simulated device holds (gateway, watched hosts, permitted networks) into
// 127.0.0.0/8, keeping its last three bytes; masks and empty addresses stay.
void KeepAddressesOnLoopback(sim::TSimulator& simulator);

}  // namespace velkaro
