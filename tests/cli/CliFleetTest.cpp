// velkaro-cli upgrade of many devices end to end: each simulated device on its own 127.0.0.x
// with its own TFTP receiver, so the transfers really run side by side.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CliSimFixture.h"
#include "platform/Socket.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"
#include "support/Wine.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A port free on 127.0.0.1 right now, for receivers that must share one number.
std::uint16_t FreePort() {
  TUdpSocket probe;
  probe.Bind(kLoopback, 0);
  return probe.LocalPort();
}

std::string DeviceIp(std::size_t index) {
  return "127.0.0." + std::to_string(index + 2);
}

class CliFleetTest : public CliSimTest {
 protected:
  void SetUp() override {
    if (velkaro::testing::RunningUnderWine()) GTEST_SKIP() << velkaro::testing::kWineSharedPort;
    CliSimTest::SetUp();
    image = dir.File("image.bin");
    bytes = velkaro::testing::Pattern(20000, 13);
    velkaro::testing::WriteBytes(image.string(), bytes);
  }

  sim::TSimOptions Fleet(int count) {
    sim::TSimOptions o;
    o.models = {kModelZel1};
    o.count = count;
    o.loopbackIps = true;
    o.rebootMs = 200;
    return o;
  }

  // The devices' receivers share one port number, which the command is given.
  void Start(sim::TSimOptions o) {
    o.bindAddress = "127.0.0.1";
    o.port = 0;
    o.tftpPort = FreePort();
    sim.reset();
    sim = std::make_unique<sim::TSimulator>(o);
    sim->Start();
    tftpPort = std::to_string(o.tftpPort);
  }

  // velkaro-cli --json upgrade --all IMAGE with the given options; the parsed document.
  json UpgradeAll(std::vector<std::string> options, int expectedExit) {
    std::vector<std::string> args = {"--json", "--rounds",     "2",           "upgrade",
                                     "--all",  image.string(), "--tftp-port", tftpPort};
    args.insert(args.end(), options.begin(), options.end());
    const TCliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, expectedExit) << run.err;
    return json::parse(run.out);
  }

  // The result word of every device, in the order reported.
  static std::vector<std::string> Results(const json& doc) {
    std::vector<std::string> words;
    for (const json& d : doc["devices"]) words.push_back(d["result"]);
    return words;
  }

  velkaro::testing::TTempDir dir;
  fs::path image;
  TBytes bytes;
  std::string tftpPort;
};

TEST_F(CliFleetTest, TenDevicesFourAtATimeEachGetsItsImageOnce) {
  Start(Fleet(10));
  const json doc = UpgradeAll({"--parallel", "4", "--return-timeout", "5"}, 0);
  EXPECT_EQ(doc["size"], bytes.size());
  ASSERT_EQ(doc["devices"].size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) {
    const json& d = doc["devices"][i];
    EXPECT_EQ(d["device"]["ip"], DeviceIp(i));
    EXPECT_EQ(d["result"], "ok");
    EXPECT_FALSE(d.contains("error"));
    // The return wait covers at least the device's reboot.
    EXPECT_GE(d["seconds"].get<double>(), 0.2);
    const sim::TDeviceUploads uploads = sim->Uploads(i);
    EXPECT_EQ(uploads.count, 1u) << i;
    ASSERT_EQ(uploads.latest.size(), 1u) << i;
    EXPECT_EQ(uploads.latest.back(), bytes) << i;
  }
  EXPECT_LE(sim->MaxConcurrentTransfers(), 4u);
  EXPECT_GE(sim->MaxConcurrentTransfers(), 2u);
  EXPECT_EQ(Count(TCommand::Upgrade), 10u);
}

TEST_F(CliFleetTest, NoReturnAndAbortAreReportedTheOthersSucceed) {
  sim::TSimOptions o = Fleet(5);
  o.noReturn.indexes = {1};
  o.abortAtBlock = 2;
  o.abortDevices.indexes = {3};
  Start(o);
  const json doc = UpgradeAll({"--return-timeout", "1"}, 1);
  EXPECT_EQ(Results(doc),
            (std::vector<std::string>{"ok", "no return", "ok", "transfer failed", "ok"}));
  EXPECT_NE(doc["devices"][1]["error"].get<std::string>().find("1 s"), std::string::npos);
  EXPECT_FALSE(doc["devices"][3]["error"].get<std::string>().empty());
  EXPECT_GE(doc["devices"][1]["seconds"].get<double>(), 1.0);

  // The same in text: one line per device, starting with its address.
  const TCliRun run = Cli({"--rounds", "2", "upgrade", DeviceIp(3), DeviceIp(0), image.string(),
                           "--tftp-port", tftpPort, "--return-timeout", "0"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
            DeviceIp(3) + " transfer failed: " + doc["devices"][3]["error"].get<std::string>());
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), DeviceIp(0) + " ok\n");
}

TEST_F(CliFleetTest, FailingCanaryKeepsEveryOtherDeviceUntouched) {
  sim::TSimOptions o = Fleet(4);
  o.abortAtBlock = 1;
  o.abortDevices.indexes = {0};
  Start(o);
  const json doc = UpgradeAll({"--canary", "--return-timeout", "0"}, 1);
  EXPECT_EQ(Results(doc), (std::vector<std::string>{"transfer failed", "not started", "not started",
                                                    "not started"}));
  EXPECT_EQ(Count(TCommand::Upgrade), 1u);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(sim->Uploads(i).count, 0u) << i;

  // A canary that comes back lets the others go.
  Start(Fleet(3));
  EXPECT_EQ(Results(UpgradeAll({"--canary", "--return-timeout", "5"}, 0)),
            (std::vector<std::string>(3, "ok")));
}

TEST_F(CliFleetTest, StopAfterStartsNoDeviceAfterTheFirstFailure) {
  sim::TSimOptions o = Fleet(5);
  o.noReturn.indexes = {1};
  Start(o);
  const json doc =
      UpgradeAll({"--parallel", "1", "--stop-after", "1", "--return-timeout", "0.5"}, 1);
  EXPECT_EQ(Results(doc), (std::vector<std::string>{"ok", "no return", "not started", "not started",
                                                    "not started"}));
  EXPECT_EQ(Count(TCommand::Upgrade), 2u);
  for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(sim->Uploads(i).count, 0u) << i;
}

}  // namespace
}  // namespace velkaro::cli::testing
