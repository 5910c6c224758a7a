// velkaro-cli upgrade end to end: the trigger goes to the simulator, the image to the
// simulator's TFTP receiver on 127.0.0.1.
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>

#include "CliSimFixture.h"
#include "platform/Socket.h"
#include "platform/Utf8Path.h"
#include "sim/TftpServer.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"
#include "support/UdpProxy.h"
#include "support/Wine.h"

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
    image = dir.File("image.bin");
    // Four full blocks of 1500 bytes and a short one.
    bytes = velkaro::testing::Pattern(6123, 7);
    velkaro::testing::WriteBytes(image.string(), bytes);
  }

  TCliRun Upgrade(const std::string& ip, std::vector<std::string> extra = {},
                  bool stderrOnTerminal = false) {
    std::vector<std::string> args = {"upgrade", ip, image.string(), "--tftp-port", tftpPort};
    args.insert(args.begin(), extra.begin(), extra.end());
    return Cli(args, stderrOnTerminal);
  }

  std::string tftpPort;
  velkaro::testing::TTempDir dir;
  fs::path image;
  TBytes bytes;
};

TEST_F(CliUpgradeTest, TriggerThenUploadThenReturn) {
  const TCliRun run = Upgrade("127.0.0.1");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "127.0.0.1 ok\n");
  EXPECT_EQ(run.err, "");  // not a terminal: no progress
  ASSERT_TRUE(sim->Tftp().WaitForTransfers(1, std::chrono::seconds(5)));
  const sim::TTftpTransfer t = sim->Tftp().LastTransfer();
  EXPECT_EQ(t.fileName, "/");
  EXPECT_EQ(t.mode, "octet");
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.blockSize, 1500);
  EXPECT_EQ(t.image, bytes);
  // One trigger addressed by kind 2: 127.0.0.1 and the device port; discoveries before it (to
  // find the device) and after it (its return).
  ASSERT_EQ(Count(TCommand::Upgrade), 1u);
  const auto requests = sim->Requests();
  const auto trigger = std::find_if(requests.begin(), requests.end(), [](const auto& r) {
    return r.data.size() > kCommandOffset && r.data[kCommandOffset] == 3;
  });
  ASSERT_EQ(trigger->data.size(), 27u);
  EXPECT_EQ(TBytes(trigger->data.begin(), trigger->data.begin() + kSourceOffset),
            (TBytes{0x00, 0x02, 0x7F, 0x00, 0x00, 0x01, 0xCC, 0xA5}));
  EXPECT_NE(trigger, requests.begin());
  EXPECT_NE(trigger + 1, requests.end());
  EXPECT_EQ(sim->Tftp().TransferCount(), 1u);
}

// An image in a folder whose name no ANSI code page holds: the UTF-8 argument reaches the file.
TEST_F(CliUpgradeTest, ImageNamedBeyondAsciiIsSent) {
  const fs::path folder = dir.Path() / Utf8Path("\xCE\xA9 Firmware \xC3\xA9t\xC3\xA9");
  fs::create_directory(folder);
  const fs::path named = folder / Utf8Path("v2 \xE2\x82\xAC.bin");
  fs::copy_file(image, named);
  const TCliRun run = Cli({"upgrade", "127.0.0.1", Utf8Text(named), "--tftp-port", tftpPort});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ASSERT_TRUE(sim->Tftp().WaitForTransfers(1, std::chrono::seconds(5)));
  EXPECT_EQ(sim->Tftp().LastTransfer().image, bytes);
}

