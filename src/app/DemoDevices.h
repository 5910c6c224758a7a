// The built-in demo: one simulated device of each model on 127.0.0.1, run in this process, with
// every request of the program pointed at it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velkaro {

namespace sim {
class TSimulator;
}

class TDemoDevices {
 public:
  TDemoDevices();
  ~TDemoDevices();  // stops the devices

  // Starts the devices on a port the system picks and makes them the program's target.
  // Returns false with a message when they cannot start.
  bool Start(std::string& error);
  sim::TSimulator& Simulator() { return *simulator_; }
  // Where the devices take firmware images, on 127.0.0.1 (valid after Start).
  std::uint16_t TftpPort() const;

 private:
  std::unique_ptr<sim::TSimulator> simulator_;
};

}  // namespace velkaro
