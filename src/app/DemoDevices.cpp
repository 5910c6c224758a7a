#include "app/DemoDevices.h"

#include <exception>

#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "sim/TftpServer.h"

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
  options.tftpPort = 0;  // images go to a free loopback port, never to port 69
  try {
    simulator_ = std::make_unique<sim::TSimulator>(options);
    simulator_->Start();
    simulator_->Tftp().Start();  // its port is known before the first upgrade
  } catch (const std::exception& e) {
    error = std::string("cannot start the demo devices: ") + e.what();
    simulator_.reset();
    return false;
  }
  Settings().target = {TextToIp("127.0.0.1"), simulator_->Port()};
  return true;
}

std::uint16_t TDemoDevices::TftpPort() const {
  return simulator_ ? simulator_->Tftp().Port() : 0;
}

}  // namespace velkaro
