// velkaro-cli upgrade end to end: the trigger goes to the simulator, the image to the
// simulator's TFTP receiver on 127.0.0.1.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CliSimFixture.h"
#include "sim/TftpServer.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class CliUpgradeTest : public CliSimTest {
 protected:
  void SetUp() override {
    CliSimTest::SetUp();
    StartSim();
    // The first device answers triggers for 127.0.0.1, so the upload stays on loopback.
    sim->SetValue(0, 2, std::uint32_t{kLoopback});
    sim->Tftp().Start();
    tftpPort = std::to_string(sim->Tftp().Port());
    image = fs::temp_directory_path() /
            ("velkaro-cli-image-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin");
    // Four full blocks of 1500 bytes and a short one.
    for (int i = 0; i < 6123; ++i)
      bytes.push_back(static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF));
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  void TearDown() override {
    fs::remove(image);
    CliSimTest::TearDown();
  }

  TCliRun Upgrade(const std::string& ip, std::vector<std::string> extra = {},
                  bool stderrOnTerminal = false) {
    std::vector<std::string> args = {"upgrade", ip, image.string(), "--tftp-port", tftpPort};
    args.insert(args.begin(), extra.begin(), extra.end());
    return Cli(args, stderrOnTerminal);
  }

  std::string tftpPort;
  fs::path image;
  TBytes bytes;
};

TEST_F(CliUpgradeTest, TriggerThenUpload) {
  const TCliRun run = Upgrade("127.0.0.1");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");  // not a terminal: no progress
  ASSERT_TRUE(sim->Tftp().WaitForTransfers(1, std::chrono::seconds(5)));
  const sim::TTftpTransfer t = sim->Tftp().LastTransfer();
  EXPECT_EQ(t.fileName, "/");
  EXPECT_EQ(t.mode, "octet");
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.blockSize, 1500);
  EXPECT_EQ(t.image, bytes);
  // One trigger addressed by kind 2: 127.0.0.1 and the device port.
  ASSERT_EQ(Count(TCommand::Upgrade), 1u);
  const TBytes trigger = sim->Requests().front().data;
  ASSERT_EQ(trigger.size(), 27u);
  EXPECT_EQ(TBytes(trigger.begin(), trigger.begin() + kSourceOffset),
            (TBytes{0x00, 0x02, 0x7F, 0x00, 0x00, 0x01, 0xCC, 0xA5}));
  EXPECT_EQ(trigger[kCommandOffset], 3);
  EXPECT_EQ(sim->Tftp().TransferCount(), 1u);
}

TEST_F(CliUpgradeTest, JsonAndProgressOnATerminal) {
  const TCliRun run = Upgrade("127.0.0.1", {"--json"}, true);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["ip"], "127.0.0.1");
  EXPECT_EQ(doc["file"], image.string());
  EXPECT_EQ(doc["uploads"], 1);
  EXPECT_NE(run.err.find("100% (6123/6123 bytes)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(1500/6123 bytes)"), std::string::npos) << run.err;
}

TEST_F(CliUpgradeTest, NoDeviceAtThatAddress) {
  const TCliRun run = Upgrade("127.0.0.2");
  ExpectFailure(run, "Device not responding\n");
  EXPECT_EQ(Count(TCommand::Upgrade), 1u);
  EXPECT_EQ(sim->Tftp().RequestCount(), 0u);
}

TEST_F(CliUpgradeTest, FailedUpload) {
  sim::TTftpSwitches refuse;
  refuse.errorAtBlock = 2;
  refuse.errorCode = 3;
  refuse.errorMessage = "Disk full";
  sim->Tftp().SetSwitches(refuse);
  const TCliRun run = Upgrade("127.0.0.1", {"--json"});
  ExpectFailure(run, "Transfert Error:  Disk full\n");
  EXPECT_EQ(sim->Tftp().RequestCount(), 1u);
}

TEST_F(CliUpgradeTest, BadArgumentsSendNothing) {
  ExpectUsageError(Cli({"upgrade", "127.0.0.1", (image.string() + ".missing")}),
                   "Cannot read firmware file");
  ExpectUsageError(Cli({"upgrade", "127.0.0.1", fs::temp_directory_path().string()}),
                   "it is a folder");
  ExpectUsageError(Cli({"upgrade", "127.0.0", image.string()}), "Invalid IP '127.0.0'");
  ExpectUsageError(Cli({"upgrade", "127.0.0.1", image.string(), "--tftp-port", "0"}),
                   "--tftp-port");
  EXPECT_EQ(sim->RequestCount(), 0u);
  EXPECT_EQ(sim->Tftp().RequestCount(), 0u);
}

}  // namespace
}  // namespace velkaro::cli::testing
