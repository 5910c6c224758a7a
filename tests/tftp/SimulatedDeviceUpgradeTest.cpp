// A simulated device that answered the upgrade trigger takes the image on its TFTP port.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"
#include "sim/TftpServer.h"
#include "support/LoopbackSimulator.h"
#include "support/TftpTestSupport.h"
#include "tftp/IdException.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::testing {
namespace {

class SimulatedDeviceUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::TSimOptions o;
    o.tftpPort = 0;  // a free high port
    o.models = {kModelZel1};
    // The device answers at 127.0.0.1.
    simulator = StartLoopbackSimulator(o, [](sim::TSimulator& s) { s.SetValue(0, 2, kLoopback); });
    session.settings.target = {kLoopback, simulator->Port()};
    client.SetHost("127.0.0.1");
    client.SetReceiveTimeout(2000);
  }

  void Note(const TExchangeResult& result) {
    for (const TExchangeError& e : result.errors) errors.push_back(e.Message());
  }

  std::unique_ptr<sim::TSimulator> simulator;
  TSession session;
  TIdTrivialFTP client;
  std::vector<std::string> errors;
};

TEST_F(SimulatedDeviceUpgradeTest, ImageGoesToTheDeviceAfterItsAnswer) {
  EXPECT_FALSE(simulator->Tftp().Running());  // nothing listens before the trigger
  std::optional<std::uint16_t> announced;
  simulator->SetUpgradeHandler([&](const sim::TUpgradeEvent& e) { announced = e.tftpPort; });

  const TBytes image = Pattern(50000, 11);
  int uploads = 0;
  Note(TriggerUpgrade(session.settings, "127.0.0.1", [&](const TReply&) {
    client.SetActive(true);
    client.SetPort(simulator->Tftp().Port());
    auto in = AsStream(image);
    client.UploadStream(in, "/");
    ++uploads;
  }));
  EXPECT_TRUE(errors.empty()) << errors.front();
  EXPECT_EQ(uploads, 1);
  EXPECT_EQ(simulator->UpgradeCount(), 1u);
  ASSERT_TRUE(simulator->Tftp().Running());
  ASSERT_TRUE(announced.has_value());
  EXPECT_EQ(*announced, simulator->Tftp().Port());
  ASSERT_TRUE(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
  const auto t = simulator->Tftp().LastTransfer();
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.fileName, "/");
  EXPECT_EQ(t.blockSize, 1500);
  EXPECT_EQ(t.image, image);
  EXPECT_FALSE(client.Active());
}

TEST_F(SimulatedDeviceUpgradeTest, DeviceSwitchesReachItsTftpSide) {
  simulator->Tftp().SetSwitches({.errorAtBlock = 0, .errorCode = 3, .errorMessage = "Flash full"});
  std::string failure;
  Note(TriggerUpgrade(session.settings, "127.0.0.1", [&](const TReply&) {
    client.SetPort(simulator->Tftp().Port());
    auto in = AsStream(Pattern(100));
    try {
      client.UploadStream(in, "/");
    } catch (const EIdTFTPAllocationExceeded& e) {
      failure = e.what();
    }
  }));
  EXPECT_EQ(failure, "Flash full");
}

TEST_F(SimulatedDeviceUpgradeTest, StoppedSimulatorNoLongerTakesImages) {
  Note(TriggerUpgrade(session.settings, "127.0.0.1", [](const TReply&) {}));
  ASSERT_TRUE(simulator->Tftp().Running());
  const std::uint16_t port = simulator->Tftp().Port();
  simulator->Stop();
  EXPECT_FALSE(simulator->Tftp().Running());
  client.SetPort(port);
  client.SetReceiveTimeout(200);
  auto in = AsStream(Pattern(10));
  EXPECT_THROW(client.UploadStream(in, "/"), EIdTFTPException);
}

}  // namespace
}  // namespace velkaro::testing
