#include "DemoDevices.h"

#include <exception>

#include "Exchange.h"
#include "Simulator.h"

namespace velkaro {

TDemoDevices::TDemoDevices() = default;

TDemoDevices::~TDemoDevices() {
  if (simulator_) simulator_->Stop();
}

bool TDemoDevices::Start(std::string& error) {
  sim::TSimOptions options;
  options.bindAddress = "127.0.0.1";
  options.port = 0;
  options.models = {kModelZel1, kModelZel4, kModelZel8};
  try {
    simulator_ = std::make_unique<sim::TSimulator>(options);
    simulator_->Start();
  } catch (const std::exception& e) {
    error = std::string("cannot start the demo devices: ") + e.what();
    simulator_.reset();
    return false;
  }
  SetTarget({TextToIp("127.0.0.1"), simulator_->Port()});
  return true;
}

}  // namespace velkaro
