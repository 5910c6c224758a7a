#include "app/DemoDevices.h"

#include <exception>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "sim/DeviceProfile.h"
#include "sim/Simulator.h"
#include "sim/StatusPage.h"
#include "sim/TftpServer.h"

namespace velkaro {

namespace {

constexpr std::uint32_t kLoopbackNet = 0x7F000000u;
constexpr int kSubnetMaskTag = 1;

}  // namespace

void KeepAddressesOnLoopback(sim::TSimulator& simulator) {
  for (std::size_t i = 0; i < simulator.DeviceCount(); ++i) {
    const TZEL device = simulator.Snapshot(i);
    for (const TDescriptor d : sim::SimDescriptors(device.ModelCode())) {
      const int tag = DescriptorTag(d);
      if ((DescriptorType(d) & 0x7F) != vtIPv4 || tag == kSubnetMaskTag) continue;
      const std::uint32_t address = device.values.AsUInt(tag);
      const std::uint32_t first = address >> 24;
      if (address == 0 || first == 127 || first == 255) continue;
      simulator.SetValue(i, tag, TValue{kLoopbackNet | (address & 0x00FFFFFFu)});
    }
  }
}

TDemoDevices::TDemoDevices() = default;

TDemoDevices::~TDemoDevices() {
  pages_.reset();
  if (simulator_) simulator_->Stop();
}

bool TDemoDevices::Start(std::string& error) {
  sim::TSimOptions options;
  options.bindAddress = "127.0.0.1";
  options.port = 0;
  options.models = {kModelZel1, kModelZel4, kModelZel8};
  options.loopbackIps = true;  // 127.0.0.2, .3, .4
  options.tftpPort = 0;        // images go to a free loopback port, never to port 69
  try {
    simulator_ = std::make_unique<sim::TSimulator>(options);
    KeepAddressesOnLoopback(*simulator_);
    pages_ = std::make_unique<sim::TStatusPages>(*simulator_);
    pages_->Start();  // before the devices answer: they report the pages' ports
    simulator_->Start();
    simulator_->Tftp().Start();  // its port is known before the first upgrade
  } catch (const std::exception& e) {
    error = std::string("cannot start the demo devices: ") + e.what();
    pages_.reset();
    simulator_.reset();
    return false;
  }
  return true;
}

TTarget TDemoDevices::Target() const {
  return {TextToIp("127.0.0.1"), simulator_ ? simulator_->Port() : std::uint16_t{0}};
}

std::uint16_t TDemoDevices::TftpPort() const {
  return simulator_ ? simulator_->Tftp().Port() : 0;
}

}  // namespace velkaro