TEST_F(CliUpgradeTest, ADeviceAnsweringTheTriggerTwiceGetsOneImage) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  o.doubleTrigger.all = true;
  StartSim(o);
  sim->SetValue(0, 2, std::uint32_t{kLoopback});
  sim->Tftp().Start();
  const TCliRun run = Cli({"upgrade", "127.0.0.1", image.string(), "--tftp-port",
                           std::to_string(sim->Tftp().Port()), "--return-timeout", "0"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(sim->Tftp().RequestCount(), 1u);
  EXPECT_EQ(sim->Uploads(0).count, 1u);
}

TEST_F(CliUpgradeTest, JsonAndProgressOnATerminal) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a pseudo-terminal for stderr, which Windows lacks";
#else
  const TCliRun run = Upgrade("127.0.0.1", {"--json"}, true);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["file"], image.string());
  EXPECT_EQ(doc["size"], 6123);
  ASSERT_EQ(doc["devices"].size(), 1u);
  EXPECT_EQ(doc["devices"][0]["device"]["ip"], "127.0.0.1");
  EXPECT_EQ(doc["devices"][0]["result"], "ok");
  EXPECT_GE(doc["devices"][0]["seconds"].get<double>(), 0.0);
  EXPECT_FALSE(doc["devices"][0].contains("error"));
  EXPECT_NE(run.err.find("127.0.0.1  uploading  24%"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("127.0.0.1  uploading  100%"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("127.0.0.1  finished  100%"), std::string::npos) << run.err;
#endif
}

TEST_F(CliUpgradeTest, NoDeviceAtThatAddress) {
  const TCliRun run = Upgrade("127.0.0.2", {"--rounds", "2"});
  ExpectFailure(run, "Device 127.0.0.2 not found");
  EXPECT_EQ(Count(TCommand::Upgrade), 0u);
  EXPECT_EQ(sim->Tftp().RequestCount(), 0u);
}

TEST_F(CliUpgradeTest, FailedUpload) {
  sim::TTftpSwitches refuse;
  refuse.errorAtBlock = 2;
  refuse.errorCode = 3;
  refuse.errorMessage = "Disk full";
  sim->Tftp().SetSwitches(refuse);
  TCliRun run = Upgrade("127.0.0.1");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "127.0.0.1 transfer failed: Disk full\n");
  run = Upgrade("127.0.0.1", {"--json"});
  EXPECT_EQ(run.exitCode, 1);
  const json device = json::parse(run.out)["devices"][0];
  EXPECT_EQ(device["result"], "transfer failed");
  EXPECT_EQ(device["error"], "Disk full");
  EXPECT_EQ(sim->Tftp().RequestCount(), 2u);
}

TEST_F(CliUpgradeTest, BadFilesAndArgumentsSendNothing) {
  const fs::path empty = image.string() + ".empty";
  const fs::path fifo = image.string() + ".fifo";
  const fs::path large = image.string() + ".large";
  std::ofstream{empty};
#ifdef _WIN32
  // No named pipes in the file system; the NUL device is refused, as not regular or, where the
  // C runtime cannot stat it (Wine), as not found.
  const std::string device = "NUL";
  const std::string deviceMention = "Cannot use firmware file 'NUL'";
#else
  const std::string device = "/dev/zero";
  const std::string deviceMention = "it is not a regular file";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif
  std::ofstream{large};
  fs::resize_file(large, 64u * 1024 * 1024 + 1);  // sparse: nothing is written
  const struct {
    std::vector<std::string> args;
    std::string mention;
  } cases[] = {
      {{"upgrade", "127.0.0.1", image.string() + ".missing"}, "the file does not exist"},
      {{"upgrade", "127.0.0.1", dir.Path().string()}, "it is a folder"},
#ifndef _WIN32
      {{"upgrade", "127.0.0.1", fifo.string()}, "it is not a regular file"},
#endif
      {{"upgrade", "127.0.0.1", device}, deviceMention},
      {{"upgrade", "127.0.0.1", empty.string()}, "the file is empty"},
      {{"upgrade", "--all", empty.string()}, "the file is empty"},
      {{"upgrade", "127.0.0.1", large.string()},
       "the file is 67108865 bytes, over 64 MiB (give --force to send it anyway)"},
      {{"upgrade", "127.0.0.1", "127.0.0.1", image.string()}, "named twice"},
      {{"upgrade", "127.0.0", image.string()}, "Invalid DEVICE '127.0.0'"},
      {{"upgrade", image.string()}, "--all"},
      {{"upgrade", "127.0.0.1", image.string(), "--tftp-port", "0"}, "--tftp-port"},
  };
  for (const auto& c : cases) ExpectUsageError(Cli(c.args), c.mention);
  EXPECT_EQ(sim->RequestCount(), 0u);
  EXPECT_EQ(sim->Tftp().RequestCount(), 0u);

  // By IP and by MAC: the same device, found only by the discovery; still no trigger.
  ExpectUsageError(Cli({"upgrade", "127.0.0.1", MacText(sim->Snapshot(0)), image.string()}),
                   "named twice");
  EXPECT_EQ(Count(TCommand::Upgrade), 0u);
  fs::remove(empty);
  fs::remove(fifo);
  fs::remove(large);
}

// The trigger's answer comes after the 100 ms listening period (a slow device, a loaded
// machine): the trigger goes again on the same socket, the late answer still counts, and the
// device gets its image once.
TEST_F(CliUpgradeTest, ALateTriggerAnswerStillUploadsOnce) {
  velkaro::testing::TUdpProxy proxy(sim->Port(), [](velkaro::testing::TProxyReply& r) {
    velkaro::testing::TProxyAction action;
    if (r.request == TCommand::Upgrade) action.delay = std::chrono::milliseconds(150);
    return action;
  });
  const TCliRun run = velkaro::testing::RunProgram(
      {VELKARO_CLI_PATH, "--target", proxy.Target(), "upgrade", "127.0.0.1", image.string(),
       "--tftp-port", tftpPort, "--return-timeout", "0"},
      std::chrono::seconds(60));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "127.0.0.1 ok\n") << run.err;
  ASSERT_TRUE(sim->Tftp().WaitForTransfers(1, std::chrono::seconds(5)));
  EXPECT_GE(Count(TCommand::Upgrade), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(sim->Tftp().TransferCount(), 1u);
}

// The simulator program as a user starts it, with no address option: every device is on
// 127.0.0.0/8, and an upgrade of one reaches the simulator's own TFTP receiver there, never a
// LAN address through the default route.
TEST(CliSimProgramTest, DefaultDevicesKeepEveryActionOnThisMachine) {
  // Wine binds a receiver meant for 127.0.0.3 to every address, so its answers come from
  // another address than the one the upload went to.
  if (velkaro::testing::RunningUnderWine()) GTEST_SKIP() << velkaro::testing::kWineSharedPort;
  std::uint16_t tftp = 0;
  {
    TUdpSocket probe;  // a port free on loopback for the devices' receivers
    probe.Bind(kLoopback, 0);
    tftp = probe.LocalPort();
  }
  velkaro::testing::TChildProcess sim({VELKARO_SIM_PATH, "--port", "0", "--count", "3",
                                       "--tftp-port", std::to_string(tftp), "--reboot-ms", "0"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(sim.WaitForOutput("127.0.0.4", std::chrono::seconds(20))) << sim.Output();
  const auto at = sim.Output().find("listening on 127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << sim.Output();
  const std::string target = "127.0.0.1:" + std::to_string(std::stoi(sim.Output().substr(at + 23)));

  const auto cli = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {VELKARO_CLI_PATH, "--target", target, "--rounds", "2"});
    return velkaro::testing::RunProgram(args, std::chrono::seconds(60));
  };
  const TCliRun scan = cli({"--json", "scan"});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  const auto devices = json::parse(scan.out);
  ASSERT_EQ(devices.size(), 3u);
  for (const auto& d : devices)
    EXPECT_EQ(d["ip"].get<std::string>().rfind("127.", 0), 0u) << d.dump();

  velkaro::testing::TTempDir dir;
  const std::string image = dir.File("image.bin");
  velkaro::testing::WriteBytes(image, velkaro::testing::Pattern(3000, 3));
  const std::string ip = devices[1]["ip"];
  const TCliRun upgrade =
      cli({"upgrade", ip, image, "--tftp-port", std::to_string(tftp), "--return-timeout", "0"});
  EXPECT_EQ(upgrade.exitCode, 0) << upgrade.err;
  EXPECT_EQ(upgrade.out, ip + " ok\n") << upgrade.err;
  EXPECT_EQ(sim.Finish(std::chrono::seconds(10), SIGTERM), 0) << sim.Output();
}

}  // namespace
}  // namespace velkaro::cli::testing
